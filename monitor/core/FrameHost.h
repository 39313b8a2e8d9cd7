// What the monitoring core asks of the program that hosts it (a question, a settings dialog, a
// power request) and the one report of what each step changed, which the host renders. The Qt
// host and the headless host implement it; tests use a double.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "monitor/core/FrameReport.h"
#include "monitor/hw/HwHost.h"

namespace velmo::core {

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
  std::array<AlarmRangeEntry, 6> channels;  // in the order of kRangeDialogChannels
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
  // Modal settings dialogs: nullopt for Cancel.
  virtual std::optional<AlarmRangeDialogData> RunAlarmRangeDialog(
      const AlarmRangeDialogData& data) = 0;
  virtual std::optional<AppParamsDialogData> RunAppParamsDialog(
      const AppParamsDialogData& data) = 0;
  // Restart or power off the machine; false when refused.
  virtual bool RequestPower(PowerRequest request) = 0;
  // Something the user should know but need not answer (a settings value that was ignored, a
  // settings file kept aside): a log line, not a message box.
  virtual void Warn(const std::string& text) { (void)text; }
  // What a step of the frame changed; once a step.
  virtual void Render(const FrameReport& report) = 0;
};

// A host that shows nothing and answers No, Cancel and success: for benchmarks.
class NullFrameHost : public FrameHost {
 public:
  void ShowMessage(const std::string&, const std::string&) override {}
  void EndProgram(int) override {}
  bool AskYesNo(const std::string&) override { return false; }
  std::optional<AlarmRangeDialogData> RunAlarmRangeDialog(const AlarmRangeDialogData&) override {
    return std::nullopt;
  }
  std::optional<AppParamsDialogData> RunAppParamsDialog(const AppParamsDialogData&) override {
    return std::nullopt;
  }
  bool RequestPower(PowerRequest) override { return true; }
  void Render(const FrameReport&) override {}
};

}  // namespace velmo::core
