// The main frame's logic: creation, the monitoring tick, alarms and their actions, the tray
// icon, page publishing, the settings commands, uninstall and the exit path. Everything the
// user sees goes through the FrameHost, so this runs without a window system.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "monitor/core/FrameHost.h"
#include "monitor/core/PageSlots.h"
#include "monitor/core/Resources.h"
#include "monitor/core/TrayIcon.h"

namespace velmo::hw {
class PortAccess;
}

namespace velmo::core {

class RegistryStore;
struct MonitorState;

// Where the start-up entry and the installed program live.
struct UninstallPaths {
  std::optional<std::string> autostartDir;  // nullopt: the folder cannot be determined
  std::string programPath;
  std::string guiProgramPath;  // the window host beside it; empty: none
  // The places of InstallLayout.h for this process's environment.
  static UninstallPaths FromEnvironment();
};

// Timer period for an update interval in seconds. An interval below 1 (never offered by the
// parameters dialog) falls back to the default 5 seconds instead of a busy timer.
uint32_t TimerPeriodMs(int32_t intervalSeconds);

// Copies the readings into the pages' display slots.
void PublishToPages(const MonitorState& state, PageSlots& slots);

class CMainFrame {
 public:
  CMainFrame(MonitorState& state, hw::PortAccess& ports, RegistryStore& registry, FrameHost& host,
             UninstallPaths paths);

  // WM_CREATE: 0 when the frame exists, -1 when the program is to end.
  int OnCreate();
  // WM_TIMER: one tick of the monitoring loop.
  void OnTimer();
  // WM_CLOSE: ends the program when an exit was requested, otherwise hides the frame.
  void OnClose();
  void OnCommand(uint32_t id);
  void OnTrayNotify(uint32_t wParam, uint32_t lParam);
  void OnAlarmAction(int32_t action);
  // The alarm dialog's OK posts the action; Esc only hides the dialog.
  void AlarmDialogOk(int32_t action);
  void AlarmDialogCancel();
  // Handles posted messages in order; returns how many.
  int ProcessPostedMessages();
  // Ends the program through its own exit path (settings saved): SIGINT, SIGTERM, end of run.
  void RequestExit();

  bool Destroyed() const { return destroyed_; }
  bool Saved() const { return saved_; }
  bool AlarmDialogVisible() const { return dialogVisible_; }
  int32_t AlarmDialogAction() const { return dialogAction_; }
  int32_t AlarmDialogShown() const { return alarmDialogShown_; }
  const std::string& StatusText() const { return statusText_; }
  int32_t CurrentAlarmChannel() const { return currentAlarmChannel_; }
  int32_t AlarmActive() const { return alarmActive_; }
  const PageSlots& Slots() const { return slots_; }
  const std::string& BoardText() const { return boardText_; }
  const CTrayIcon& Tray() const { return tray_; }
  uint32_t TimerPeriod() const { return timerPeriodMs_; }
  uint64_t TickCount() const { return ticks_; }

 private:
  void CheckAlarms();
  void ComposeAlarmText(int channel);
  void Publish();
  void ShowPage(Page page);
  void Uninstall();
  void SetAlarmRanges();
  void SetAppParameters();
  void ArmTimer();
  void StopTimer();
  void ShutdownOrRestart(int32_t action);

  MonitorState& state_;
  hw::PortAccess& ports_;
  RegistryStore& registry_;
  FrameHost& host_;
  UninstallPaths paths_;
  CTrayIcon tray_{kTrayId};
  PageSlots slots_;
  std::string boardText_;
  std::string statusText_;
  int32_t currentAlarmChannel_ = -1;
  int32_t normalIcon_ = 0;
  int32_t alarmIcon_ = 0;
  int32_t exitRequested_ = 0;
  int32_t alarmDialogShown_ = 0;
  int32_t alarmActive_ = 0;
  int32_t dialogAction_ = -1;  // m_iAction of the alarm dialog
  std::string dialogCondition_;
  bool dialogVisible_ = false;
  bool creating_ = false;
  bool destroyed_ = false;
  bool saved_ = false;
  uint32_t timerPeriodMs_ = 0;
  uint64_t ticks_ = 0;
  std::deque<int32_t> postedActions_;  // posted WM_ALARM_ACTION messages
};

}  // namespace velmo::core
