// Running on the kernel's sensors where no chip answers: when the frame does so, the channel
// table it starts from, what a tick makes of readings and of missing ones, and what it never
// does to the machine.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "monitor/base/LittleEndian.h"
#include "monitor/core/Acquisition.h"
#include "monitor/core/ExtensionSettings.h"
#include "monitor/core/KernelSensorProfile.h"
#include "monitor/core/Monitor.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/PageSlots.h"
#include "monitor/core/SettingsStore.h"
#include "monitor/core/boards/BoardCodes.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/RecordingBus.h"
#include "tests/support/RecordingFrameHost.h"

namespace velmo::core {
namespace {

using Channel = KernelSensorSource::Channel;

class FakeSource : public KernelSensorSource {
 public:
  Channels channels{};
  Values values{};
  bool hasSensors = true;
  int starts = 0;
  Choices choices{};

  bool Start(const Choices& c) override {
    ++starts;
    choices = c;
    return hasSensors;
  }
  const Channels& Mapped() const override { return channels; }
  Values Read() override { return values; }
};

class NoLauncher : public CommandLauncher {
 public:
  base::Expected<void> Launch(const std::vector<std::string>&) override { return {}; }
};

// A desktop of today: a Super-I/O's fans, rails and system sensor, the CPU's own sensor.
FakeSource Desktop() {
  FakeSource s;
  s.channels[CPUFAN] = Channel{"nct6798-isa-0290", "fan2", 1150, 300, std::nullopt};
  s.channels[VCORE] = Channel{"nct6798-isa-0290", "in0", 1024, 800, 1500};
  s.channels[V5] = Channel{"nct6798-isa-0290", "+5V", 5040, std::nullopt, std::nullopt};
  s.channels[SYSTEMP] = Channel{"nct6798-isa-0290", "SYSTIN", 34, std::nullopt, std::nullopt};
  s.channels[CPUTEMP] = Channel{"k10temp-pci-00c3", "Tctl", 45, std::nullopt, 80};
  s.values[CPUFAN] = 1150;
  s.values[VCORE] = 1024;
  s.values[V5] = 5040;
  s.values[SYSTEMP] = 34;
  s.values[CPUTEMP] = 45;
  return s;
}

RegistryValue Dword(const std::string& name, uint32_t value) {
  RegistryValue v{name, REG_DWORD, std::vector<uint8_t>(4)};
  base::StoreLe32(v.data.data(), value);
  return v;
}

RegistryValue Text(const std::string& name, const std::string& text) {
  RegistryValue v{name, REG_SZ, {}};
  for (char c : text) {
    v.data.push_back(static_cast<uint8_t>(c));
    v.data.push_back(0);
  }
  v.data.push_back(0);
  v.data.push_back(0);
  return v;
}

// A modern PC as the ports see it: no BIOS text of the maker, no chip answering.
struct Rig {
  test::RecordingBus bus;
  test::RecordingFrameHost host;
  hw::DirectBackend backend{bus};
  hw::PortAccess ports{backend, host};
  MemoryRegistry registry;
  NoLauncher launcher;
  FakeSource source = Desktop();
  std::unique_ptr<Monitor> monitor;

