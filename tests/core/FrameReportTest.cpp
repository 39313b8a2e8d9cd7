// The report of a tick: what a board's readings make of the status, the tray, the alarm dialog,
// the alarm starts and the pages; and the extensions, which the frame runs once a tick.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/core/ExtensionRunner.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/RecordingFrameHost.h"

namespace velmo::core {
namespace {

// A w83782d board (chip code 2, model 1) with every reading in range.
const char* kBoard = R"({
  "bios_id": "7K4XRQB8", "chip": "w83782d",
  "registers": {"0x47": "0x5f", "0x4b": "0x5f", "0x28": 135, "0x29": 135, "0x2a": 135,
                "0x20": 112, "0x21": 112, "0x22": 206, "0x23": 187, "0x24": 198,
                "0x25": 20, "0x26": 20, "0x27": 40, "1:0x50": 45, "2:0x50": 38,
                "5:0x50": 187, "5:0x51": 190}
})";

const std::string kNormal = "CPU Temp:45C/113F, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:ON";
const std::string kCpuHot = "The CPU  Temperature has exceeded Normal Operating Tolerance.";
const std::string kV5High = "The 6.2 V Power-Line has exceeded Normal Operating Tolerance.";

struct Rig {
  std::unique_ptr<sim::SimulatedBoard> board;
  test::RecordingFrameHost host;
  std::unique_ptr<hw::DirectBackend> backend;
  std::unique_ptr<hw::PortAccess> ports;
  MemoryRegistry registry;
  MonitorState state;
  std::unique_ptr<CMainFrame> frame;

  Rig() {
    std::string error;
    board = sim::SimulatedBoard::Parse(kBoard, "report-board.json", &error);
    EXPECT_TRUE(board) << error;
    backend = std::make_unique<hw::DirectBackend>(*board);
    ports = std::make_unique<hw::PortAccess>(*backend, host);
    frame = std::make_unique<CMainFrame>(state, *ports, registry, host,
                                         UninstallPaths{std::nullopt, "/nonexistent/velmond", ""});
  }
  void Create() {
    EXPECT_EQ(frame->OnCreate(), 0);
    host.log.clear();
    host.reports.clear();
  }
};

std::vector<int> StartedChannels(const FrameReport& report) {
  std::vector<int> channels;
  for (const AlarmStart& start : report.alarmStarts)
    channels.push_back(start.channel);
  return channels;
}

TEST(FrameReport, BoardStatesBecomeStatusTrayDialogStartsAndPages) {
  struct Row {
    const char* what;
    std::function<void(Rig&)> set;  // before the tick
    std::string status;
    bool alarmActive;
    int32_t channel;
    std::optional<TrayView> tray;
    std::optional<AlarmDialogView> dialog;
    std::vector<int> starts;
    int32_t cpuTemp;  // on the CPU page
  };
  const Row rows[] = {
      {"all in range", [](Rig&) {}, kNormal, 0, -1, TrayView{132, kNormal}, std::nullopt, {}, 45},
      {"CPU past its limit",
       [](Rig& r) { r.board->PokeRegister(1, 0x50, 100); },
       kCpuHot,
       1,
       CPUTEMP,
       TrayView{137, kCpuHot},
       AlarmDialogView{0, kCpuHot},
       {CPUTEMP},
       100},
      {"the alarm switch off: the icon, no dialog, no start",
       [](Rig& r) {
         r.state.params.bAlarm = 0;
         r.board->PokeRegister(1, 0x50, 100);
       },
       kCpuHot,
       1,
       CPUTEMP,
       TrayView{137, kCpuHot},
       std::nullopt,
       {},
       100},
      {"the channel's alarm disabled",
       [](Rig& r) {
         r.state[CPUTEMP].alarm.enabled = 0;
         r.board->PokeRegister(1, 0x50, 100);
       },
       "CPU Temp:100C/212F, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:ON",
       0,
       -1,
       TrayView{132, "CPU Temp:100C/212F, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:ON"},
       std::nullopt,
       {},
       100},
      {"two alarms: the dialog the first, the status the last",
       [](Rig& r) {
         r.board->PokeRegister(0, 0x23, 222);
         r.board->PokeRegister(1, 0x50, 100);
       },
       kCpuHot,
       1,
       CPUTEMP,
       TrayView{137, kCpuHot},
       AlarmDialogView{0, kV5High},
       {V5, CPUTEMP},
       100},
      {"auto update off: nothing read, nothing shown but the refresh",
       [](Rig& r) {
         r.state.params.bAutoUpdate = 0;
         r.board->PokeRegister(1, 0x50, 100);
       },
       "",
       0,
       -1,
       std::nullopt,
       std::nullopt,
       {},
       45},
  };
  for (const Row& row : rows) {
    Rig rig;
    rig.Create();
    row.set(rig);
    const FrameReport& report = rig.frame->OnTimer();
    ASSERT_EQ(rig.host.reports.size(), 1u) << row.what << ": one report a tick";
    EXPECT_EQ(&report, &rig.frame->LastReport()) << row.what;
    EXPECT_EQ(report.tick, 1u) << row.what;
    EXPECT_TRUE(report.ticked) << row.what;
    EXPECT_EQ(report.status, row.status) << row.what;
    EXPECT_EQ(report.alarmActive, row.alarmActive) << row.what;
    EXPECT_EQ(report.currentAlarmChannel, row.channel) << row.what;
    EXPECT_EQ(report.tray, row.tray) << row.what;
    EXPECT_EQ(report.openAlarmDialog, row.dialog) << row.what;
    EXPECT_EQ(StartedChannels(report), row.starts) << row.what;
    EXPECT_EQ(report.pages.cpu.temp, row.cpuTemp) << row.what;
    EXPECT_EQ(report.timerPeriodMs, 5000u) << row.what << ": the timer as the creation set it";
    EXPECT_FALSE(report.timerSet) << row.what << ": a tick leaves the timer alone";
    EXPECT_FALSE(report.end) << row.what;
    EXPECT_EQ(report.state, &rig.state) << row.what;
  }
}

