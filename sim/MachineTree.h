// The hwmon tree of a PC of today, from a machine file: each device's attribute files in the
// current layout (`name` and the attributes in <device>/hwmon/hwmonN, a `device` link to the
// device and its `subsystem` link), or a virtual device without a `device` link, as thermal zones
// are. Written under a folder that tests and benchmarks bind-mount over /sys.
//
//   {"devices": [{"name": "k10temp", "device": "pci0000:00/0000:00:18.3", "subsystem": "pci",
//                 "attributes": {"temp1_input": "45250", "temp1_label": "Tctl"}}, ...]}
//
// hwmonN follows the file's order unless a device gives "hwmon": N.
#pragma once

#include <filesystem>
#include <string>

namespace velmo::sim {

// Writes the machine file's devices under root/sys. False, with `error` set, when the file
// cannot be read or is not a machine file; throws std::filesystem::filesystem_error when a
// file cannot be written.
bool ExportMachineTree(const std::filesystem::path& machineFile, const std::filesystem::path& root,
                       std::string* error);

}  // namespace velmo::sim
