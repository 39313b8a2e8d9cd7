// The machine's hwmon devices read straight from sysfs, without libsensors and its configuration:
// what the ownership check and a source that looks a device up again (by driver and bus address,
// never by hwmonN) rely on.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "monitor/hwmon/KernelChip.h"

namespace velmo::hwmon {

inline constexpr const char* kSysRoot = "/sys";

// Every device under sysRoot/class/hwmon that has a `name` (in hwmonN or, for drivers that
// register the old way, in its device), named as libsensors names it. Unreadable entries are
// skipped; none when the folder is missing. With `wanted`, only the devices whose name it takes:
// the others' device links are not resolved, which is most of the scan's cost.
std::vector<KernelChip> ScanHwmonDevices(
    const std::filesystem::path& sysRoot = kSysRoot,
    const std::function<bool(std::string_view name)>& wanted = {});

// The libsensors name of a chip: "<prefix>-isa-%04x", "<prefix>-i2c-<bus>-%02x",
// "<prefix>-pci-%04x", else "<prefix>-virtual-0".
std::string ChipName(const std::string& prefix, BusKind bus, int32_t busNumber, uint32_t address);

}  // namespace velmo::hwmon
