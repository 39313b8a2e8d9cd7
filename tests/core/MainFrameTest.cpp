#include "monitor/core/MainFrame.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>

#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/RecordingFrameHost.h"

namespace velmo::core {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// A w83782d board (chip code 2) with every reading in range unless a test moves it.
const char* kBoard = R"({
  "bios_id": "7K4XRQB8", "chip": "w83782d",
  "registers": {"0x47": "0x5f", "0x4b": "0x5f", "0x28": 135, "0x29": 135, "0x2a": 135,
                "0x20": 112, "0x21": 112, "0x22": 206, "0x23": 187, "0x24": 198,
                "0x25": 20, "0x26": 20, "0x27": 40, "1:0x50": 45, "2:0x50": 38,
                "5:0x50": 187, "5:0x51": 190}
})";

struct Rig {
  std::unique_ptr<sim::SimulatedBoard> board;
  test::RecordingFrameHost host;
  std::unique_ptr<hw::DirectBackend> backend;
  std::unique_ptr<hw::PortAccess> ports;
  MemoryRegistry registry;
  MonitorState state;
  UninstallPaths paths;
  std::unique_ptr<CMainFrame> frame;

  explicit Rig(const std::string& boardText = kBoard) {
    std::string error;
    board = sim::SimulatedBoard::Parse(boardText, "test-board.json", &error);
    EXPECT_TRUE(board) << error;
    backend = std::make_unique<hw::DirectBackend>(*board);
    ports = std::make_unique<hw::PortAccess>(*backend, host);
    paths.programPath = "/nonexistent/velmond";
    frame = std::make_unique<CMainFrame>(state, *ports, registry, host, paths);
  }
  void Rebuild() { frame = std::make_unique<CMainFrame>(state, *ports, registry, host, paths); }
  void Create() {
    ASSERT_EQ(frame->OnCreate(), 0);
    host.log.clear();
  }
  void Set(unsigned bank, uint8_t reg, uint8_t value) { board->PokeRegister(bank, reg, value); }
};

TEST(MainFrame, CreationPublishesAddsTheIconWithoutTooltipAndStartsTheTimer) {
  Rig rig;
  EXPECT_EQ(rig.frame->OnCreate(), 0);
  EXPECT_EQ(rig.state.hmType, 2);
  EXPECT_EQ(rig.state.mbModel, 1);
  EXPECT_EQ(rig.host.log, (Lines{"tray:132:", "timer:5000"}));
  ASSERT_EQ(rig.host.reports.size(), 1u);  // one report for the whole creation
  EXPECT_EQ(rig.host.reports[0].createPages, std::optional<int32_t>(1));
  EXPECT_EQ(rig.host.slots.cpu.fan, 5000);
  EXPECT_EQ(rig.state[CPUFAN].value, 5000);  // the first acquisition ran
  EXPECT_EQ(rig.frame->TickCount(), 0u);

  rig.host.log.clear();
  rig.frame->OnTimer();
  EXPECT_EQ(
      rig.host.log,
      (Lines{"tray:132:CPU Temp:45C/113F, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:ON", "refresh"}));
  EXPECT_EQ(rig.host.reports.size(), 2u);
  EXPECT_EQ(rig.frame->CurrentAlarmChannel(), -1);
}

TEST(MainFrame, UnknownChipAsksToRemoveAndEndsWithoutSaving) {
  const std::string none = R"({"bios_id": "7K4XRQB8", "chip": "none"})";
  Rig no(none);
  no.host.answers = {false};
  EXPECT_EQ(no.frame->OnCreate(), -1);
  EXPECT_EQ(no.host.log,
            (Lines{"question:System monitor IC can not be found on your motherboard.\n\n"
                   "Do you want to remove the Velmo from system?",
                   "hide"}));

  Rig yes(none);
  const fs::path dir = fs::path(testing::TempDir()) / "velmo-uninstall-create";
  fs::create_directories(dir / "autostart");
  std::ofstream(dir / "autostart" / "velmond.desktop") << "[Desktop Entry]\n";
  yes.paths.autostartDir = (dir / "autostart").string();
  yes.Rebuild();
  yes.host.answers = {true, true};
  EXPECT_EQ(yes.frame->OnCreate(), -1);
  EXPECT_FALSE(fs::exists(dir / "autostart" / "velmond.desktop"));
  EXPECT_EQ(yes.host.Lines("message:"), (Lines{"message:Velmond:Velmo has been uninstalled!"}));
  EXPECT_EQ(yes.registry.saves, 0);  // nothing loaded yet, so nothing is written
  EXPECT_FALSE(yes.host.quitCode.has_value());
  fs::remove_all(dir);
}

