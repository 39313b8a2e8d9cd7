#include "monitor/hwmon/KernelOwnership.h"

#include <string_view>

namespace velmo::hwmon {
namespace {

constexpr uint16_t kIndexPort = 0x295;  // the Winbond and SiS monitors' index/data pair
constexpr uint16_t kDataPort = 0x296;
constexpr uint32_t kViaBlockSize = 0x80;

}  // namespace

bool MayClaim(std::string_view prefix) {
  return prefix == "w83781d" || prefix == "w83782d" || prefix == "w83627hf" ||
         prefix == "via686a" || prefix == "sis5595";
}

std::optional<hw::PortClaim> OwnershipClaim(const KernelChip& chip) {
  const std::string_view prefix = chip.prefix;
  if (!MayClaim(prefix)) return std::nullopt;
  hw::PortClaim claim{kIndexPort, kDataPort, "", chip.name};
  if (prefix == "w83781d" || prefix == "w83782d") {
    // One module drives both chips, over I2C or (32-bit kernels) as an ISA platform device.
    if (chip.bus != BusKind::I2c && chip.bus != BusKind::Platform && chip.bus != BusKind::Isa)
      return std::nullopt;
    claim.driver = "w83781d";
    return claim;
  }
  if (chip.bus != BusKind::Platform && chip.bus != BusKind::Isa) return std::nullopt;
  claim.driver = std::string(prefix);
  // The VIA block lies where PCI put it; a base that cannot be told keeps the pair claimed, and
  // the bridge's function is hidden either way.
  if (prefix == "via686a" && chip.address != 0 && chip.address <= 0xFFFF - (kViaBlockSize - 1)) {
    claim.first = static_cast<uint16_t>(chip.address);
    claim.last = static_cast<uint16_t>(chip.address + kViaBlockSize - 1);
  }
  return claim;
}

std::vector<hw::PortClaim> OwnershipClaims(const std::vector<KernelChip>& chips) {
  std::vector<hw::PortClaim> claims;
  for (const KernelChip& chip : chips) {
    if (auto claim = OwnershipClaim(chip)) claims.push_back(std::move(*claim));
  }
  return claims;
}

std::vector<hw::PortClaim> ReadHwmonClaims(const std::filesystem::path& sysRoot) {
  return OwnershipClaims(ScanHwmonDevices(sysRoot, MayClaim));
}

void MergeClaims(std::vector<hw::PortClaim>& claims, const std::vector<hw::PortClaim>& hwmon) {
  for (const hw::PortClaim& h : hwmon) {
    bool merged = false;
    for (hw::PortClaim& c : claims) {
      if (c.driver == h.driver && c.device.empty()) {
        c.device = h.device;
        merged = true;
        break;
      }
    }
    if (!merged) claims.push_back(h);
  }
}

}  // namespace velmo::hwmon
