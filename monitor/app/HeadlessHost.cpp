#include "monitor/app/HeadlessHost.h"

#include "monitor/core/History.h"
#include "monitor/core/JsonLine.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/PageSlotsJson.h"

namespace velmo::app {

using nlohmann::ordered_json;

HeadlessHost::HeadlessHost(std::ostream& out, bool answerYes, bool dryRunPower, PowerControl& power)
    : ProgramHost(&power, dryRunPower), out_(out), answerYes_(answerYes) {}

void HeadlessHost::Emit(const ordered_json& event) {
  WriteLine(event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void HeadlessHost::WriteLine(const std::string& line) {
  out_ << line << '\n';
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
  core::JsonLine line;
  line.Field("event", "tick")
      .Field("tick", report.tick)
      .Field("hmType", s.hmType)
      .Field("mbModel", s.mbModel)
      .Field("status", report.status)
      .Field("alarmActive", report.alarmActive ? 1 : 0)  // a number in the event stream
      .Field("currentAlarmChannel", report.currentAlarmChannel)
      .Open("channels");
  for (int item = 0; item < core::kChannelCount; ++item) {
    const core::ChannelRecord& r = s[item];
    line.Open(core::ChannelName(item)).Field("present", r.present);
    // A present channel whose sensor gave nothing this tick has no value: null, never its word.
    if (r.present != 0 && !s.HasValue(item)) {
      line.Null("value");
    } else {
      line.Field("value", r.value);
    }
    line.Field("outOfRange", r.outOfRange)
        .Field("changed", r.changed)
        .Field("enabled", r.alarm.enabled)
        .Field("upper", r.alarm.upper)
        .Field("lower", r.alarm.lower);
    if (history) {  // the history extension adds the lowest and highest readings since start
      if (auto low = history->Min(item)) line.Field("min", *low);
      if (auto high = history->Max(item)) line.Field("max", *high);
    }
    line.Close();
  }
  line.Close();
  const core::AppParams& p = s.params;
  line.Open("params")
      .Field("AutoUpdateInterval", p.AutoUpdateInterval)
      .Field("bAutoUpdate", p.bAutoUpdate)
      .Field("bAlarm", p.bAlarm)
      .Field("iWarningActs", p.iWarningActs)
      .Field("bInstallOnTaskbar", p.bInstallOnTaskbar)
      .Close();
  core::WritePageSlots(line, "pages", report.pages, s.mbModel);
  WriteLine(std::move(line).Finish());
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
