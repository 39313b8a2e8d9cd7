// What reading the chip through its kernel driver costs: one frame tick on a W83782D through the
// kernel source (the driver's attribute files, exported from the board) beside the same tick
// through the ports, measured in one run; the kernel benchmark reports its ratio to the direct
// tick and the difference in microseconds.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "monitor/hwmon/KernelSource.h"
#include "sim/KernelTree.h"
#include "sim/SimulatedBoard.h"

namespace {

using namespace velmo;

std::unique_ptr<sim::SimulatedBoard> LoadBoard() {
  std::string error;
  auto board = sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/w83782d.json", &error);
  if (!board) throw std::runtime_error(error);
  return board;
}

// A frame created on a board, ticking through the ports or through the kernel's tree.
class TickRig {
 public:
  explicit TickRig(const std::filesystem::path* tree) : board_(LoadBoard()), direct_(*board_) {
    hw::PortBackend* backend = &direct_;
    if (tree) {
      sim::KernelTreeOptions options;  // the I2C client of the 64-bit kernels
      sim::ExportKernelTree(*board_, *tree, options);
      const auto device = hwmon::FindKernelChip(
          *tree, {hwmon::ChipDriver::kW83782d, true, options.i2cBus, options.i2cAddress});
      if (!device) throw std::runtime_error("no w83782d in the exported tree");
      kernel_ = hwmon::MakeKernelSource(direct_, *device, {}, *tree);
      backend = kernel_.backend.get();
    }
    ports_ = std::make_unique<hw::PortAccess>(*backend, host_);
    frame_ = std::make_unique<core::CMainFrame>(state_, *ports_, registry_, host_,
                                                core::UninstallPaths{});
    if (frame_->OnCreate() != 0) throw std::runtime_error("creation failed");
  }
  void Tick() { frame_->OnTimer(); }

 private:
  std::unique_ptr<sim::SimulatedBoard> board_;
  hw::DirectBackend direct_;
  hwmon::KernelSource kernel_;
  core::NullFrameHost host_;
  core::MemoryRegistry registry_;
  core::MonitorState state_;
  std::unique_ptr<hw::PortAccess> ports_;
  std::unique_ptr<core::CMainFrame> frame_;
};

std::filesystem::path TreeDir() {
  // Memory-backed like sysfs, where there is such a folder.
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  return base / ("velmo-bench-hwmon-" + std::to_string(getpid()));
}

void BM_Tick_W83782d_Direct(benchmark::State& state) {
  TickRig rig(nullptr);
  for (auto _ : state)
    rig.Tick();
}
BENCHMARK(BM_Tick_W83782d_Direct)->Unit(benchmark::kMicrosecond);

void BM_Tick_W83782d_Kernel(benchmark::State& state) {
  const std::filesystem::path tree = TreeDir();
  {
    TickRig direct(nullptr);
    TickRig kernel(&tree);
    constexpr int kDirectRuns = 2000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kDirectRuns; ++i)
      direct.Tick();
    const double directNs =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
        kDirectRuns;
    const auto kernelStart = std::chrono::steady_clock::now();
    int64_t runs = 0;
    for (auto _ : state) {
      kernel.Tick();
      ++runs;
    }
    const double kernelNs =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - kernelStart)
            .count() /
        static_cast<double>(runs ? runs : 1);
    state.counters["direct_us"] = directNs / 1000;
    state.counters["ratio_to_direct"] = kernelNs / directNs;
    state.counters["extra_us"] = (kernelNs - directNs) / 1000;
  }
  std::filesystem::remove_all(tree);
}
BENCHMARK(BM_Tick_W83782d_Kernel)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
