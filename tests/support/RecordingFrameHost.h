// A frame host for tests: records every request and every report as short lines and answers
// from fields.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/core/FrameHost.h"

namespace velmo::test {

class RecordingFrameHost : public core::FrameHost {
 public:
  std::vector<std::string> log;  // one line per request, in order
  std::vector<bool> answers;     // Yes/No answers in order; No when exhausted
  bool powerRefused = false;
  std::optional<core::AlarmRangeDialogData> alarmRangeResult;
  std::optional<core::AppParamsDialogData> appParamsResult;
  core::PageSlots slots;
  core::TrayView lastTray;
  std::vector<core::FrameReport> reports;  // every report rendered
  std::optional<int> quitCode;
  bool quitSaved = false;
  int ticksDone = 0;
  // Called when the frame asks for power: lets a test look at the state at that moment.
  std::function<void()> onPower;

  void ShowMessage(const std::string& text, const std::string& caption) override {
    log.push_back("message:" + caption + ":" + text);
  }
  void EndProgram(int code) override { log.push_back("end:" + std::to_string(code)); }
  bool AskYesNo(const std::string& text) override {
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.erase(answers.begin());
    log.push_back("question:" + text);
    return yes;
  }
  std::optional<core::AlarmRangeDialogData> RunAlarmRangeDialog(
      const core::AlarmRangeDialogData&) override {
    log.push_back("alarm-range-dialog");
    return alarmRangeResult;
  }
  std::optional<core::AppParamsDialogData> RunAppParamsDialog(
      const core::AppParamsDialogData&) override {
    log.push_back("app-params-dialog");
    return appParamsResult;
  }
  bool RequestPower(core::PowerRequest request) override {
    log.push_back(std::string("power:") + core::PowerRequestName(request));
    if (onPower) onPower();
    return !powerRefused;
  }
  // One line for each thing the report says happened, in the order a host shows them.
  void Render(const core::FrameReport& r) override {
    reports.push_back(r);
    if (r.hideFrame) log.push_back("hide");
    if (r.closeAlarmDialog) log.push_back("alarm-dialog-closed");
    if (r.showPage) log.push_back(std::string("page:") + PageName(*r.showPage));
    if (r.openAlarmDialog) {
      log.push_back("alarm-dialog:" + std::to_string(r.openAlarmDialog->action) + ":" +
                    r.openAlarmDialog->condition);
    }
    if (r.tray) {
      log.push_back("tray:" + std::to_string(r.tray->icon) + ":" + r.tray->tooltip);
      lastTray = *r.tray;
    }
    if (r.timerSet) log.push_back("timer:" + std::to_string(r.timerPeriodMs));
    if (r.ticked) {
      log.push_back("refresh");
      ++ticksDone;
    }
    if (r.end) {
      log.push_back("quit:" + std::to_string(r.end->exitCode) +
                    (r.end->saved ? ":saved" : ":unsaved"));
      quitCode = r.end->exitCode;
      quitSaved = r.end->saved;
    }
    slots = r.pages;
  }

  // Lines that start with `prefix`.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : log)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
};

}  // namespace velmo::test