  void Make() {
    monitor = std::make_unique<Monitor>(ports, registry, host,
                                        UninstallPaths{std::nullopt, "/nonexistent/velmond", ""},
                                        launcher, &source);
  }
  int Create() {
    if (!monitor) Make();
    return monitor->Frame().OnCreate();
  }
  MonitorState& State() { return monitor->State(); }
  bool Asked() const {
    for (const std::string& line : host.log)
      if (line.rfind("question:System monitor IC can not be found", 0) == 0) return true;
    return false;
  }
};

TEST(KernelSensors, ProfileTakesSaneKernelLimitsAndDefaultsOtherwise) {
  struct Row {
    const char* what;
    int item;
    Channel channel;
    int32_t upper, lower;  // the range the channel starts from
  };
  const Row rows[] = {
      {"rail with limits around its reading", VCORE, {"c", "in0", 1024, 800, 1500}, 1500, 800},
      {"rail limits nobody programmed", V12, {"c", "in4", 12000, 0, 0}, 13200, 10800},
      {"rail limits the reading is outside", V5, {"c", "in1", 5040, 0, 2040}, 5500, 4500},
      {"rail without limits", VB, {"c", "in8", 3216, std::nullopt, std::nullopt}, 3500, 2500},
      {"temperature max", CPUTEMP, {"c", "Tctl", 45, std::nullopt, 80}, 80, 75},
      {"temperature placeholder", SYSTEMP, {"c", "SYSTIN", 34, std::nullopt, 127}, 70, 65},
      {"temperature already above", RESTEMP, {"c", "edge", 90, std::nullopt, 60}, 85, 80},
      {"fan minimum", CPUFAN, {"c", "fan1", 1150, 300, std::nullopt}, 0, 300},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    KernelSensorSource::Channels channels{};
    channels[static_cast<size_t>(row.item)] = row.channel;
    const SensorReadings table = KernelSensorProfile(channels);
    const ChannelRecord& r = table[static_cast<size_t>(row.item)];
    EXPECT_EQ(r.present, 1);
    EXPECT_EQ(r.alarm.upper, row.upper);
    EXPECT_EQ(r.alarm.lower, row.lower);
    // The Default button restores where it started, and the dialog reaches it.
    EXPECT_EQ(r.alarm.defaultUpper, row.upper);
    EXPECT_EQ(r.alarm.defaultLower, row.lower);
    if (!IsFan(row.item)) {
      EXPECT_GE(r.alarm.adjustMax, r.alarm.upper);
      EXPECT_LE(r.alarm.adjustMin, r.alarm.lower);
    }
    for (int other = 0; other < kChannelCount; ++other)
      if (other != row.item) {
        EXPECT_EQ(table[static_cast<size_t>(other)].present, 0) << other;
      }
  }
}

TEST(KernelSensors, WhereNoChipAnswersTheFrameRunsOnThem) {
  Rig rig;
  ASSERT_EQ(rig.Create(), 0);
  EXPECT_FALSE(rig.Asked());
  EXPECT_EQ(rig.source.starts, 1);
  MonitorState& s = rig.State();
  EXPECT_EQ(s.hmType, kHmKernelSensors);
  EXPECT_EQ(s.mbModel, kModelGeneric);
  for (int item = 0; item < kChannelCount; ++item)
    EXPECT_EQ(s[item].present, rig.source.channels[static_cast<size_t>(item)] ? 1 : 0) << item;
  EXPECT_EQ(s[CPUTEMP].value, 45);
  EXPECT_EQ(s[CPUTEMP].alarm.upper, 80);
  EXPECT_EQ(rig.monitor->Frame().Slots().cpu.temp, 45);
  EXPECT_EQ(rig.monitor->Frame().StatusText(), "");
  rig.monitor->Frame().OnTimer();
  // No chassis fan mapped: the status says what it says for a chip without one.
  EXPECT_EQ(rig.monitor->Frame().StatusText(),
            "CPU Temp:45C/113F, SYS Temp:34C/93F, CPU FAN:ON, SYS FAN:OFF");
}

TEST(KernelSensors, TheRemovalQuestionStaysWhereTheyCannotStandIn) {
  struct Row {
    const char* what;
    bool hasSensors;
    uint32_t kernelSensors;  // the Extensions value; 1 is also its default
    bool startsSource;
  };
  const Row rows[] = {
      {"the kernel has no sensors", false, 1, true},
      {"KernelSensors is 0", true, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Rig rig;
    rig.source.hasSensors = row.hasSensors;
    rig.registry.WriteValue(ExtensionsKeyPath(), Dword("KernelSensors", row.kernelSensors));
    EXPECT_EQ(rig.Create(), -1);
    EXPECT_TRUE(rig.Asked());
    EXPECT_EQ(rig.source.starts, row.startsSource ? 1 : 0);
    EXPECT_EQ(rig.State().hmType, kHmNone);
  }
}

TEST(KernelSensors, AChipThatAnswersKeepsThemOut) {
  Rig rig;
  std::string error;
  const auto board = sim::SimulatedBoard::Parse(R"({"bios_id": "7K4XRQB8", "chip": "w83782d"})",
                                                "w83782d.json", &error);
  ASSERT_TRUE(board) << error;
  hw::DirectBackend backend(*board);
  hw::PortAccess ports(backend, rig.host);
  Monitor monitor(ports, rig.registry, rig.host,
                  UninstallPaths{std::nullopt, "/nonexistent/velmond", ""}, rig.launcher,
                  &rig.source);
  ASSERT_EQ(monitor.Frame().OnCreate(), 0);
  EXPECT_EQ(monitor.State().hmType, kHmW83782d);
  EXPECT_EQ(rig.source.starts, 0);
}

TEST(KernelSensors, AMissingReadingIsNoValueUntilItComesBack) {
  Rig rig;
  ASSERT_EQ(rig.Create(), 0);
  CMainFrame& frame = rig.monitor->Frame();
  MonitorState& s = rig.State();

  // The CPU's sensor too hot: the alarm as on any board.
  rig.source.values[CPUTEMP] = 90;
  frame.OnTimer();
  EXPECT_EQ(s[CPUTEMP].outOfRange, 1);
  EXPECT_EQ(frame.CurrentAlarmChannel(), CPUTEMP);

  // Its chip gone: no value, no alarm from a reading nobody took, dashes on the page.
  rig.source.values[CPUTEMP].reset();
  rig.source.values[SYSTEMP].reset();
  frame.OnTimer();
  EXPECT_TRUE(s.noValue[CPUTEMP]);
  EXPECT_FALSE(s.HasValue(CPUTEMP));
  EXPECT_EQ(s[CPUTEMP].present, 1);
  EXPECT_EQ(s[CPUTEMP].value, 0);
  EXPECT_EQ(s[CPUTEMP].outOfRange, 0);
  EXPECT_EQ(frame.Slots().cpu.temp, kNoValue);
  EXPECT_EQ(frame.Slots().system.temp, kNoValue);
  EXPECT_EQ(frame.Slots().cpu.vcore, 1024);
  EXPECT_EQ(frame.StatusText(), "CPU Temp:--, SYS Temp:--, CPU FAN:ON, SYS FAN:OFF");
  EXPECT_EQ(frame.Tray().tooltip, frame.StatusText());

  // Back: fresh values.
  rig.source.values[CPUTEMP] = 50;
  rig.source.values[SYSTEMP] = 35;
  frame.OnTimer();
  EXPECT_FALSE(s.noValue[CPUTEMP]);
  EXPECT_EQ(frame.Slots().cpu.temp, 50);
  EXPECT_EQ(frame.Slots().system.temp, 35);
}

TEST(KernelSensors, NothingIsWrittenToTheMachine) {
  Rig rig;
  ASSERT_EQ(rig.Create(), 0);
  const size_t afterCreation = rig.bus.trace.size();
  rig.source.values[CPUTEMP] = 99;  // alarm: no beep bit, no trip limit
  rig.monitor->Frame().OnTimer();
  rig.monitor->Frame().OnAlarmAction(kActionRestart);
  rig.monitor->Frame().ProcessPostedMessages();
  EXPECT_EQ(rig.bus.trace.size(), afterCreation);
  bool requested = false;
  for (const std::string& line : rig.host.log)
    if (line == "power:reboot") requested = true;
  EXPECT_TRUE(requested);
}

TEST(KernelSensors, StoredRangesComeBackAndAMakerBoardStartsAfresh) {
  MemoryRegistry registry;
  {
    Rig rig;
    rig.registry.model = registry.model;
    rig.registry.WriteValue(ExtensionsKeyPath(), Text("Sensor_CPUTEMP", "k10temp-* Tccd1"));
    ASSERT_EQ(rig.Create(), 0);
    // The user's choice reaches the source.
    EXPECT_EQ(rig.source.choices[CPUTEMP], "k10temp-* Tccd1");
    rig.State()[CPUTEMP].alarm.upper = 77;
    ASSERT_TRUE(SaveSettings(rig.State(), rig.registry));
    registry.model = rig.registry.model;
  }
  {
    // The next start: the stored range, and the channels the sensors give now.
    Rig rig;
    rig.registry.model = registry.model;
    rig.source.channels[V5].reset();
    rig.source.channels[VB] = Channel{"nct6798-isa-0290", "in8", 3216, {}, {}};
    ASSERT_EQ(rig.Create(), 0);
    EXPECT_EQ(rig.State()[CPUTEMP].alarm.upper, 77);
    EXPECT_EQ(rig.State()[V5].present, 0);
    EXPECT_EQ(rig.State()[VB].present, 1);
  }
  {
    // On a board whose chip answers, the kernel's settings are another chip's.
    MonitorState state;
    state.hmType = kHmW83782d;
    state.mbModel = kModelPlain;
    MemoryRegistry copy;
    copy.model = registry.model;
    EXPECT_EQ(LoadSettings(state, copy), SettingsLoad::kOtherChip);
  }
}

}  // namespace
}  // namespace velmo::core
