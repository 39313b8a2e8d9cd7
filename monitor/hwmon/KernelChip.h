// A hwmon device of the running kernel, named as lm-sensors' `sensors` names it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace velmo::hwmon {

// Isa: libsensors' ISA bus, not a platform device; Platform: a platform device, which libsensors
// also names "-isa-" (w83627hf, via686a, sis5595, the w83781d of 32-bit kernels).
enum class BusKind { Isa, I2c, Pci, Platform, Other };

struct KernelChip {
  std::string name;    // as `sensors` prints it: "w83627hf-isa-0290", "w83782d-i2c-0-2d"
  std::string prefix;  // the device's `name` file: "w83627hf", "w83782d"
  BusKind bus = BusKind::Other;
  int32_t busNumber = 0;       // the I2C adapter; 0 elsewhere
  uint32_t address = 0;        // I2C address, ISA base, or PCI bus/device/function
  std::filesystem::path path;  // the folder that holds the attribute files
  bool operator==(const KernelChip&) const = default;
};

}  // namespace velmo::hwmon
