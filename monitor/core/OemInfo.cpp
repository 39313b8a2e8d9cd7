#include "monitor/core/OemInfo.h"

#include <cstdint>
#include <fstream>
#include <iterator>

#include "monitor/base/Text.h"
#include "monitor/base/TextCodec.h"

namespace velmo::core {
namespace {

constexpr std::string_view kOemBlanks = " \t\r\v";

std::string_view OemTrim(std::string_view s) {
  return base::Trim(s, kOemBlanks);
}

// Larger files are read only this far: contact lines live at the top of a small file.
constexpr std::streamsize kMaxFileBytes = 1 << 20;

// The file's text as UTF-8.
std::string DecodeText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  const auto append = [&text](char32_t cp) { base::AppendUtf8(text, cp); };
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    bytes.remove_prefix(2);
    base::ForEachUtf16CodePoint(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() / 2,
                                append);
    return text;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  base::ForEachCodePoint(bytes, append);
  return text;
}

// The first `chars` characters of UTF-8 text.
std::string_view CutChars(std::string_view s, size_t chars) {
  size_t i = 0;
  for (size_t n = 0; i < s.size() && n < chars; ++n) {
    ++i;
    while (i < s.size() && (static_cast<uint8_t>(s[i]) & 0xC0) == 0x80)
      ++i;
  }
  return s.substr(0, i);
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::string OemFilePath(std::string_view programPath) {
  const size_t slash = programPath.find_last_of('/');
  const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const size_t dot = programPath.find_last_of('.');
  const size_t end = dot != std::string_view::npos && dot >= nameStart ? dot : programPath.size();
  return std::string(programPath.substr(0, end)) + ".ini";
}

std::string ProfileString(std::string_view fileText, std::string_view section, std::string_view key,
                          std::string_view fallback) {
  const std::string text = DecodeText(fileText);
  std::string_view rest = text;
  bool inSection = false;
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    std::string_view line = OemTrim(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      inSection = base::EqualsFolded(
          OemTrim(
              line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)),
          section);
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || !base::EqualsFolded(OemTrim(line.substr(0, eq)), key))
      continue;
    return std::string(CutChars(Unquote(OemTrim(line.substr(eq + 1))), kProfileValueChars));
  }
  return std::string(fallback);
}

OemInfo ReadOemInfo(const std::string& iniPath) {
  std::string bytes;
  std::ifstream file(iniPath, std::ios::binary);
  if (file) {
    bytes.resize(static_cast<size_t>(kMaxFileBytes));
    file.read(bytes.data(), kMaxFileBytes);
    bytes.resize(static_cast<size_t>(file.gcount()));
  }
  const auto read = [&](const char* key) {
    return ProfileString(bytes, kOemSection, key, kOemUnknown);
  };
  OemInfo info;
  info.web = read("WEB");
  info.tel = read("Tel");
  info.email = read("EMAIL");
  info.name = read("Name");
  return info;
}

}  // namespace velmo::core
