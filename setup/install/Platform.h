// The platform check of the setup: which machines Velmo runs on and how the first page names
// the system.
#pragma once

#include <cstdint>
#include <string>

namespace velmo::setup {

// The first page's hint on a machine the check refuses.
inline constexpr const char* kRefusedHint =
    "This Velmo Version can not\r run under such OS!\nSetup will exit.";

// What the check looks at: uname's machine and kernel release, and the distribution's name.
struct PlatformFacts {
  std::string machine;        // "x86_64", "i686", "aarch64", ...
  std::string kernelRelease;  // "6.1.0-18-amd64"
  std::string prettyName;     // PRETTY_NAME of os-release
};

class PlatformSource {
 public:
  virtual ~PlatformSource() = default;
  virtual PlatformFacts Read() = 0;
};

// uname(2) and /etc/os-release (else /usr/lib/os-release).
class LinuxPlatformSource : public PlatformSource {
 public:
  explicit LinuxPlatformSource(std::string osRelease = "/etc/os-release",
                               std::string fallback = "/usr/lib/os-release");
  PlatformFacts Read() override;

 private:
  std::string osRelease_;
  std::string fallback_;
};

// PRETTY_NAME of an os-release text, its shell quoting undone; "Linux" when it has none.
std::string PrettyNameOf(const std::string& osReleaseText);

// The result of the check. x86 (i386 to i686) and x86-64 run the monitor through the helper
// services (`helperServices`); nothing else is supported, and no Linux machine gives a program its
// ports without them (`directPorts` stays false). `name` and `kernelRelease` are empty on an
// unsupported machine.
struct PlatformCheck {
  bool helperServices = false;
  bool directPorts = false;
  std::string name;  // the distribution
  std::string kernelRelease;
};
PlatformCheck CheckPlatform(const PlatformFacts& facts);

}  // namespace velmo::setup
