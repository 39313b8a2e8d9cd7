#include "monitor/app/HeadlessHost.h"

#include <iostream>

#include "monitor/app/LogindPower.h"
#include "monitor/core/ExtensionRunner.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/PageSlotsJson.h"

namespace velmo::app {

using nlohmann::ordered_json;

HeadlessHost::HeadlessHost(std::ostream& out, bool answerYes, bool dryRunPower, PowerControl& power)
    : out_(out), answerYes_(answerYes), dryRunPower_(dryRunPower), power_(power) {}

void HeadlessHost::Attach(const core::CMainFrame& frame, const core::MonitorState& state) {
  frame_ = &frame;
  state_ = &state;
}

void HeadlessHost::Emit(const ordered_json& event) {
  out_ << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  out_.flush();
}

void HeadlessHost::ShowMessage(const std::string& text, const std::string& caption) {
  Emit({{"event", "message"}, {"caption", caption}, {"text", text}});
}

void HeadlessHost::EndProgram(int exitCode) {
  // The hardware cannot be reached at all: the program ends at once, without saving, through
  // RunVelmond's exit path.
  EmitExit(exitCode, false);
  throw hw::ProgramEnd{exitCode};
}

bool HeadlessHost::AskYesNo(const std::string& text) {
  Emit({{"event", "question"}, {"text", text}, {"answer", answerYes_ ? "yes" : "no"}});
  return answerYes_;
}

void HeadlessHost::OpenAlarmDialog(int32_t action, const std::string& condition) {
  Emit({{"event", "alarm-dialog"}, {"action", action}, {"condition", condition}});
}

bool HeadlessHost::NotifyTray(core::TrayOp op, const core::TrayIconData& data) {
  if (op == core::TrayOp::kDelete) {
    trayShown_ = false;
    trayIcon_ = 0;
    trayTip_.clear();
    return true;
  }
  const std::string tip = data.hasTip ? data.tooltip : std::string();
  if (!trayShown_ || data.icon != trayIcon_ || tip != trayTip_) {
    Emit({{"event", "tray"}, {"icon", data.icon}, {"tooltip", tip}});
  }
  trayShown_ = true;
  trayIcon_ = data.icon;
  trayTip_ = tip;
  return true;
}

void HeadlessHost::ShowPage(core::Page page) {
  Emit({{"event", "page"}, {"page", core::PageName(page)}});
}

void HeadlessHost::SetTimer(uint32_t periodMs) {
  if (periodMs == timerPeriod_) return;
  timerPeriod_ = periodMs;
  Emit({{"event", "timer"}, {"period_ms", periodMs}});
}

bool HeadlessHost::RequestPower(core::PowerRequest request) {
  const char* name = core::PowerRequestName(request);
  if (dryRunPower_) {
    Emit({{"event", "power"}, {"request", name}, {"sent", false}});
    return true;
  }
  std::string error;
  const bool ok = power_.Request(request, &error);
  Emit({{"event", "power"}, {"request", name}, {"sent", ok}});
  if (!ok) std::cerr << "velmond: " << name << " refused: " << error << '\n';
  return ok;
}

void HeadlessHost::TickDone() {
  if (!frame_ || !state_) return;
  const core::MonitorState& s = *state_;
  if (extensions_) extensions_->OnTick(s, frame_->BoardText());
  const core::History* history = extensions_ ? extensions_->GetHistory() : nullptr;
  ordered_json channels = ordered_json::object();
  for (int item = 0; item < core::kChannelCount; ++item) {
    const core::ChannelRecord& r = s[item];
    channels[core::ChannelName(item)] = {{"present", r.present},       {"value", r.value},
                                         {"outOfRange", r.outOfRange}, {"changed", r.changed},
                                         {"enabled", r.alarm.enabled}, {"upper", r.alarm.upper},
                                         {"lower", r.alarm.lower}};
    if (history) {  // the history extension adds the lowest and highest readings since start
      auto& c = channels[core::ChannelName(item)];
      if (auto low = history->Min(item)) c["min"] = *low;
      if (auto high = history->Max(item)) c["max"] = *high;
    }
  }
  const core::AppParams& p = s.params;
  Emit({{"event", "tick"},
        {"tick", frame_->TickCount()},
        {"hmType", s.hmType},
        {"mbModel", s.mbModel},
        {"status", frame_->StatusText()},
        {"alarmActive", frame_->AlarmActive()},
        {"currentAlarmChannel", frame_->CurrentAlarmChannel()},
        {"channels", channels},
        {"params",
         {{"AutoUpdateInterval", p.AutoUpdateInterval},
          {"bAutoUpdate", p.bAutoUpdate},
          {"bAlarm", p.bAlarm},
          {"iWarningActs", p.iWarningActs},
          {"bInstallOnTaskbar", p.bInstallOnTaskbar}}},
        {"pages", core::PageSlotsToJson(slots_, s.mbModel)}});
}

void HeadlessHost::OnHardwareFailure(const hw::HwFailure& failure) {
  // What the message box cannot say (a device refused for its owner) goes to the log.
  if (!failure.detail.empty() && failure.error != hw::HwError::kPhysicalReadFailed)
    std::cerr << "velmond: " << hw::Describe(failure.error) << ": " << failure.detail << '\n';
  NullFrameHost::OnHardwareFailure(failure);
}

void HeadlessHost::Warn(const std::string& text) {
  std::cerr << "velmond: " << text << '\n';
  Emit({{"event", "warning"}, {"text", text}});
}

void HeadlessHost::SettingsNotSaved(const std::string& reason) {
  std::cerr << "velmond: settings not saved: " << reason << '\n';
}

void HeadlessHost::Quit(int exitCode, bool saved) {
  quit_ = true;
  exitCode_ = exitCode;
  saved_ = saved;
}

void HeadlessHost::EmitExit(int code, bool saved) {
  Emit({{"event", "exit"}, {"code", code}, {"saved", saved}});
}

}  // namespace velmo::app
