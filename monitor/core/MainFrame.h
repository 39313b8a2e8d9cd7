// The main frame's logic: creation, the monitoring tick, alarms and their actions, the tray
// icon, page publishing, the extensions, the settings commands, uninstall and the exit path.
// Each step ends with one FrameReport of what it changed, which the FrameHost renders; so this
// runs without a window system.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "monitor/core/AlarmStarts.h"
#include "monitor/core/FrameHost.h"
#include "monitor/core/FrameReport.h"
#include "monitor/core/PageSlots.h"
#include "monitor/core/Resources.h"

namespace velmo::hw {
class PortAccess;
}

namespace velmo::core {

class ExtensionRunner;
class KernelSensorSource;
class RegistryStore;
struct MonitorState;

// What the user did with the notification-area icon.
enum class TrayInput {
  kContextMenu,  // asked for its menu (a right click)
  kActivate,     // a double click, or the activation of a host that reports nothing else
};

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

  // The extensions run after every tick; null: none. Before OnCreate.
  void SetExtensions(ExtensionRunner* extensions) { extensions_ = extensions; }
  // The kernel's sensors, run on where no chip is identified; null: the removal question
  // instead. Before OnCreate.
  void SetKernelSensors(KernelSensorSource* source) { kernelSensors_ = source; }

  // WM_CREATE: 0 when the frame exists, -1 when the program is to end.
  int OnCreate();
  // WM_TIMER: one tick of the monitoring loop; returns its report (the one the host rendered).
  const FrameReport& OnTimer();
  // WM_CLOSE: ends the program when an exit was requested, otherwise hides the frame.
  void OnClose();
  void OnCommand(uint32_t id);
  // True when the tray's menu is to be shown (the host shows it unless it is open already).
  bool OnTrayInput(TrayInput input);
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
  const TrayView& Tray() const { return tray_; }
  uint64_t TickCount() const { return ticks_; }
  // The report of the last step (creation, tick, command, end).
  const FrameReport& LastReport() const { return last_; }

 private:
  void CheckAlarms();
  void ComposeAlarmText(int channel);
  void Publish();
  // Reads every channel from the chip or the kernel's sensors.
  void Acquire();
  void ShowPage(Page page);
  void Uninstall();
  void SetAlarmRanges();
  void SetAppParameters();
  void ArmTimer();
  void StopTimer();
  void ShutdownOrRestart(int32_t action);
  // `icon` 0 removes the icon; a null tooltip keeps the current one.
  void SetTray(int32_t icon, const std::string* tooltip);
  // Hands the step's report to the host when the step changed anything.
  void Flush();

  MonitorState& state_;
  hw::PortAccess& ports_;
  RegistryStore& registry_;
  FrameHost& host_;
  UninstallPaths paths_;
  ExtensionRunner* extensions_ = nullptr;
  KernelSensorSource* kernelSensors_ = nullptr;
  bool onKernelSensors_ = false;
  AlarmEpisodes episodes_;
  TrayView tray_;
  FrameReport report_;  // the step's, until Flush
  FrameReport last_;
  bool changed_ = false;  // report_ has something to render
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
