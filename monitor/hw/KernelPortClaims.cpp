#include "monitor/hw/KernelPortClaims.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "monitor/base/Text.h"
#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/PciConfig.h"

namespace velmo::hw {

namespace {

// Bus, device and function of a PCI configuration address.
constexpr uint32_t kFunctionBits = 0x00FFFF00;

// The hwmon drivers of the chips the monitor reads, and of their kin that probe the same ports.
constexpr std::array<std::string_view, 8> kChipDrivers = {
    "w83781d", "w83627hf", "w83627ehf", "nct6775", "lm78", "it87", "via686a", "sis5595"};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "0000:00:07.4": a PCI function's own range, named by its address.
bool IsPciAddress(std::string_view name) {
  if (name.size() != 12) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool separator = i == 4 || i == 7 || i == 10;
    if (separator ? c != (i == 10 ? '.' : ':') : !std::isxdigit(static_cast<unsigned char>(c)))
      return false;
  }
  return true;
}

bool HoldsResourcesOnly(std::string_view name) {
  for (std::string_view prefix : {"PCI Bus", "PCI conf", "pnp ", "ACPI", "reserved", "Reserved"}) {
    if (StartsWith(name, prefix)) return true;
  }
  return IsPciAddress(name);
}

// Chip drivers (and the chip names their hwmon devices carry) that own the chip wherever they
// are bound; the hwmon name is the chip's, so a family is matched by its start.
constexpr std::array<std::string_view, 9> kHwmonNamePrefixes = {
    "w8378", "w836", "as99127f", "nct6", "lm78", "it87", "via686a", "sis5595", "lm79"};

// A /proc or /sys file of a few pages at most, read without blocking.
bool ReadSmallFile(const std::string& path, std::string* text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  text->clear();
  char buffer[4096];
  ssize_t n = 0;
  while (text->size() < (1u << 20) && (n = ::read(fd, buffer, sizeof buffer)) > 0)
    text->append(buffer, static_cast<size_t>(n));
  const bool ok = n == 0 || text->size() >= (1u << 20);
  ::close(fd);
  return ok;
}

// True when `dir` holds a device bound to the driver (a link other than "module").
bool HasBoundDevice(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return false;
  bool bound = false;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == ".." || name == "module") continue;
    struct stat st;
    if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
      bound = true;
  }
  ::closedir(d);
  return bound;
}

