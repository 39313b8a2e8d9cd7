// velmo_kernel_tree: writes the sysfs files a kernel hwmon driver would show for a simulated
// board's chip, or the hwmon tree of a machine file (boards/machines), for benchmarks and for
// trying the kernel source by hand:
//   unshare -m sh -c 'mount --bind DIR/sys/class /sys/class &&
//                     mount --bind DIR/sys/devices /sys/devices && exec sensors'
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "sim/KernelTree.h"
#include "sim/MachineTree.h"
#include "sim/SimulatedBoard.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes the kernel hwmon driver's view of a simulated board's chip"};
  std::string boardPath, machinePath, out;
  unsigned index = 0;
  bool isa = false;
  auto* board = app.add_option("--board", boardPath, "Simulated board file");
  app.add_option("--machine", machinePath, "Machine file: a PC of today's hwmon devices")
      ->excludes(board);
  app.add_option("--out", out, "Folder to write sys/class and sys/devices under")->required();
  app.add_option("--hwmon-index", index, "N of /sys/class/hwmon/hwmonN");
  app.add_flag("--isa", isa, "W83781D/W83782D as the ISA device of 32-bit kernels, not I2C");
  CLI11_PARSE(app, argc, argv);

  std::string error;
  if (!machinePath.empty()) {
    try {
      if (!velmo::sim::ExportMachineTree(machinePath, out, &error)) {
        std::fprintf(stderr, "velmo_kernel_tree: %s\n", error.c_str());
        return 1;
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "velmo_kernel_tree: %s\n", e.what());
      return 1;
    }
    return 0;
  }
  if (boardPath.empty()) {
    std::fprintf(stderr, "velmo_kernel_tree: --board or --machine is required\n");
    return 2;
  }
  auto simulated = velmo::sim::SimulatedBoard::Load(boardPath, &error);
  if (!simulated) {
    std::fprintf(stderr, "velmo_kernel_tree: %s\n", error.c_str());
    return 1;
  }
  velmo::sim::KernelTreeOptions options;
  options.hwmonIndex = index;
  options.i2c = !isa;
  try {
    velmo::sim::ExportKernelTree(*simulated, out, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmo_kernel_tree: %s\n", e.what());
    return 1;
  }
  const auto device = velmo::sim::KernelDevicePath(*simulated, options);
  std::printf("%s\n", device.empty() ? "no device" : (std::filesystem::path(out) / device).c_str());
  return 0;
}
