#include "setup/install/Platform.h"

#include <sys/utsname.h>

#include <fstream>
#include <optional>
#include <sstream>

namespace velmo::setup {

namespace {

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// One os-release value: quoted in '...' or "..." (with \", \\, \$ and \` escapes in the double
// quotes), or bare.
std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
    return value.substr(1, value.size() - 2);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    std::string out;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
      if (value[i] == '\\' && i + 2 < value.size()) {
        const char next = value[i + 1];
        if (next == '"' || next == '\\' || next == '$' || next == '`') {
          out += next;
          ++i;
          continue;
        }
      }
      out += value[i];
    }
    return out;
  }
  return value;
}

}  // namespace

LinuxPlatformSource::LinuxPlatformSource(std::string osRelease, std::string fallback)
    : osRelease_(std::move(osRelease)), fallback_(std::move(fallback)) {}

PlatformFacts LinuxPlatformSource::Read() {
  PlatformFacts facts;
  struct utsname name;
  if (::uname(&name) == 0) {
    facts.machine = name.machine;
    facts.kernelRelease = name.release;
  }
  auto text = ReadText(osRelease_);
  if (!text) text = ReadText(fallback_);
  facts.prettyName = PrettyNameOf(text.value_or(""));
  return facts;
}

std::string PrettyNameOf(const std::string& osReleaseText) {
  std::istringstream lines(osReleaseText);
  std::string line;
  std::string name = "Linux";
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    constexpr std::string_view kKey = "PRETTY_NAME=";
    if (line.compare(0, kKey.size(), kKey) == 0) name = Unquote(line.substr(kKey.size()));
  }
  return name;
}

PlatformCheck CheckPlatform(const PlatformFacts& facts) {
  PlatformCheck check;
  const std::string& m = facts.machine;
  const bool x86 = m == "x86_64" || (m.size() == 4 && m[0] == 'i' && m[1] >= '3' && m[1] <= '6' &&
                                     m.compare(2, 2, "86") == 0);
  if (!x86) return check;
  check.helperServices = true;
  check.name = facts.prettyName;
  check.kernelRelease = facts.kernelRelease;
  return check;
}

}  // namespace velmo::setup