TEST(MainFrame, TwoAlarmsDialogShowsTheFirstTooltipTheLast) {
  Rig rig;
  rig.Create();
  rig.Set(0, 0x23, 222);  // V5: 6002 mV, above 5500
  rig.Set(1, 0x50, 100);  // CPU temperature at and above both limits (95/90)
  rig.frame->OnTimer();
  const std::string v5 = "The 6.2 V Power-Line has exceeded Normal Operating Tolerance.";
  const std::string cpu = "The CPU  Temperature has exceeded Normal Operating Tolerance.";
  EXPECT_EQ(rig.host.Lines("alarm-dialog"), (Lines{"alarm-dialog:0:" + v5}));
  EXPECT_EQ(rig.frame->StatusText(), cpu);
  EXPECT_EQ(rig.frame->CurrentAlarmChannel(), CPUTEMP);
  EXPECT_EQ(rig.host.lastTray.icon, 137);
  EXPECT_EQ(rig.host.lastTray.tooltip, cpu);

  // While the dialog is open no second one opens.
  rig.frame->OnTimer();
  EXPECT_EQ(rig.host.Lines("alarm-dialog:").size(), 1u);

  // "Temporarily Disable this alarm" hits the last channel in alarm, not the dialog's; the
  // immediate tick opens the dialog again for the alarm that remains.
  rig.frame->AlarmDialogOk(1);
  EXPECT_EQ(rig.state[CPUTEMP].alarm.enabled, 1);  // posted, not handled yet
  EXPECT_EQ(rig.frame->ProcessPostedMessages(), 1);
  EXPECT_EQ(rig.state[CPUTEMP].alarm.enabled, 0);
  EXPECT_EQ(rig.state[V5].alarm.enabled, 1);
  EXPECT_EQ(rig.host.Lines("alarm-dialog"),
            (Lines{"alarm-dialog:0:" + v5, "alarm-dialog-closed", "alarm-dialog:0:" + v5}));
  EXPECT_EQ(rig.frame->CurrentAlarmChannel(), V5);
}

TEST(MainFrame, AlarmSwitchOffGivesAlarmIconWithoutDialog) {
  Rig rig;
  rig.Create();
  rig.state.params.bAlarm = 0;
  rig.Set(1, 0x50, 100);
  rig.frame->OnTimer();
  EXPECT_TRUE(rig.host.Lines("alarm-dialog").empty());
  EXPECT_EQ(rig.host.lastTray.icon, 137);
  EXPECT_TRUE(rig.frame->AlarmActive());
  // A disabled channel never raises anything.
  rig.state.params.bAlarm = 1;
  rig.state[CPUTEMP].alarm.enabled = 0;
  rig.frame->OnTimer();
  EXPECT_TRUE(rig.host.Lines("alarm-dialog").empty());
  EXPECT_EQ(rig.host.lastTray.icon, 132);
}

TEST(MainFrame, EscapeClosesTheDialogForTheRestOfTheRun) {
  Rig rig;
  rig.Create();
  rig.Set(1, 0x50, 100);
  rig.frame->OnTimer();
  rig.frame->AlarmDialogCancel();
  rig.frame->OnTimer();
  rig.frame->OnTimer();
  EXPECT_EQ(rig.host.Lines("alarm-dialog").size(), 1u);
  EXPECT_EQ(rig.frame->ProcessPostedMessages(), 0);
  EXPECT_EQ(rig.host.lastTray.icon, 137);
}

