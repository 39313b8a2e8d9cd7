// What the monitoring core asks of the program that hosts it: windows, dialogs, the tray, the
// timer and power requests. The Qt host and the headless host implement it; tests use a double.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "monitor/core/PageSlots.h"
#include "monitor/hw/HwHost.h"

namespace velmo::core {

enum class Page { kCpu, kCpu2, kSystem, kMisc };
const char* PageName(Page page);

enum class TrayOp { kAdd, kModify, kDelete };
// The notification-area record as the tray logic fills it.
struct TrayIconData {
  uint32_t id = 0;               // icon identifier, also the popup menu's resource
  bool hasMessage = false;       // NIF_MESSAGE
  bool hasIcon = false;          // NIF_ICON
  bool hasTip = false;           // NIF_TIP
  uint32_t callbackMessage = 0;  // WM_USER+1
  int32_t icon = 0;              // icon resource shown, 0 = none
  std::string tooltip;           // at most 63 characters
};

// What the alarm dialog's radio buttons ask for (its m_iAction; -1 is none selected).
enum AlarmAction : int32_t {
  kActionOpenMonitor = 0,
  kActionDisableThisAlarm = 1,
  kActionDisableAllAlarms = 2,
  kActionRestart = 3,
  kActionShutdown = 4,
};

enum class PowerRequest { kReboot, kPowerOff };
const char* PowerRequestName(PowerRequest request);

// The six channels of the Alarm Range Setting dialog, in its order.
struct AlarmRangeEntry {
  int32_t present = 0;
  int32_t enabled = 0;
  int32_t defaultEnabled = 0;
  int32_t upper = 0;
  int32_t lower = 0;
  int32_t adjustMax = 0;
  int32_t adjustMin = 0;
  int32_t defaultUpper = 0;
  int32_t defaultLower = 0;
  bool operator==(const AlarmRangeEntry&) const = default;
};
struct AlarmRangeDialogData {
  int32_t mbModel = 0;
  std::array<AlarmRangeEntry, 6> channels;  // CPUTEMP, SYSTEMP, V5, V12, VN5, VN12
};
struct AppParamsDialogData {
  int32_t bAutoUpdate = 0;
  int32_t bAlarm = 0;
  int32_t AutoUpdateInterval = 0;
};

class FrameHost : public hw::HwHost {
 public:
  // Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The modeless alarm dialog: open it with its action and condition text; close its window.
  virtual void OpenAlarmDialog(int32_t action, const std::string& condition) = 0;
  virtual void CloseAlarmDialog() = 0;
  // One notification-area call; false when it failed.
  virtual bool NotifyTray(TrayOp op, const TrayIconData& data) = 0;
  // The tray's popup menu at the cursor, its first item the default; a choice comes back later
  // as a command to the frame.
  virtual void ShowTrayMenu() = 0;
  // Make `page` the active page, show the frame and bring it to the foreground.
  virtual void ShowPage(Page page) = 0;
  virtual void HideFrame() = 0;
  // Timer 100: a period of 0 stops it.
  virtual void SetTimer(uint32_t periodMs) = 0;
  // The property sheet with the pages of this board model, once, during the frame's creation.
  virtual void CreatePages(int32_t /*mbModel*/) {}
  // The pages' display slots after PublishToPages; RefreshPages redraws pages that have windows.
  virtual void PublishPages(const PageSlots& slots) = 0;
  virtual void RefreshPages() = 0;
  // Modal settings dialogs: nullopt for Cancel.
  virtual std::optional<AlarmRangeDialogData> RunAlarmRangeDialog(
      const AlarmRangeDialogData& data) = 0;
  virtual std::optional<AppParamsDialogData> RunAppParamsDialog(
      const AppParamsDialogData& data) = 0;
  // Restart or power off the machine; false when refused.
  virtual bool RequestPower(PowerRequest request) = 0;
  // Called at the end of every tick (a snapshot point for the headless host).
  virtual void TickDone() {}
  // Something the user should know but need not answer (a settings value that was ignored, a
  // settings file kept aside): a log line, not a message box.
  virtual void Warn(const std::string& text) { (void)text; }
  // The settings could not be saved as the program ends; `reason` names the file and why.
  virtual void SettingsNotSaved(const std::string& reason) { (void)reason; }
  // The frame is gone: end the program's loop with this exit code.
  virtual void Quit(int exitCode, bool saved) = 0;
};

// A host that shows nothing and answers No, Cancel and success: a base for hosts that handle
// only part of the requests (the headless host) and for benchmarks.
class NullFrameHost : public FrameHost {
 public:
  void ShowMessage(const std::string&, const std::string&) override {}
  void EndProgram(int) override {}
  bool AskYesNo(const std::string&) override { return false; }
  void OpenAlarmDialog(int32_t, const std::string&) override {}
  void CloseAlarmDialog() override {}
  bool NotifyTray(TrayOp, const TrayIconData&) override { return true; }
  void ShowTrayMenu() override {}
  void ShowPage(Page) override {}
  void HideFrame() override {}
  void SetTimer(uint32_t) override {}
  void PublishPages(const PageSlots&) override {}
  void RefreshPages() override {}
  std::optional<AlarmRangeDialogData> RunAlarmRangeDialog(const AlarmRangeDialogData&) override {
    return std::nullopt;
  }
  std::optional<AppParamsDialogData> RunAppParamsDialog(const AppParamsDialogData&) override {
    return std::nullopt;
  }
  bool RequestPower(PowerRequest) override { return true; }
  void Quit(int, bool) override {}
};

}  // namespace velmo::core
