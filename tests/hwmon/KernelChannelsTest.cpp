// The channels read tick by tick from the kernel's sensors: rescans when the machine changes (a
// chip gone and back, a failed read, a resume, renumbered devices, the minute limit), the bound on
// a read that blocks, and the same through libsensors on a tree changed between ticks.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "HwmonFixture.h"
#include "ScriptedFeatureSource.h"
#include "monitor/core/ChannelTable.h"
#include "monitor/hwmon/KernelChannels.h"
#include "monitor/hwmon/SensorsLibrary.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;
using hwmon::FeatureKind;
using hwmon::KernelChannels;
using hwmon::SensorFeature;

constexpr const char* kSuperIo = "nct6798-isa-0290";
constexpr const char* kCpu = "k10temp-pci-00c3";

std::vector<SensorFeature> Desktop() {
  return {
      FeatureOfChip(kSuperIo, "fan2", "fan2", FeatureKind::kFan, 1150),
      FeatureOfChip(kSuperIo, "in0", "Vcore", FeatureKind::kVoltage, 1.024),
      FeatureOfChip(kSuperIo, "temp1", "SYSTIN", FeatureKind::kTemperature, 34),
      FeatureOfChip(kCpu, "temp1", "Tctl", FeatureKind::kTemperature, 45.25),
  };
}

// The values of a tick as "CHANNEL=value" words; "-" for none.
std::string Values(const std::array<std::optional<int32_t>, hwmon::kMappedChannels>& v) {
  std::string text;
  for (int c = 0; c < hwmon::kMappedChannels; ++c) {
    // The four the desktop maps, and any other that has a value.
    if (c != core::CPUFAN && c != core::VCORE && c != core::SYSTEMP && c != core::CPUTEMP && !v[c])
      continue;
    if (!text.empty()) text += ' ';
    text += std::string(hwmon::MappedChannelName(c)) + "=" + (v[c] ? std::to_string(*v[c]) : "-");
  }
  return text;
}

struct Rig {
  FakeClock clock;
  ScriptedFeatureSource source{clock};
  std::vector<std::string> warnings;
  std::unique_ptr<KernelChannels> channels;
  explicit Rig(hwmon::UserMapping user = {}) {
    source.machine = Desktop();
    source.devices = {"hwmon0", "hwmon1"};
    channels = std::make_unique<KernelChannels>(
        source, user, clock, [this](const std::string& w) { warnings.push_back(w); });
    // Generous: a loaded machine must not turn a quick rescan into a missed tick. The tests of
    // the bound set their own.
    channels->SetTickBound(2000);
  }
  void Remove(const std::string& chip, const std::string& device) {
    auto lock = source.Lock();
    std::erase_if(source.machine, [&](const SensorFeature& f) { return f.chip == chip; });
    std::erase(source.devices, device);
  }
  void Restore(const std::string& chip, const std::string& device) {
    auto lock = source.Lock();
    for (const SensorFeature& f : Desktop()) {
      if (f.chip == chip) source.machine.push_back(f);
    }
    if (std::find(source.devices.begin(), source.devices.end(), device) == source.devices.end())
      source.devices.push_back(device);
    std::sort(source.devices.begin(), source.devices.end());
  }
};

constexpr const char* kAll = "CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=45";
constexpr const char* kNoSuperIo = "CPUFAN=- VCORE=- SYSTEMP=- CPUTEMP=45";
constexpr const char* kNoCpu = "CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=-";