TEST(FrameReport, AStartIsReportedOnceAndTheTickNumberCounts) {
  Rig rig;
  rig.Create();
  rig.board->PokeRegister(1, 0x50, 100);
  EXPECT_EQ(StartedChannels(rig.frame->OnTimer()), std::vector<int>{CPUTEMP});
  const FrameReport& second = rig.frame->OnTimer();
  EXPECT_EQ(second.tick, 2u);
  EXPECT_TRUE(second.alarmStarts.empty()) << "still in alarm";
  EXPECT_FALSE(second.openAlarmDialog) << "the dialog is open already";
  rig.board->PokeRegister(1, 0x50, 45);
  EXPECT_TRUE(rig.frame->OnTimer().alarmStarts.empty());
  rig.board->PokeRegister(1, 0x50, 100);
  EXPECT_EQ(StartedChannels(rig.frame->OnTimer()), std::vector<int>{CPUTEMP}) << "a new episode";
}

class RecordingLauncher : public CommandLauncher {
 public:
  std::vector<std::vector<std::string>> launched;
  base::Expected<void> Launch(const std::vector<std::string>& argv) override {
    launched.push_back(argv);
    if (argv.front() == "missing") return base::Error{"No such file or directory", ENOENT};
    return {};
  }
};

TEST(FrameReport, TheFrameRunsTheExtensionsOnceATickAndReportsWhatTheyDid) {
  Rig rig;
  RecordingLauncher launcher;
  ExtensionSettings settings;
  settings.alarmCommand = "on %c";
  settings.alarmEndCommand = "missing %c";
  settings.showHistory = 1;
  settings.metricsDir = "/nonexistent/velmo-metrics";
  std::vector<std::string> configWarnings;
  ExtensionRunner extensions(settings, launcher,
                             [&](const std::string& t) { configWarnings.push_back(t); });
  rig.frame->SetExtensions(&extensions);
  rig.Create();
  EXPECT_TRUE(launcher.launched.empty()) << "the creation is no tick";

  const FrameReport& first = rig.frame->OnTimer();
  EXPECT_TRUE(first.alarmCommands.empty());
  ASSERT_EQ(first.warnings.size(), 1u) << "the metrics file cannot be written";
  EXPECT_EQ(first.warnings[0].rfind("metrics not written: ", 0), 0u) << first.warnings[0];
  ASSERT_EQ(first.history, extensions.GetHistory());
  EXPECT_EQ(first.history->Samples(CPUTEMP), std::vector<int32_t>{45});

  rig.board->PokeRegister(1, 0x50, 100);
  const FrameReport& hot = rig.frame->OnTimer();
  ASSERT_EQ(hot.alarmCommands.size(), 1u);
  EXPECT_EQ(hot.alarmCommands[0].argv, (std::vector<std::string>{"on", "CPUTEMP"}));
  EXPECT_TRUE(hot.alarmCommands[0].started);
  EXPECT_EQ(StartedChannels(hot), std::vector<int>{CPUTEMP}) << "the same watch as the commands";
  EXPECT_TRUE(hot.warnings.empty()) << "the same metrics error is said once";

  rig.board->PokeRegister(1, 0x50, 45);
  const FrameReport& cool = rig.frame->OnTimer();
  ASSERT_EQ(cool.alarmCommands.size(), 1u);
  EXPECT_FALSE(cool.alarmCommands[0].started);
  EXPECT_EQ(cool.alarmCommands[0].error, "No such file or directory");
  EXPECT_EQ(launcher.launched.size(), 2u) << "one run each, none twice";
  EXPECT_EQ(extensions.GetHistory()->Samples(CPUTEMP), (std::vector<int32_t>{45, 100, 45}));
  EXPECT_TRUE(configWarnings.empty());
}

TEST(FrameReport, TheEndReportsTheTimerStoppedTheIconRemovedAndTheSave) {
  Rig rig;
  rig.Create();
  rig.frame->OnTimer();
  rig.host.reports.clear();
  rig.registry.failWrites = true;
  rig.frame->RequestExit();
  ASSERT_EQ(rig.host.reports.size(), 1u);
  const FrameReport& end = rig.host.reports[0];
  EXPECT_TRUE(end.timerSet);
  EXPECT_EQ(end.timerPeriodMs, 0u);
  ASSERT_TRUE(end.tray);
  EXPECT_EQ(end.tray->icon, 0);
  ASSERT_TRUE(end.end);
  EXPECT_EQ(end.end->exitCode, 0);
  EXPECT_FALSE(end.end->saved);
  EXPECT_FALSE(end.end->notSavedReason.empty());
  EXPECT_FALSE(end.ticked);
  // Nothing more comes from a frame that is gone.
  rig.frame->OnTimer();
  rig.frame->OnCommand(kCmdSystem);
  EXPECT_EQ(rig.host.reports.size(), 1u);
}

}  // namespace
}  // namespace velmo::core
