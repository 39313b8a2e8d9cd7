// A frame host for tests: records every request as a short line and answers from fields.
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
  bool trayFails = false;
  bool powerRefused = false;
  std::optional<core::AlarmRangeDialogData> alarmRangeResult;
  std::optional<core::AppParamsDialogData> appParamsResult;
  core::PageSlots slots;
  core::TrayIconData lastTray;
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
  void OpenAlarmDialog(int32_t action, const std::string& condition) override {
    log.push_back("alarm-dialog:" + std::to_string(action) + ":" + condition);
  }
  void CloseAlarmDialog() override { log.push_back("alarm-dialog-closed"); }
  bool NotifyTray(core::TrayOp op, const core::TrayIconData& data) override {
    const char* name = op == core::TrayOp::kAdd      ? "add"
                       : op == core::TrayOp::kModify ? "modify"
                                                     : "delete";
    log.push_back(std::string("tray:") + name + ":" + std::to_string(data.icon) + ":" +
                  (data.hasTip ? data.tooltip : std::string()));
    lastTray = data;
    return !trayFails;
  }
  void ShowTrayMenu() override { log.push_back("tray-menu"); }
  void ShowPage(core::Page page) override { log.push_back(std::string("page:") + PageName(page)); }
  void HideFrame() override { log.push_back("hide"); }
  void SetTimer(uint32_t periodMs) override { log.push_back("timer:" + std::to_string(periodMs)); }
  void PublishPages(const core::PageSlots& s) override {
    slots = s;
    log.push_back("publish");
  }
  void RefreshPages() override { log.push_back("refresh"); }
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
  void TickDone() override { ++ticksDone; }
  void Quit(int code, bool saved) override {
    log.push_back("quit:" + std::to_string(code) + (saved ? ":saved" : ":unsaved"));
    quitCode = code;
    quitSaved = saved;
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
