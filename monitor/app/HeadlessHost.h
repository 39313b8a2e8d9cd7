// The console host: every report of the frame is written out as JSON event lines on the output;
// questions take a fixed answer.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "monitor/app/ProgramHost.h"

namespace velmo::app {

class HeadlessHost : public ProgramHost {
 public:
  HeadlessHost(std::ostream& out, bool answerYes, bool dryRunPower, PowerControl& power);

  void ShowMessage(const std::string& text, const std::string& caption) override;
  void EndProgram(int exitCode) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<core::AlarmRangeDialogData> RunAlarmRangeDialog(
      const core::AlarmRangeDialogData&) override {
    return std::nullopt;
  }
  std::optional<core::AppParamsDialogData> RunAppParamsDialog(
      const core::AppParamsDialogData&) override {
    return std::nullopt;
  }

  void Emit(const nlohmann::ordered_json& event);
  void EmitExit(int code, bool saved);
  // The update timer's period as last reported; 0 while it is stopped.
  uint32_t TimerPeriod() const { return timerPeriod_; }

 private:
  void ShowFrame(const core::FrameReport& report) override;
  void ShowTick(const core::FrameReport& report) override;
  void ShowAlarmCommand(const core::AlarmCommands::Run& run) override;
  void ShowWarning(const std::string& text) override;
  void ShowPower(const char* name, bool sent, bool dryRun) override;

  void WriteLine(const std::string& line);

  std::ostream& out_;
  bool answerYes_;
  int32_t trayIcon_ = 0;
  std::string trayTip_;
  bool trayShown_ = false;
  uint32_t timerPeriod_ = 0;
};

}  // namespace velmo::app
