// Finding the hwmon device of a kernel driver that keeps one of the monitor's chips, and finding
// it again after a driver reload or a reboot: by driver name and bus address, never by the hwmonN
// number, which the kernel hands out afresh.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmo::hwmon {

// The kernel drivers of the monitor's chips, by the name their hwmon device reports.
enum class ChipDriver : uint8_t { kW83781d, kW83782d, kW83627hf, kVia686a, kSis5595 };
std::optional<ChipDriver> ChipDriverFromName(const std::string& name);
const char* ChipDriverName(ChipDriver chip);

// What identifies a chip across reloads: its driver's name and where it sits on its bus.
struct KernelChipKey {
  ChipDriver chip = ChipDriver::kW83627hf;
  bool i2c = false;        // an I2C client; otherwise an ISA (platform) device
  uint32_t busNumber = 0;  // I2C adapter number
  uint32_t address = 0;    // I2C address, or the ISA base port
  bool operator==(const KernelChipKey&) const = default;
};
// The chip's name as lm-sensors prints it: "w83627hf-isa-0290", "w83782d-i2c-0-2d".
std::string SensorsChipName(const KernelChipKey& key);

struct HwmonDevice {
  KernelChipKey key;
  std::filesystem::path attributes;  // the folder that holds name, in0_input, ...
  std::filesystem::path classEntry;  // <root>/sys/class/hwmon/hwmonN, for messages
};

// Every device of the five drivers under `root` (/ on the machine), in hwmonN order.
std::vector<HwmonDevice> FindKernelChips(const std::filesystem::path& root);
// The device with `key`, wherever its hwmonN now is.
std::optional<HwmonDevice> FindKernelChip(const std::filesystem::path& root,
                                          const KernelChipKey& key);

}  // namespace velmo::hwmon