TEST(KernelChannels, ChangesOnTheMachineBetweenTicks) {
  struct Step {
    std::function<void(Rig&)> change;
    const char* values;  // of the tick after the change
    int rescans;         // made so far
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
  };
  auto nothing = [](Rig&) {};
  auto later = [](int64_t ms) { return [ms](Rig& r) { r.clock.monotonic += ms; }; };
  const Row rows[] = {
      {"a chip removed and restored",
       {{[](Rig& r) { r.Remove(kSuperIo, "hwmon0"); }, kNoSuperIo, 1},
        {later(59000), kNoSuperIo, 1},  // missing, but not a minute yet
        {[](Rig& r) { r.Restore(kSuperIo, "hwmon2"); }, kAll, 2},
        {later(120000), kAll, 2}}},  // nothing missing: no rescan however long
      {"a chip gone without its device entry changing: the failed read asks for the rescan",
       {{[](Rig& r) { r.Remove(kCpu, "none"); }, kNoCpu, 0},
        {nothing, kNoCpu, 1},
        {later(30000), kNoCpu, 1},
        {later(30000), kNoCpu, 2},  // once a minute while missing
        {nothing, kNoCpu, 2},
        {[](Rig& r) { r.Restore(kCpu, "hwmon1"); }, kNoCpu, 2},
        {later(60000), kAll, 3}}},
      {"a read that keeps failing: one rescan at once, then once a minute",
       {{[](Rig& r) { r.source.failing = {std::string(kCpu) + "/temp1"}; }, kNoCpu, 0},
        {nothing, kNoCpu, 1},
        {nothing, kNoCpu, 1},
        {later(60000), kNoCpu, 2},
        {[](Rig& r) { r.source.failing.clear(); }, kAll, 2},
        {[](Rig& r) { r.source.failing = {std::string(kSuperIo) + "/in0"}; },
         "CPUFAN=1150 VCORE=- SYSTEMP=34 CPUTEMP=45", 2},
        {nothing, "CPUFAN=1150 VCORE=- SYSTEMP=34 CPUTEMP=45", 3}}},
      {"a resume rescans; a few milliseconds more of suspended time do not",
       {{[](Rig& r) { r.clock.suspended += 10; }, kAll, 0},
        {[](Rig& r) { r.clock.suspended += 5000; }, kAll, 1},
        {nothing, kAll, 1}}},
      {"renumbered devices: one rescan, the same channels",
       {{[](Rig& r) {
           r.source.devices = {"hwmon3", "hwmon4"};
         },
         kAll, 1},
        {nothing, kAll, 1}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    ASSERT_TRUE(rig.channels->Start());
    const auto channels = rig.channels->Channels();
    EXPECT_EQ(Values(rig.channels->Read()), kAll);
    int step = 0;
    for (const Step& s : row.steps) {
      SCOPED_TRACE("step " + std::to_string(++step));
      s.change(rig);
      EXPECT_EQ(Values(rig.channels->Read()), s.values);
      EXPECT_EQ(rig.channels->Rescans(), s.rescans);
    }
    EXPECT_EQ(rig.channels->Channels(), channels);  // fixed at Start
    EXPECT_TRUE(rig.warnings.empty());
  }
}

TEST(KernelChannels, ATickReadsOnlyTheMappedInputs) {
  Rig rig;
  rig.source.machine.push_back(
      FeatureOfChip("nvme-pci-0100", "temp1", "Composite", FeatureKind::kTemperature, 40));
  ASSERT_TRUE(rig.channels->Start());
  rig.source.reads = 0;
  rig.source.featureCalls = 0;
  for (int i = 0; i < 3; ++i)
    rig.channels->Read();
  EXPECT_EQ(rig.source.reads, 3 * 4);
  EXPECT_EQ(rig.source.featureCalls, 0);
  EXPECT_EQ(rig.channels->Features().size(), 5u);
  const auto& cpu = rig.channels->Channels()[core::CPUTEMP];
  ASSERT_TRUE(cpu);
  EXPECT_EQ(cpu->chip, kCpu);
  EXPECT_EQ(cpu->prefix, "k10temp");
  EXPECT_EQ(cpu->label, "Tctl");
}

TEST(KernelChannels, StartTellsSlowChipsFromTheirListing) {
  {
    Rig rig;
    ASSERT_TRUE(rig.channels->Start());
    EXPECT_EQ(rig.source.reads, 0);  // all was quick: no chip is read again to time it
    EXPECT_FALSE(rig.channels->ReadInBackground(kSuperIo));
    EXPECT_FALSE(rig.channels->ReadInBackground(kCpu));
  }
  {
    Rig rig;
    rig.source.slow[kSuperIo] = 40;
    ASSERT_TRUE(rig.channels->Start());
    EXPECT_TRUE(rig.channels->ReadInBackground(kSuperIo));
    EXPECT_FALSE(rig.channels->ReadInBackground(kCpu));
    EXPECT_EQ(Values(rig.channels->Read()), kAll);
  }
}

TEST(KernelChannels, UserChoicesAndTheirWarnings) {
  hwmon::UserMapping user{};
  user[core::CPUTEMP] = hwmon::UserChoice{"it87-*", "temp1"};
  user[core::SYSTEMP] = hwmon::UserChoice{"k10temp-*", "tctl"};
  user[core::CPUFAN] = hwmon::UserChoice{"", "", true};
  Rig rig(user);
  ASSERT_TRUE(rig.channels->Start());
  EXPECT_EQ(Values(rig.channels->Read()), "CPUFAN=- CHAFAN=1150 VCORE=1024 SYSTEMP=45 CPUTEMP=-");
  EXPECT_EQ(rig.warnings,
            std::vector<std::string>{
                "Sensor_CPUTEMP: \"it87-* temp1\" matches no sensor; the channel is absent"});
}

TEST(KernelChannels, NoSensorsNoStart) {
  Rig rig;
  rig.source.machine.clear();
  EXPECT_FALSE(rig.channels->Start());
  EXPECT_EQ(Values(rig.channels->Read()), "CPUFAN=- VCORE=- SYSTEMP=- CPUTEMP=-");
}

// Ticks (a few milliseconds apart) until they read `wanted`, at most a second's worth: the
// reader thread ends a released read in its own time. Returns the last values read.
std::string ReadUntil(KernelChannels& channels, const std::string& wanted) {
  std::string values;
  for (int i = 0; i < 200 && values != wanted; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    values = Values(channels.Read());
  }
  return values;
}

TEST(KernelChannels, ABlockedReadDoesNotHoldTheTick) {
  Rig rig;
  rig.channels->SetTickBound(200);
  ASSERT_TRUE(rig.channels->Start());
  // Slow reads: found so in the tick that reads them, read by the reader thread afterwards.
  rig.source.slow[kSuperIo] = 40;
  EXPECT_EQ(Values(rig.channels->Read()), kAll);
  EXPECT_TRUE(rig.channels->ReadInBackground(kSuperIo));
  EXPECT_FALSE(rig.channels->ReadInBackground(kCpu));
  EXPECT_EQ(Values(rig.channels->Read()), kAll);

  rig.source.Block(kSuperIo);
  for (int i = 0; i < 3; ++i) {
    // Returns (within the bound) while the reader thread waits in the read.
    EXPECT_EQ(Values(rig.channels->Read()), kNoSuperIo);
    EXPECT_TRUE(rig.source.Waiting());
  }
  // A rescan asked for meanwhile waits for the read to end; the tick does not.
  {
    auto lock = rig.source.Lock();
    rig.source.failing = {std::string(kCpu) + "/temp1"};
  }
  EXPECT_EQ(Values(rig.channels->Read()), "CPUFAN=- VCORE=- SYSTEMP=- CPUTEMP=-");
  EXPECT_EQ(Values(rig.channels->Read()), "CPUFAN=- VCORE=- SYSTEMP=- CPUTEMP=-");
  EXPECT_EQ(rig.channels->Rescans(), 1);
  {
    auto lock = rig.source.Lock();
    rig.source.failing.clear();
    EXPECT_EQ(rig.source.rescans, 0);
  }

  rig.source.Release();
  EXPECT_EQ(ReadUntil(*rig.channels, kAll), kAll);
  {
    auto lock = rig.source.Lock();
    EXPECT_EQ(rig.source.rescans, 1);
  }

  // Quick again for a while: read in the tick's thread again.
  {
    auto lock = rig.source.Lock();
    rig.source.slow.clear();
  }
  int ticks = 0;
  for (; ticks < 200 && rig.channels->ReadInBackground(kSuperIo); ++ticks)
    rig.channels->Read();
  EXPECT_GE(ticks, KernelChannels::kQuickTicks);
  EXPECT_FALSE(rig.channels->ReadInBackground(kSuperIo));
  EXPECT_EQ(Values(rig.channels->Read()), kAll);
}

TEST(KernelChannels, AChipThatComesBackIsFirstReadOffTheTick) {
  Rig rig;
  rig.channels->SetTickBound(200);
  ASSERT_TRUE(rig.channels->Start());
  EXPECT_FALSE(rig.channels->ReadInBackground(kSuperIo));
  rig.Remove(kSuperIo, "hwmon0");
  EXPECT_EQ(Values(rig.channels->Read()), kNoSuperIo);
  // Back, but its first read blocks (a driver still waking after a resume).
  rig.source.Block(kSuperIo);
  rig.Restore(kSuperIo, "hwmon0");
  EXPECT_EQ(Values(rig.channels->Read()), kNoSuperIo);
  EXPECT_TRUE(rig.source.Waiting());
  EXPECT_EQ(rig.channels->Rescans(), 2);
  rig.source.Release();
  EXPECT_EQ(ReadUntil(*rig.channels, kAll), kAll);
}

// The tree of a desktop, changed between ticks from inside the mount namespace.
class DesktopTree {
 public:
  DesktopTree() {
    tree_.Add("nct6798", "platform/nct6775.656", "platform",
              {{"in0_input", "1024"},
               {"fan2_input", "1150"},
               {"temp1_input", "34000"},
               {"temp1_label", "SYSTIN"}});
    tree_.Add("k10temp", "pci0000:00/0000:00:18.3", "pci",
              {{"temp1_input", "45250"}, {"temp1_label", "Tctl"}});
  }
  const fs::path& Root() const { return tree_.Root(); }
  fs::path Sys() const { return tree_.Root() / "sys"; }
  // Moves hwmon<from> of the device to hwmon<to> (to < 0: away, kept aside).
  void Move(const std::string& device, int from, int to) const {
    const fs::path hwmon = Sys() / "devices" / device / "hwmon";
    const fs::path aside = Root() / ("aside" + std::to_string(from));
    fs::remove(Sys() / "class/hwmon" / ("hwmon" + std::to_string(from)));
    const fs::path source = fs::exists(aside) ? aside : hwmon / ("hwmon" + std::to_string(from));
    if (to < 0) {
      fs::rename(source, aside);
      return;
    }
    const fs::path target = hwmon / ("hwmon" + std::to_string(to));
    fs::rename(source, target);
    fs::create_symlink(fs::relative(target, Sys() / "class/hwmon"),
                       Sys() / "class/hwmon" / ("hwmon" + std::to_string(to)));
  }

 private:
  HwmonFixture tree_;
};

TEST(KernelChannels, ThroughLibsensorsAChipGoesAndComesBackRenumbered) {
  DesktopTree tree;
  const fs::path sensorsD = tree.Root() / "sensors.d";
  fs::create_directories(sensorsD);
  const std::string cpu = "pci0000:00/0000:00:18.3";
  const std::string superIo = "platform/nct6775.656";
  const std::string run = RunFunctionInTree(
      tree.Root(),
      [&] {
        hwmon::SensorsLibrary library([](const std::string&) {});
        hwmon::LibsensorsFeatureSource source(library);
        FakeClock clock;
        KernelChannels channels(source, {}, clock, {});
        channels.SetTickBound(2000);
        if (!channels.Start()) return std::string("no start");
        std::string text;
        auto tick = [&](const char* what) {
          const std::string values = Values(channels.Read());
          text += std::string(what) + ": " + values +
                  " rescans=" + std::to_string(channels.Rescans()) + "\n";
        };
        tick("start");
        tree.Move(cpu, 1, -1);
        tick("cpu gone");
        tick("still gone");
        tree.Move(cpu, 1, 7);
        tick("cpu back as hwmon7");
        std::ofstream(tree.Sys() / "devices" / cpu / "hwmon/hwmon7/temp1_input") << "50000\n";
        tick("new value");
        tree.Move(superIo, 0, 9);
        tick("super-i/o renumbered");
        std::ofstream(tree.Sys() / "devices" / superIo / "hwmon/hwmon9/fan2_input") << "900\n";
        tick("new value");
        const auto& c = channels.Channels();
        for (int i : {core::CPUFAN, core::VCORE, core::SYSTEMP, core::CPUTEMP})
          text += c[i] ? c[i]->chip + "/" + c[i]->feature + " " : std::string("- ");
        return text;
      },
      {{sensorsD, "/etc/sensors.d"}});
  EXPECT_EQ(run,
            "start: CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=45 rescans=0\n"
            "cpu gone: CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=- rescans=1\n"
            "still gone: CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=- rescans=1\n"
            "cpu back as hwmon7: CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=45 rescans=2\n"
            "new value: CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=50 rescans=2\n"
            "super-i/o renumbered: CPUFAN=1150 VCORE=1024 SYSTEMP=34 CPUTEMP=50 rescans=3\n"
            "new value: CPUFAN=900 VCORE=1024 SYSTEMP=34 CPUTEMP=50 rescans=3\n"
            "nct6798-isa-0290/fan2 nct6798-isa-0290/in0 nct6798-isa-0290/temp1 "
            "k10temp-pci-00c3/temp1 ");
}

}  // namespace
}  // namespace velmo::test
