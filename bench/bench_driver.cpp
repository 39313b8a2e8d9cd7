// What a port access costs through the portio helper compared with a direct access, on a
// simulated board. The helper is the real program, started on a temporary device directory.
//
// Where the time goes (see the Driver* benchmarks below): a single access is a conversation of
// three request/reply round trips on the kept connection, each a send, a wake-up of the helper's
// poll loop, its reply and a wake-up of the client. A tick sends its acquisition and its beep
// programming as one batch request each, whatever the number of accesses. It waits for the
// acquisition's reply only; the beep programming's is taken before the next request. Ticks run
// back to back here, so the helper is still serving the beep bits when the next acquisition
// comes: on a machine whose other core is busy the two requests share one, and the floor of
// the tick's ratio to the direct tick stays near two BM_DriverOneRoundTrip against a direct tick
// of a few microseconds of simulated chip work. Between real ticks (seconds apart) the beep
// reply is long there when it is taken.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "monitor/core/Acquisition.h"
#include "monitor/core/Identification.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/DriverBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"

extern char** environ;

namespace {

using namespace velmo;

constexpr const char* kBoard = R"({"bios_id": "7K4XRQB8", "chip": "w83782d",
  "registers": {"0x20": 112, "0x28": 135, "0x29": 140, "1:0x50": 45}})";

class QuietHost : public hw::HwHost {
 public:
  int messages = 0;
  void ShowMessage(const std::string&, const std::string&) override { ++messages; }
  void EndProgram(int) override { ++messages; }
};

// The portio program serving the board on a temporary device directory for the whole run.
class Helper {
 public:
  static Helper& Get() {
    static Helper helper;
    return helper;
  }
  bool Ready() const { return ready_; }
  const std::string& BoardFile() const { return board_; }

  ~Helper() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  Helper() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmo-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return;
    dir_ = pattern;
    board_ = dir_ + "/board.json";
    FILE* f = std::fopen(board_.c_str(), "w");
    if (!f) return;
    std::fputs(kBoard, f);
    std::fclose(f);
    ::setenv("VELMO_DEVICE_DIR", dir_.c_str(), 1);
    std::string program = std::string(VELMO_BINARY_DIR) + "/drivers/portio/portio";
    std::string option = "--board";
    char* argv[] = {program.data(), option.data(), board_.data(), nullptr};
    const std::string log = dir_ + "/portio.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      return;
    }
    for (int i = 0; i < 500 && !ready_; ++i) {
      ready_ = hw::DeviceConnection::Open(protocol::kPortIoDevice).has_value();
      if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::string dir_, board_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

std::unique_ptr<sim::SimulatedBoard> LoadBoard() {
  std::string error;
  return sim::SimulatedBoard::Parse(kBoard, "bench board", &error);
}

bool NeedHelper(benchmark::State& state) {
  if (Helper::Get().Ready()) return true;
  state.SkipWithError("the portio program could not be started (is it built?)");
  return false;
}

void BM_DirectPortRead(benchmark::State& state) {
  auto board = LoadBoard();
  QuietHost host;
  hw::DirectBackend direct(*board);
  for (auto _ : state)
    benchmark::DoNotOptimize(direct.ReadPort(0x296, 1).value);
}
BENCHMARK(BM_DirectPortRead);

// One single access: OPEN, READ, CLOSE on the kept connection.
void BM_DriverPortRead(benchmark::State& state) {
  if (!NeedHelper(state)) return;
  QuietHost host;
  hw::DriverBackend driver;
  for (auto _ : state)
    benchmark::DoNotOptimize(driver.ReadPort(0x296, 1).value);
  if (host.messages) state.SkipWithError("the helper refused a request");
}
BENCHMARK(BM_DriverPortRead)->UseRealTime();

// Its parts: connecting and closing alone, and one request/reply on an open connection.
void BM_DriverConnectOnly(benchmark::State& state) {
  if (!NeedHelper(state)) return;
  for (auto _ : state)
    benchmark::DoNotOptimize(hw::DeviceConnection::Open(protocol::kPortIoDevice));
}
BENCHMARK(BM_DriverConnectOnly)->UseRealTime();

void BM_DriverOneRoundTrip(benchmark::State& state) {
  if (!NeedHelper(state)) return;
  auto device = hw::DeviceConnection::Open(protocol::kPortIoDevice);
  const uint32_t open[] = {0x296, 1, 1};
  const auto opened = device->Transact(protocol::kIoctlPortIoOpen, 4, open);
  const uint32_t read[] = {opened->Word(0).value_or(0), 0};
  for (auto _ : state)
    benchmark::DoNotOptimize(device->Transact(protocol::kIoctlPortIoRead, 4, read));
  device->Transact(protocol::kIoctlPortIoClose, 0, std::span<const uint32_t>(read, 1));
}
BENCHMARK(BM_DriverOneRoundTrip)->UseRealTime();

// The same 50 chip-register reads in both modes; the driver run reports its ratio to the direct
// one, measured on the same board right before it.
constexpr int kRegisterReads = 50;

double ReadRegisters(hw::PortAccess& ports) {
  double sum = 0;
  for (int i = 0; i < kRegisterReads; ++i)
    sum += ports.ReadChipRegister(static_cast<uint8_t>(0x20 + i % 16));
  return sum;
}

void BM_ChipRegisters50_Direct(benchmark::State& state) {
  auto board = LoadBoard();
  QuietHost host;
  hw::DirectBackend direct(*board);
  hw::PortAccess ports(direct, host);
  for (auto _ : state)
    benchmark::DoNotOptimize(ReadRegisters(ports));
}
BENCHMARK(BM_ChipRegisters50_Direct);

// Runs `driverWork` as the benchmark body and `directWork` a fixed number of times beside it,
// and reports the direct time and the ratio of the two, both measured in this run.
template <typename Direct, typename Driver>
void CompareWithDirect(benchmark::State& state, Direct directWork, Driver driverWork) {
  constexpr int kDirectRuns = 2000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kDirectRuns; ++i)
    directWork();
  const double directNs =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
      kDirectRuns;
  const auto driverStart = std::chrono::steady_clock::now();
  int64_t runs = 0;
  for (auto _ : state) {
    driverWork();
    ++runs;
  }
  const double driverNs =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - driverStart)
          .count() /
      static_cast<double>(runs ? runs : 1);
  state.counters["direct_ns"] = directNs;
  state.counters["ratio_to_direct"] = driverNs / directNs;
}