TEST(MainFrame, OtherActionsShowThePageSilenceAllOrDoNothing) {
  struct Row {
    int32_t action;
    Lines expected;  // the first lines of the action's report
  };
  const std::string cpu = "The CPU  Temperature has exceeded Normal Operating Tolerance.";
  const Row rows[] = {{0, {"alarm-dialog-closed", "page:cpu", "alarm-dialog:0:" + cpu}},
                      {2, {"alarm-dialog-closed", "tray:137:" + cpu}},
                      {-1, {"alarm-dialog-closed", "alarm-dialog:0:" + cpu}},
                      {7, {"alarm-dialog-closed", "alarm-dialog:0:" + cpu}}};
  for (const Row& row : rows) {
    Rig rig;
    rig.Create();
    rig.Set(1, 0x50, 100);
    rig.frame->OnTimer();
    rig.host.log.clear();
    rig.frame->AlarmDialogOk(row.action);
    rig.frame->ProcessPostedMessages();
    const Lines head(rig.host.log.begin(),
                     rig.host.log.begin() + static_cast<long>(row.expected.size()));
    EXPECT_EQ(head, row.expected) << row.action;
    // The immediate tick opens the dialog again unless all alarms were silenced.
    EXPECT_EQ(rig.host.Lines("alarm-dialog:").size(), row.action == 2 ? 0u : 1u) << row.action;
    EXPECT_EQ(rig.state.params.bAlarm, row.action == 2 ? 0 : 1);
  }
}

TEST(MainFrame, RestartWritesTemperatureLimitsSavesThenAsksForPower) {
  Rig rig;
  rig.Create();
  rig.Set(1, 0x50, 100);
  rig.frame->OnTimer();
  rig.host.powerRefused = true;
  int savesAtPower = -1;
  rig.host.onPower = [&] { savesAtPower = rig.registry.saves; };
  rig.frame->AlarmDialogOk(3);
  rig.frame->ProcessPostedMessages();
  // SYSTEMP lives in bank 2 and CPUTEMP in bank 1 on this chip (registers 0x55 and 0x53).
  EXPECT_EQ(rig.board->PeekRegister(2, 0x55), 127);
  EXPECT_EQ(rig.board->PeekRegister(2, 0x53), 126);
  EXPECT_EQ(rig.board->PeekRegister(1, 0x55), 127);
  EXPECT_EQ(rig.board->PeekRegister(1, 0x53), 126);
  EXPECT_EQ(savesAtPower, 1);
  EXPECT_EQ(rig.host.Lines("quit"), (Lines{"quit:0:saved"}));
  const Lines tail(rig.host.log.end() - 6, rig.host.log.end());
  EXPECT_EQ(tail, (Lines{"alarm-dialog-closed", "tray:0:" + rig.frame->StatusText(), "timer:0",
                         "quit:0:saved", "power:reboot",
                         "message:Velmond:You have no System-Restart Privileges!"}));
  EXPECT_TRUE(rig.frame->Destroyed());
}

TEST(MainFrame, ShutdownTouchesNoChipRegisterAndAsksForPowerOff) {
  Rig rig;
  rig.Create();
  rig.Set(1, 0x50, 100);
  rig.frame->OnTimer();
  const uint8_t before = rig.board->PeekRegister(1, 0x55);
  rig.frame->AlarmDialogOk(4);
  rig.frame->ProcessPostedMessages();
  EXPECT_EQ(rig.board->PeekRegister(1, 0x55), before);
  EXPECT_EQ(rig.host.Lines("power"), (Lines{"power:poweroff"}));
  EXPECT_TRUE(rig.host.Lines("message").empty());
  EXPECT_EQ(rig.registry.saves, 1);
}

TEST(MainFrame, TooltipKeepsSixtyThreeCharacters) {
  Rig rig;
  rig.Create();
  rig.state[CPUTEMP].alarm.enabled = 0;
  rig.state[SYSTEMP].alarm.enabled = 0;
  rig.Set(1, 0x50, 100);
  rig.Set(2, 0x50, 100);
  rig.Set(0, 0x29, 255);  // CPU fan stopped
  rig.Set(0, 0x2a, 255);  // chassis fan (swapped to 0x2A on this chip) stopped
  rig.frame->OnTimer();
  EXPECT_EQ(rig.frame->StatusText().size(), 64u);
  EXPECT_EQ(rig.host.lastTray.tooltip, rig.frame->StatusText().substr(0, 63));
}

TEST(MainFrame, TrayInputAsksForTheMenuOrOpensTheDefaultItem) {
  Rig rig;
  rig.Create();
  EXPECT_TRUE(rig.frame->OnTrayInput(TrayInput::kContextMenu));
  EXPECT_TRUE(rig.host.log.empty()) << "the host shows its menu itself";
  EXPECT_FALSE(rig.frame->OnTrayInput(TrayInput::kActivate));
  EXPECT_EQ(rig.host.log, (Lines{"page:cpu"}));
}

