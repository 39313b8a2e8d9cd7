#include "monitor/app/HeadlessHost.h"

#include "monitor/core/History.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/PageSlotsJson.h"

namespace velmo::app {

using nlohmann::ordered_json;

HeadlessHost::HeadlessHost(std::ostream& out, bool answerYes, bool dryRunPower, PowerControl& power)
    : ProgramHost(&power, dryRunPower), out_(out), answerYes_(answerYes) {}

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

void HeadlessHost::ShowFrame(const core::FrameReport& report) {
  if (report.showPage) Emit({{"event", "page"}, {"page", core::PageName(*report.showPage)}});
  if (report.openAlarmDialog) {
    Emit({{"event", "alarm-dialog"},
          {"action", report.openAlarmDialog->action},
          {"condition", report.openAlarmDialog->condition}});
  }
  if (report.tray) {
    // A line when the icon appears or changes; its removal says nothing.
    const core::TrayView& tray = *report.tray;
    if (tray.icon == 0) {
      trayShown_ = false;
      trayIcon_ = 0;
      trayTip_.clear();
    } else {
      if (!trayShown_ || tray.icon != trayIcon_ || tray.tooltip != trayTip_)
        Emit({{"event", "tray"}, {"icon", tray.icon}, {"tooltip", tray.tooltip}});
      trayShown_ = true;
      trayIcon_ = tray.icon;
      trayTip_ = tray.tooltip;
    }
  }
  if (report.timerSet && report.timerPeriodMs != timerPeriod_) {
    timerPeriod_ = report.timerPeriodMs;
    Emit({{"event", "timer"}, {"period_ms", timerPeriod_}});
  }
}

void HeadlessHost::ShowAlarmCommand(const core::AlarmCommands::Run& run) {
  Emit({{"event", "alarm-command"},
        {"channel", core::ChannelName(run.channel)},
        {"argv", run.argv},
        {"started", run.started}});
}

void HeadlessHost::ShowTick(const core::FrameReport& report) {
  if (!report.state) return;
  const core::MonitorState& s = *report.state;
  const core::History* history = report.history;
  ordered_json channels = ordered_json::object();
  for (int item = 0; item < core::kChannelCount; ++item) {
    const core::ChannelRecord& r = s[item];
    // A present channel whose sensor gave nothing this tick has no value: null, never its word.
    const ordered_json value =
        r.present != 0 && !s.HasValue(item) ? ordered_json(nullptr) : ordered_json(r.value);
    channels[core::ChannelName(item)] = {{"present", r.present},       {"value", value},
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
        {"tick", report.tick},
        {"hmType", s.hmType},
        {"mbModel", s.mbModel},
        {"status", report.status},
        {"alarmActive", report.alarmActive},
        {"currentAlarmChannel", report.currentAlarmChannel},
        {"channels", channels},
        {"params",
         {{"AutoUpdateInterval", p.AutoUpdateInterval},
          {"bAutoUpdate", p.bAutoUpdate},
          {"bAlarm", p.bAlarm},
          {"iWarningActs", p.iWarningActs},
          {"bInstallOnTaskbar", p.bInstallOnTaskbar}}},
        {"pages", core::PageSlotsToJson(report.pages, s.mbModel)}});
}

void HeadlessHost::ShowWarning(const std::string& text) {
  Emit({{"event", "warning"}, {"text", text}});
}

void HeadlessHost::ShowPower(const char* name, bool sent, bool /*dryRun*/) {
  Emit({{"event", "power"}, {"request", name}, {"sent", sent}});
}

void HeadlessHost::EmitExit(int code, bool saved) {
  Emit({{"event", "exit"}, {"code", code}, {"saved", saved}});
}

}  // namespace velmo::app
