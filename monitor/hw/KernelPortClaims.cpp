#include "monitor/hw/KernelPortClaims.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

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

bool ParseHex(std::string_view text, uint32_t* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::vector<PortClaim> ParseIoports(std::string_view text) {
  std::vector<PortClaim> claims;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const std::string_view line = base::Trim(text.substr(0, newline));
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    // "  0295-0296 : w83627hf"
    const size_t dash = line.find('-'), colon = line.find(" : ");
    if (dash == std::string_view::npos || colon == std::string_view::npos || dash > colon) continue;
    uint32_t first = 0, last = 0;
    if (!ParseHex(line.substr(0, dash), &first) ||
        !ParseHex(base::Trim(line.substr(dash + 1, colon - dash - 1)), &last) || first > last ||
        last > 0xFFFF)
      continue;
    // Read without CAP_SYS_ADMIN every range shows as 0000-0000: nothing can be told from it.
    if (first == 0 && last == 0) continue;
    const std::string_view name = base::Trim(line.substr(colon + 3));
    if (name.empty() || HoldsResourcesOnly(name)) continue;
    claims.push_back(
        {static_cast<uint16_t>(first), static_cast<uint16_t>(last), std::string(name)});
  }
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
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return ChipPortClaims(ParseIoports(text.str()));
}

std::string DescribeClaim(const PortClaim& c) {
  char ports[32];
  std::snprintf(ports, sizeof ports, "0x%x-0x%x", c.first, c.last);
  return "The kernel driver " + c.driver + " owns the monitor chip's ports " + ports +
         "; Velmo leaves them alone. \"modprobe -r " + c.driver + "\" (as root) frees them.";
}

ClaimGuardBus::ClaimGuardBus(std::unique_ptr<Bus> inner, std::vector<PortClaim> claims)
    : inner_(std::move(inner)), claims_(std::move(claims)) {
  for (const PortClaim& c : claims_) {
    if (c.driver == "sis5595") hiddenFunctions_.push_back(kPciSisBridge & kFunctionBits);
    if (c.driver == "via686a") hiddenFunctions_.push_back(kPciViaBridge & kFunctionBits);
  }
}

bool ClaimGuardBus::Refuses(uint16_t port, unsigned width) const {
  const uint32_t last = uint32_t{port} + (width ? width - 1 : 0);
  for (const PortClaim& c : claims_) {
    if (port <= c.last && c.first <= last) return true;
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
