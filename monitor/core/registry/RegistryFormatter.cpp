#include "monitor/core/registry/RegistryText.h"

#include <cstdio>
#include <optional>

#include "monitor/base/LittleEndian.h"
#include "monitor/base/TextCodec.h"

namespace velmo::core {
namespace {

// Exports wrap hex data once a line reaches this many columns (lines stay within 80).
constexpr size_t kHexWrapColumn = 77;

// The text of a REG_SZ value when it can be written in quotes: whole UTF-16 units, one final NUL
// and no other, no line breaks. Anything else is written as hex(1) so that nothing is lost.
std::optional<std::string> QuotableString(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  const size_t units = data.size() / 2 - 1;
  if (data[2 * units] != 0 || data[2 * units + 1] != 0) return std::nullopt;
  std::string text;
  bool quotable = true;
  const bool valid = base::ForEachUtf16CodePoint(data.data(), units, [&](char32_t cp) {
    if (cp == 0 || cp == '\r' || cp == '\n') quotable = false;
    base::AppendUtf8(text, cp);
  });
  if (!valid || !quotable) return std::nullopt;
  return text;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

size_t Columns(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8)
    n += (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  return n;
}

void FormatValue(std::string& out, const RegistryValue& v) {
  std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
  if (v.type == REG_SZ) {
    if (auto text = QuotableString(v.data)) {
      out += line + Quote(*text) + "\r\n";
      return;
    }
  }
  if (v.type == REG_DWORD && v.data.size() == 4) {
    char buf[16];
    const uint32_t d = base::LoadLe32(v.data.data());
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    out += line + buf + "\r\n";
    return;
  }
  if (v.type == REG_BINARY) {
    line += "hex:";
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    line += buf;
  }
  size_t column = Columns(line);
  out += line;
  static constexpr char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < v.data.size(); ++i) {
    out += kDigits[v.data[i] >> 4];
    out += kDigits[v.data[i] & 0xF];
    if (i + 1 == v.data.size()) break;
    out += ',';
    column += 3;
    if (column >= kHexWrapColumn) {
      out += "\\\r\n  ";
      column = 2;
    }
  }
  out += "\r\n";
}

}  // namespace

std::string FormatRegistryText(const RegistryModel& model) {
  std::string out(kRegeditHeader5);
  out += "\r\n";
  for (const RegistryKey& key : model.Keys()) {
    out += "\r\n[" + key.Path() + "]\r\n";
    for (const RegistryValue& v : key.Values())
      FormatValue(out, v);
  }
  out += "\r\n";
  bool ascii = true;
  for (char c : out)
    ascii &= static_cast<uint8_t>(c) < 0x80;
  if (ascii) return out;
  // Without a BOM the editor would read the file in the machine's ANSI code page.
  std::string wide = "\xFF\xFE";
  wide.reserve(out.size() * 2 + 2);
  base::ForEachCodePoint(out, [&](char32_t cp) { base::AppendUtf16(wide, cp); });
  return wide;
}

}  // namespace velmo::core
