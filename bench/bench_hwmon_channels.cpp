// What a tick on the kernel's sensors costs: KernelChannels::Read (the mapped inputs only) beside
// reading every feature with its limits (what a reader without the mapping would do each tick)
// and beside a rescan, on a desktop-sized tree (5 chips, 40 features) read through libsensors.
// The tree is bind-mounted over /sys/class and /sys/devices in a private mount namespace made at
// the start, so this needs root (or `unshare -r`); it measures nothing otherwise.
#include <benchmark/benchmark.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "monitor/hwmon/KernelChannels.h"
#include "monitor/hwmon/SensorFeatures.h"
#include "monitor/hwmon/SensorsLibrary.h"

namespace {

namespace fs = std::filesystem;
using namespace velmo;

fs::path gRoot;

void AddDevice(const std::string& name, const std::string& device, const std::string& subsystem,
               int index, const std::map<std::string, std::string>& attributes) {
  const fs::path dev = gRoot / "sys/devices" / device;
  const fs::path hw = dev / "hwmon" / ("hwmon" + std::to_string(index));
  fs::create_directories(hw);
  if (!subsystem.empty()) {
    fs::create_symlink("../..", hw / "device");
    fs::create_symlink("/sys/bus/" + subsystem, dev / "subsystem");
  }
  fs::create_symlink(fs::relative(hw, gRoot / "sys/class/hwmon"),
                     gRoot / "sys/class/hwmon" / ("hwmon" + std::to_string(index)));
  std::ofstream(hw / "name") << name << '\n';
  for (const auto& [file, value] : attributes)
    std::ofstream(hw / file) << value << '\n';
}

// A desktop: a Super-I/O with 15 voltages, 7 fans and 6 temperatures, the CPU's sensor, a
// graphics card, an NVMe drive and the ACPI zone.
void BuildDesktop() {
  std::map<std::string, std::string> superIo;
  for (int i = 0; i < 15; ++i) {
    const std::string in = "in" + std::to_string(i);
    superIo[in + "_input"] = std::to_string(1000 + 100 * i);
    superIo[in + "_min"] = "0";
    superIo[in + "_max"] = "4000";
  }
  for (int i = 1; i <= 7; ++i) {
    superIo["fan" + std::to_string(i) + "_input"] = i <= 3 ? std::to_string(900 + i) : "0";
    superIo["fan" + std::to_string(i) + "_min"] = "0";
  }
  const char* temps[] = {"SYSTIN", "CPUTIN", "AUXTIN0", "AUXTIN1", "AUXTIN2", "PECI Agent 0"};
  for (int i = 1; i <= 6; ++i) {
    superIo["temp" + std::to_string(i) + "_input"] = std::to_string(30000 + 1000 * i);
    superIo["temp" + std::to_string(i) + "_label"] = temps[i - 1];
    superIo["temp" + std::to_string(i) + "_max"] = "80000";
  }
  AddDevice("nct6798", "platform/nct6775.656", "platform", 0, superIo);
  AddDevice("k10temp", "pci0000:00/0000:00:18.3", "pci", 1,
            {{"temp1_input", "45250"},
             {"temp1_label", "Tctl"},
             {"temp3_input", "41000"},
             {"temp3_label", "Tccd1"},
             {"temp4_input", "42000"},
             {"temp4_label", "Tccd2"}});
  AddDevice("amdgpu", "pci0000:00/0000:00:03.1/0000:0a:00.0", "pci", 2,
            {{"temp1_input", "51000"},
             {"temp1_label", "edge"},
             {"temp2_input", "53000"},
             {"temp2_label", "junction"},
             {"temp3_input", "52000"},
             {"temp3_label", "mem"},
             {"in0_input", "800"},
             {"fan1_input", "0"}});
  AddDevice("nvme", "pci0000:00/0000:00:01.2/0000:01:00.0/nvme/nvme0", "", 3,
            {{"temp1_input", "40850"},
             {"temp1_label", "Composite"},
             {"temp2_input", "40850"},
             {"temp3_input", "45850"}});
  AddDevice("acpitz", "virtual/thermal/thermal_zone0", "", 4, {{"temp1_input", "27800"}});
}

bool EnterTree() {
  if (::unshare(CLONE_NEWNS) != 0) return false;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return ::mount((gRoot / "sys/class").c_str(), "/sys/class", nullptr, MS_BIND | MS_REC, nullptr) ==
             0 &&
         ::mount((gRoot / "sys/devices").c_str(), "/sys/devices", nullptr, MS_BIND | MS_REC,
                 nullptr) == 0;
}

struct Libsensors {
  hwmon::SensorsLibrary library{[](const std::string&) {}};
  hwmon::LibsensorsFeatureSource source{library};
};

void BM_Tick_KernelChannels(benchmark::State& state) {
  Libsensors l;
  hwmon::KernelChannels channels(l.source, {}, hwmon::KernelChannels::SystemClock(), {});
  if (!channels.Start()) state.SkipWithError("no sensors");
  int mapped = 0;
  for (const auto& c : channels.Channels())
    mapped += c.has_value();
  for (auto _ : state)
    benchmark::DoNotOptimize(channels.Read());
  state.counters["mapped"] = mapped;
  state.counters["rescans"] = channels.Rescans();
}
BENCHMARK(BM_Tick_KernelChannels)->Unit(benchmark::kMicrosecond);

void BM_Tick_EveryFeature(benchmark::State& state) {
  Libsensors l;
  size_t features = 0;
  for (auto _ : state)
    features = l.source.Features().size();
  state.counters["features"] = static_cast<double>(features);
}
BENCHMARK(BM_Tick_EveryFeature)->Unit(benchmark::kMicrosecond);

void BM_Rescan(benchmark::State& state) {
  Libsensors l;
  for (auto _ : state) {
    l.source.Rescan();
    benchmark::DoNotOptimize(l.source.Features());
  }
}
BENCHMARK(BM_Rescan)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/velmo-bench-hwmon-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  gRoot = pattern;
  fs::create_directories(gRoot / "sys/class/hwmon");
  BuildDesktop();
  const bool inTree = EnterTree();
  int status = 0;
  if (!inTree) {
    std::fprintf(stderr, "bench_hwmon_channels: cannot make the mount namespace (needs root)\n");
    status = 1;
  } else {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  std::error_code ec;
  fs::remove_all(gRoot, ec);
  return status;
}