// The chip drivers the sysfs tree under `sys` shows at work; `known` when the tree could be
// read at all.
std::vector<PortClaim> BoundChipDrivers(const std::string& sys, bool* known) {
  std::vector<PortClaim> found;
  auto add = [&found](std::string name) {
    for (const PortClaim& c : found) {
      if (c.driver == name) return;
    }
    found.push_back({kIndexPort, kDataPort, std::move(name), {}, false});
  };
  *known = false;
  for (const char* bus : {"platform", "isa", "pci"}) {
    const std::string drivers = sys + "/bus/" + bus + "/drivers";
    struct stat st;
    if (::stat(drivers.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    *known = true;
    for (std::string_view name : kChipDrivers) {
      if (HasBoundDevice(drivers + "/" + std::string(name))) add(std::string(name));
    }
  }
  const std::string hwmon = sys + "/class/hwmon";
  if (DIR* d = ::opendir(hwmon.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::string name;
      if (!ReadSmallFile(hwmon + "/" + e->d_name + "/name", &name)) continue;
      name = std::string(base::Trim(name.substr(0, name.find('\n'))));
      for (std::string_view prefix : kHwmonNamePrefixes) {
        if (StartsWith(name, prefix)) add(name);
      }
    }
    ::closedir(d);
  }
  return found;
}

bool ParseHex(std::string_view text, uint32_t* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Calls f(first, last, name) for each line of an /proc/ioports text that reads
// "  0295-0296 : w83627hf", until f returns false.
template <typename F>
void ForEachRange(std::string_view text, F f) {
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const std::string_view line = base::Trim(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    const size_t dash = line.find('-'), colon = line.find(" : ");
    if (dash == std::string_view::npos || colon == std::string_view::npos || dash > colon) continue;
    uint32_t first = 0, last = 0;
    if (!ParseHex(line.substr(0, dash), &first) ||
        !ParseHex(base::Trim(line.substr(dash + 1, colon - dash - 1)), &last))
      continue;
    if (!f(first, last, base::Trim(line.substr(colon + 3)))) return;
  }
}

}  // namespace

std::vector<PortClaim> ParseIoports(std::string_view text) {
  std::vector<PortClaim> claims;
  ForEachRange(text, [&claims](uint32_t first, uint32_t last, std::string_view name) {
    if (first > last || last > 0xFFFF) return true;
    // Read without CAP_SYS_ADMIN every range shows as 0000-0000: nothing can be told from it.
    if (first == 0 && last == 0) return true;
    if (name.empty() || HoldsResourcesOnly(name)) return true;
    claims.push_back(
        {static_cast<uint16_t>(first), static_cast<uint16_t>(last), std::string(name)});
    return true;
  });
  return claims;
}

std::vector<PortClaim> ChipPortClaims(const std::vector<PortClaim>& claims) {
  std::vector<PortClaim> chip;
  for (const PortClaim& c : claims) {
    bool chipDriver = false;
    for (std::string_view name : kChipDrivers)
      chipDriver = chipDriver || c.driver == name;
    const bool overPair = c.first <= kDataPort && kIndexPort <= c.last;
    if (chipDriver || overPair) chip.push_back(c);
  }
  return chip;
}

std::vector<PortClaim> ReadChipPortClaims(const std::string& path) {
  std::string text;
  return ReadSmallFile(path, &text) ? ChipPortClaims(ParseIoports(text)) : std::vector<PortClaim>{};
}

bool IoportsHidesRanges(std::string_view text) {
  bool hidden = true;
  ForEachRange(text, [&hidden](uint32_t first, uint32_t last, std::string_view) {
    hidden = first == 0 && last == 0;
    return hidden;
  });
  return hidden;
}

KernelClaims ReadKernelClaims(const ClaimSources& sources) {
  KernelClaims out;
  std::string text;
  bool ioportsKnown = false;
  if (!ReadSmallFile(sources.ioports, &text)) {
    out.reason = sources.ioports + " cannot be read here";
  } else if (IoportsHidesRanges(text)) {
    out.reason = sources.ioports + " shows every range as 0000-0000 here";
  } else {
    ioportsKnown = true;
    out.claims = ChipPortClaims(ParseIoports(text));
  }
  bool sysKnown = false;
  for (PortClaim& claim : BoundChipDrivers(sources.sys, &sysKnown)) {
    const bool named = std::any_of(out.claims.begin(), out.claims.end(),
                                   [&](const PortClaim& c) { return c.driver == claim.driver; });
    if (!named) out.claims.push_back(std::move(claim));
  }
  if (!out.claims.empty()) {
    out.state = KernelClaims::State::kOwned;
  } else if (ioportsKnown || sysKnown) {
    out.state = KernelClaims::State::kFree;
  }
  if (!out.reason.empty()) {
    out.reason += sysKnown ? "; the kernel's port claims are unknown, the chip drivers bound "
                             "under " +
                                 sources.sys + " are taken instead"
                           : "; the kernel's port claims are unknown, and so is " + sources.sys +
                                 ": the monitor chip is left alone";
  }
  return out;
}

bool ClaimedByMonitorChipDriver(const PortClaim& claim) {
  for (std::string_view driver : {"w83781d", "w83627hf", "via686a", "sis5595"})
    if (claim.driver == driver) return true;
  return false;
}

std::string DescribeClaim(const PortClaim& c) {
  std::string driver;
  for (const char ch : c.driver) {
    if (ch >= 0x20 && ch < 0x7f) {
      driver += ch;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(ch));
      driver += escaped;
    }
  }
  if (!c.portsKnown) {
    return "The kernel driver " + driver +
           " owns the monitor chip; Velmo leaves it alone. \"modprobe -r " + driver +
           "\" (as root) frees it.";
  }
  char ports[32];
  std::snprintf(ports, sizeof ports, "0x%x-0x%x", c.first, c.last);
  // The hwmon device's name is shown only when every byte of it is printable.
  const bool printable = std::all_of(c.device.begin(), c.device.end(), [](char ch) {
    return static_cast<unsigned char>(ch) >= 0x20 && static_cast<unsigned char>(ch) < 0x7F;
  });
  if (!c.device.empty() && printable) {
    return "The kernel driver " + driver + " owns the monitor chip (" + c.device +
           "); Velmo leaves its ports " + ports + " alone. \"modprobe -r " + driver +
           "\" (as root) frees them.";
  }
  return "The kernel driver " + driver + " owns the monitor chip's ports " + ports +
         "; Velmo leaves them alone. \"modprobe -r " + driver + "\" (as root) frees them.";
}

ClaimGuardBus::ClaimGuardBus(std::unique_ptr<Bus> inner, std::vector<PortClaim> claims)
    : inner_(std::move(inner)) {
  kernel_.state = claims.empty() ? KernelClaims::State::kFree : KernelClaims::State::kOwned;
  kernel_.claims = std::move(claims);
  for (const PortClaim& c : kernel_.claims)
    Guard(c);
}

ClaimGuardBus::ClaimGuardBus(std::unique_ptr<Bus> inner, KernelClaims kernel)
    : inner_(std::move(inner)), kernel_(std::move(kernel)) {
  for (const PortClaim& c : kernel_.claims)
    Guard(c);
  if (kernel_.state == KernelClaims::State::kUnknown) {
    for (const char* driver : {"sis5595", "via686a"})
      Guard({kIndexPort, kDataPort, driver, {}, false});
  }
}

void ClaimGuardBus::Guard(const PortClaim& c) {
  refused_.emplace_back(c.first, c.last);
  // One port of the pair claimed: the chip is taken, the other port with it.
  if (!c.portsKnown || (c.first <= kDataPort && kIndexPort <= c.last))
    refused_.emplace_back(kIndexPort, kDataPort);
  if (c.driver == "sis5595") hiddenFunctions_.push_back(kPciSisBridge & kFunctionBits);
  if (c.driver == "via686a") hiddenFunctions_.push_back(kPciViaBridge & kFunctionBits);
}

bool ClaimGuardBus::Refuses(uint16_t port, unsigned width) const {
  const uint32_t last = uint32_t{port} + (width ? width - 1 : 0);
  for (const auto& [first, end] : refused_) {
    if (port <= end && first <= last) return true;
  }
  return false;
}

uint32_t ClaimGuardBus::In(uint16_t port, unsigned width) {
  const uint32_t absent = width == 1 ? 0xFFu : width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
  if (Refuses(port, width)) return absent;
  if (port >= kPciDataPort && port <= kPciDataPort + 3 && (latch_ & kPciEnable)) {
    for (uint32_t function : hiddenFunctions_) {
      if ((latch_ & kFunctionBits) == function) return absent;
    }
  }
  return inner_->In(port, width);
}

void ClaimGuardBus::Out(uint16_t port, unsigned width, uint32_t value) {
  if (port == kPciAddressPort && width == 4) latch_ = value;
  if (!Refuses(port, width)) inner_->Out(port, width, value);
}

}  // namespace velmo::hw