void BM_ChipRegisters50_Driver(benchmark::State& state) {
  if (!NeedHelper(state)) return;
  auto board = LoadBoard();
  QuietHost host;
  hw::DirectBackend direct(*board);
  hw::PortAccess directPorts(direct, host);
  hw::DriverBackend driver;
  hw::PortAccess ports(driver, host);
  CompareWithDirect(
      state, [&] { benchmark::DoNotOptimize(ReadRegisters(directPorts)); },
      [&] { benchmark::DoNotOptimize(ReadRegisters(ports)); });
  state.counters["requests"] = kRegisterReads;  // index write and data read in one batch each
  if (host.messages) state.SkipWithError("the helper refused a request");
}
BENCHMARK(BM_ChipRegisters50_Driver)->UseRealTime();

// The hardware part of one monitoring tick (acquisition and beep bits; the rest of a tick is
// memory work, see bench_monitor) in driver mode, with the direct tick on the same board.
void BM_Tick_Driver(benchmark::State& state) {
  if (!NeedHelper(state)) return;
  auto board = LoadBoard();
  QuietHost host;
  hw::DirectBackend direct(*board);
  hw::PortAccess directPorts(direct, host);
  hw::DriverBackend driver;
  hw::PortAccess ports(driver, host);
  core::MonitorState directState, driverState;
  core::SetUpMonitor(directState, directPorts);
  // Only portio runs here: the board model is that of the board's text, read directly above.
  driverState.mbModel = directState.mbModel;
  driverState.hmType = core::DetectMonitorChip(ports);
  core::PrepareChannelTable(driverState, ports, nullptr);
  auto tick = [](core::MonitorState& s, hw::PortAccess& p) {
    core::AcquireReadings(s, p);
    core::ProgramBeepControl(s, p);
  };
  const uint64_t before = board->PortAccessCount();
  tick(directState, directPorts);
  state.counters["port_accesses"] = static_cast<double>(board->PortAccessCount() - before);
  CompareWithDirect(
      state, [&] { tick(directState, directPorts); }, [&] { tick(driverState, ports); });
  if (host.messages) state.SkipWithError("the helper refused a request");
}
BENCHMARK(BM_Tick_Driver)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
