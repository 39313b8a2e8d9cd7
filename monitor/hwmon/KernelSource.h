// Choosing the kernel source: when a kernel hwmon driver keeps the monitor's chip, its readings
// come from the driver's files and the chip's ports are left to it.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/base/Warning.h"
#include "monitor/hwmon/AttributeFiles.h"
#include "monitor/hwmon/HwmonDevice.h"
#include "monitor/hwmon/KernelChip.h"
#include "monitor/hwmon/KernelChipBackend.h"

namespace velmo::hwmon {

class SensorsLibrary;

// The device of the first of the five drivers under `root`'s hwmon, if the kernel keeps a chip:
// the owner the guards of the ports count.
std::optional<HwmonDevice> KernelOwnedChip(const std::filesystem::path& root = "/");
// The first of `chips` that a legacy driver keeps, found as a device under `root`.
std::optional<HwmonDevice> FirstOwnedChip(const std::vector<KernelChip>& chips,
                                          const std::filesystem::path& root = "/");
// This machine's: the chips libsensors finds, named as `sensors` names them, then any device the
// ports' guard counts that libsensors left out (so the guard and the source never disagree).
// What is wrong with the sensors configuration goes to `warn`, once; the monitor carries on
// without it.
std::optional<HwmonDevice> KernelOwnedChipOnMachine(const base::WarningSink& warn);
// The same with the chips of a library the caller keeps (for the kernel's sensors after it).
std::optional<HwmonDevice> KernelOwnedChipOnMachine(const SensorsLibrary& library);

// The kernel source over `inner` and the files it reads.
struct KernelSource {
  std::unique_ptr<AttributeFiles> files;
  std::unique_ptr<KernelChipBackend> backend;
};
KernelSource MakeKernelSource(hw::PortBackend& inner, HwmonDevice device, base::WarningSink warn,
                              const std::filesystem::path& root = "/");

// "the kernel's w83627hf driver (w83627hf-isa-0290, /sys/class/hwmon/hwmon0)": which source
// reads the chip, for the programs to say.
std::string DescribeKernelSource(const HwmonDevice& device);

// A `sensors -j` document of one chip renamed for the kernel's device: its key becomes the
// device's lm-sensors name ("w83782d-i2c-0-2d") and its "Adapter" the bus's, as `sensors -j`
// prints them under that driver.
nlohmann::ordered_json SensorsJsonForKernelChip(nlohmann::ordered_json json,
                                                const HwmonDevice& device,
                                                const std::filesystem::path& root = "/");

}  // namespace velmo::hwmon
