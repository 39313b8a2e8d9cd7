// Whether a kernel hwmon driver owns the monitor chip, in the vocabulary of the /proc/ioports
// claims (monitor/hw/KernelPortClaims.h), so one guard keeps both kinds of owner's ports.
//
// The chip counts as owned when the machine's hwmon has a device of one of its drivers:
// w83781d/w83782d as an I2C client (the 64-bit kernels' way, which claims no port at all) or an
// ISA platform device, w83627hf, via686a or sis5595 as a platform device. The claim names the
// kernel module, the device as `sensors` names it, and the ports the monitor would touch: the
// index/data pair 0x295-0x296 for the Winbond and SiS chips, the VIA monitor's 128-byte block
// (its base is the platform device's number). A "sis5595" or "via686a" claim also hides the
// south bridge's PCI function from the monitor (ClaimGuardBus).
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "monitor/hw/KernelPortClaims.h"
#include "monitor/hwmon/HwmonScan.h"
#include "monitor/hwmon/KernelChip.h"

namespace velmo::hwmon {

// Whether a device of this name may be a driver of the monitor chips (its bus decides).
bool MayClaim(std::string_view prefix);
// The claim of one device; nullopt for a device that is not a driver of the monitor chips.
std::optional<hw::PortClaim> OwnershipClaim(const KernelChip& chip);
std::vector<hw::PortClaim> OwnershipClaims(const std::vector<KernelChip>& chips);

// The claims of the machine's hwmon devices under sysRoot.
std::vector<hw::PortClaim> ReadHwmonClaims(const std::filesystem::path& sysRoot = kSysRoot);

// Adds the hwmon claims to those read from /proc/ioports: a driver already there keeps its
// range and gains the device's name; the others are appended.
void MergeClaims(std::vector<hw::PortClaim>& claims, const std::vector<hw::PortClaim>& hwmon);

}  // namespace velmo::hwmon