TEST(MainFrame, CommandsForPagesExitAndSuspend) {
  Rig rig;
  rig.Create();
  rig.frame->OnCommand(kCmdSystem);
  rig.frame->OnCommand(kCmdMiscellaneous);
  rig.frame->OnCommand(kCmdExit);  // only hides
  EXPECT_EQ(rig.host.log, (Lines{"page:system", "page:misc", "hide"}));
  EXPECT_EQ(rig.registry.saves, 0);
  rig.frame->OnCommand(kCmdSuspend);
  EXPECT_EQ(rig.registry.saves, 1);
  EXPECT_EQ(rig.host.Lines("quit"), (Lines{"quit:0:saved"}));
  EXPECT_TRUE(rig.frame->Destroyed());
}

// Keeps the beep programming's posted batch owed until Settle, whose reply then tells of a write
// that failed (the driver back-end's own rules are tested with it).
class PostingBackend : public hw::DirectBackend {
 public:
  using DirectBackend::DirectBackend;
  hw::HwFailures PostBatch(hw::PortBatch batch) override {
    owed = owed || !batch.Empty();
    return {};
  }
  hw::HwFailures Settle() override {
    if (!std::exchange(owed, false)) return {};
    return {{hw::HwError::kPortWriteFailed, hw::HwAccess::kPortWrite, {}}};
  }
  bool owed = false;
};

TEST(MainFrame, TheExitPathShowsWhatAPostedBatchStillOwesBeforeItEnds) {
  struct Row {
    const char* how;
    std::function<void(CMainFrame&)> exit;
  };
  const Row rows[] = {
      {"suspend command", [](CMainFrame& f) { f.OnCommand(kCmdSuspend); }},
      {"exit requested (a signal, the last of --ticks)", [](CMainFrame& f) { f.RequestExit(); }},
  };
  for (const Row& row : rows) {
    Rig rig;
    rig.backend = std::make_unique<PostingBackend>(*rig.board);
    rig.ports = std::make_unique<hw::PortAccess>(*rig.backend, rig.host);
    rig.Rebuild();
    rig.Create();
    rig.frame->OnTimer();
    rig.host.log.clear();
    row.exit(*rig.frame);
    // Taken first, its message shown, then the usual way out.
    ASSERT_FALSE(rig.host.log.empty()) << row.how;
    EXPECT_EQ(rig.host.log.front(), "message:debug:write failed") << row.how;
    EXPECT_EQ(rig.host.log.back(), "quit:0:saved") << row.how;
    EXPECT_EQ(rig.host.Lines("message:").size(), 1u) << row.how;
  }
}

TEST(MainFrame, SettingsCommandsApplyOrCancelThenRunATick) {
  Rig rig;
  rig.Create();
  rig.frame->OnCommand(kCmdSetAppParams);  // Cancel
  EXPECT_EQ(rig.host.log, (Lines{"app-params-dialog", "tray:132:" + rig.frame->StatusText(),
                                 "timer:5000", "refresh"}));
  rig.host.log.clear();
  rig.host.appParamsResult = AppParamsDialogData{0, 0, 60};
  rig.frame->OnCommand(kCmdSetAppParams);
  EXPECT_EQ(rig.host.log, (Lines{"app-params-dialog", "timer:0", "refresh"}));
  EXPECT_EQ(rig.host.slots.cpu.alarm, 0) << "the pages see the switch turned off";
  EXPECT_EQ(rig.state.params.AutoUpdateInterval, 60);

  AlarmRangeDialogData ranges;
  ranges.channels[0] = {1, 0, 1, 77, 70, 0, 0, 0, 0};          // CPUTEMP
  ranges.channels[5] = {1, 1, 1, -11000, -13000, 0, 0, 0, 0};  // VN12
  rig.host.alarmRangeResult = ranges;
  rig.frame->OnCommand(kCmdSetAlarmRanges);
  EXPECT_EQ(rig.state[CPUTEMP].alarm.enabled, 0);
  EXPECT_EQ(rig.state[CPUTEMP].alarm.upper, 77);
  EXPECT_EQ(rig.state[VN12].alarm.lower, -13000);
  EXPECT_EQ(rig.state[CPUTEMP].alarm.adjustMax, 120);  // only three words come back
}

