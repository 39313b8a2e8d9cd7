// The kernel's view of a simulated board's chip: the sysfs files its Linux hwmon driver would show
// (w83781d, w83627hf, via686a, sis5595), written under a folder that tests bind-mount over /sys.
//
// The four drivers register the old way: the attributes and `name` live in the parent device's
// folder, and /sys/class/hwmon/hwmonN (a link to <device>/hwmon/hwmonN) holds only `device`,
// `subsystem` and `uevent`. Values come from the chip's registers as they are now, converted with
// the drivers' documented formulas; the registers are peeked, so exporting never disturbs the
// chip or its port trace.
#pragma once

#include <cstdint>
#include <filesystem>

namespace velmo::sim {

class SimulatedBoard;

struct KernelTreeOptions {
  unsigned hwmonIndex = 0;  // the N of hwmonN
  // A W83781D/W83782D as the I2C client the 64-bit kernels make of it (no ISA code there); false:
  // the ISA platform device of 32-bit kernels. The other chips are platform devices either way.
  bool i2c = true;
  unsigned i2cBus = 0;
  uint8_t i2cAddress = 0x2d;
};

// Writes (or rewrites in place, for the next tick) root/sys/class/hwmon/hwmon<N>,
// root/sys/class/i2c-adapter and root/sys/devices/... for the board's chip. Other hwmonN entries
// under root are removed, so exporting with another index renumbers the device. A board without
// a chip, or with a disabled VIA monitor, gets the empty folders only (no device, as the kernel
// would show). Throws std::filesystem::filesystem_error when a file cannot be written.
void ExportKernelTree(const SimulatedBoard& board, const std::filesystem::path& root,
                      const KernelTreeOptions& options = {});

// The folder (relative to root, e.g. "sys/devices/platform/w83627hf.656") that holds the chip's
// attribute files as exported with `options`; empty when the board shows no device.
std::filesystem::path KernelDevicePath(const SimulatedBoard& board,
                                       const KernelTreeOptions& options = {});

}  // namespace velmo::sim
