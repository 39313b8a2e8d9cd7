// Benchmarks of the monitor core on simulated boards: identification, one acquisition with the
// beep bits, one full tick of the frame, and a settings save plus load.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "monitor/core/Acquisition.h"
#include "monitor/core/ChipProfiles.h"
#include "monitor/core/Identification.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/SettingsStore.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"

namespace {

using namespace velmo;

const char* const kBoards[] = {"w83781d", "w83782d", "w83627hf", "sis5595", "via686a"};

using QuietHost = core::NullFrameHost;

struct Machine {
  std::unique_ptr<sim::SimulatedBoard> board;
  QuietHost host;
  std::unique_ptr<hw::DirectBackend> backend;
  std::unique_ptr<hw::PortAccess> ports;
  explicit Machine(const char* name) {
    std::string error;
    board = sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + name + ".json", &error);
    if (!board) throw std::runtime_error(error);
    backend = std::make_unique<hw::DirectBackend>(*board);
    ports = std::make_unique<hw::PortAccess>(*backend, host);
  }
};

void ReportAccesses(benchmark::State& state, const Machine& m, uint64_t before) {
  state.counters["port_accesses"] =
      benchmark::Counter(static_cast<double>(m.board->PortAccessCount() - before) /
                         static_cast<double>(state.iterations()));
}

void BM_Identify(benchmark::State& state) {
  Machine m(kBoards[state.range(0)]);
  state.SetLabel(kBoards[state.range(0)]);
  const uint64_t before = m.board->PortAccessCount();
  for (auto _ : state) {
    // A fresh layer each time: the VIA probe sets the register block base.
    hw::PortAccess ports(*m.backend, m.host);
    benchmark::DoNotOptimize(core::IdentifyBoard(ports));
    benchmark::DoNotOptimize(core::DetectMonitorChip(ports));
  }
  ReportAccesses(state, m, before);
}
BENCHMARK(BM_Identify)->DenseRange(0, 4);

void BM_AcquireAndBeep(benchmark::State& state) {
  Machine m(kBoards[state.range(0)]);
  state.SetLabel(kBoards[state.range(0)]);
  core::MonitorState s;
  core::SetUpMonitor(s, *m.ports);
  const uint64_t before = m.board->PortAccessCount();
  for (auto _ : state) {
    core::AcquireReadings(s, *m.ports);
    core::ProgramBeepControl(s, *m.ports);
  }
  ReportAccesses(state, m, before);
}
BENCHMARK(BM_AcquireAndBeep)->DenseRange(0, 4);

void BM_FullTick(benchmark::State& state) {
  Machine m(kBoards[state.range(0)]);
  state.SetLabel(kBoards[state.range(0)]);
  core::MonitorState s;
  core::MemoryRegistry registry;
  core::CMainFrame frame(s, *m.ports, registry, m.host, core::UninstallPaths{});
  if (frame.OnCreate() != 0) {
    state.SkipWithError("creation failed");
    return;
  }
  const uint64_t before = m.board->PortAccessCount();
  for (auto _ : state)
    frame.OnTimer();
  ReportAccesses(state, m, before);
}
BENCHMARK(BM_FullTick)->DenseRange(0, 4);

void BM_SettingsSaveAndLoad(benchmark::State& state) {
  Machine m("w83782d");
  const auto path = std::filesystem::temp_directory_path() / "velmo-bench-settings.reg";
  std::filesystem::remove(path);
  core::RegistryFile registry(path.string());
  core::MonitorState s;
  s.hmType = core::DetectMonitorChip(*m.ports);
  s.mbModel = 9;
  core::LoadChipSettings(s, *m.ports, registry);
  for (auto _ : state) {
    core::SaveSettings(s, registry);
    benchmark::DoNotOptimize(core::LoadSettings(s, registry));
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_SettingsSaveAndLoad)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