TEST(MainFrame, AutoUpdateOffStartsNoTimerAndTicksOnlyRefresh) {
  Rig rig;
  rig.state.params.bAutoUpdate = 0;
  rig.registry.model.OpenKey("HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10")
      .Set({"bAutoUpdate", REG_BINARY, {0, 0, 0, 0}});
  ASSERT_EQ(rig.frame->OnCreate(), 0);
  EXPECT_EQ(rig.host.Lines("timer"), (Lines{"timer:0"}));
  rig.host.log.clear();
  rig.frame->OnTimer();
  EXPECT_EQ(rig.host.log, (Lines{"refresh"}));
}

TEST(MainFrame, UninstallCommandRemovesTheAutostartEntryAndEnds) {
  const fs::path dir = fs::path(testing::TempDir()) / "velmo-uninstall-cmd";
  fs::create_directories(dir / "autostart");
  fs::create_directories(dir / "bin");
  std::ofstream(dir / "autostart" / "velmond.desktop") << "x";
  std::ofstream(dir / "bin" / "velmond") << "x";

  Rig no;
  no.paths.autostartDir = (dir / "autostart").string();
  no.Rebuild();
  no.Create();
  no.host.answers = {false};
  no.frame->OnCommand(kCmdUninstall);
  EXPECT_TRUE(fs::exists(dir / "autostart" / "velmond.desktop"));
  EXPECT_FALSE(no.frame->Destroyed());

  Rig unknown;  // the folder cannot be found
  unknown.Create();
  unknown.host.answers = {true};
  unknown.frame->OnCommand(kCmdUninstall);
  EXPECT_EQ(unknown.host.Lines("message"), (Lines{"message:Velmond:Open Registry failed!"}));
  EXPECT_FALSE(unknown.frame->Destroyed());

  Rig yes;
  yes.paths.autostartDir = (dir / "autostart").string();
  yes.paths.programPath = (dir / "bin" / "velmond").string();
  yes.Rebuild();
  yes.Create();
  yes.host.answers = {true};
  yes.frame->OnCommand(kCmdUninstall);
  EXPECT_FALSE(fs::exists(dir / "autostart" / "velmond.desktop"));
  EXPECT_FALSE(fs::exists(dir / "bin" / "velmond"));
  EXPECT_EQ(yes.host.Lines("message"), (Lines{"message:Velmond:Velmo has been uninstalled!"}));
  EXPECT_EQ(yes.registry.saves, 1);
  EXPECT_TRUE(yes.frame->Destroyed());

  Rig again;  // entry already gone: no success message, the program still ends
  again.paths.autostartDir = (dir / "autostart").string();
  again.Rebuild();
  again.Create();
  again.host.answers = {true};
  again.frame->OnCommand(kCmdUninstall);
  EXPECT_TRUE(again.host.Lines("message").empty());
  EXPECT_TRUE(again.frame->Destroyed());
  fs::remove_all(dir);
}

TEST(MainFrame, TimerPeriodForStoredIntervals) {
  EXPECT_EQ(TimerPeriodMs(5), 5000u);
  EXPECT_EQ(TimerPeriodMs(120), 120000u);
  EXPECT_EQ(TimerPeriodMs(0), 5000u);
  EXPECT_EQ(TimerPeriodMs(-3), 5000u);
  EXPECT_EQ(TimerPeriodMs(INT32_MAX), 86400000u);
}

// The pages' flag slots carry the stored words as they are (the event stream writes them out),
// not a true/false made of them: a word other than 0 or 1 from a settings file reaches the page.
TEST(PublishToPages, FlagSlotsCopyTheStoredWords) {
  MonitorState state;
  state.mbModel = 1;
  state[V5].present = 3;
  state[V12].alarm.enabled = 2;
  state[VN5].outOfRange = 5;
  state[CPUTEMP].alarm.enabled = 7;
  PageSlots slots;
  PublishToPages(state, slots);
  EXPECT_EQ(slots.system.present.v5, 3);
  EXPECT_EQ(slots.system.enabled.v12, 2);
  EXPECT_EQ(slots.system.outOfRange.vn5, 5);
  EXPECT_EQ(slots.cpu.tempEnabled, 7);
}

}  // namespace
}  // namespace velmo::core
