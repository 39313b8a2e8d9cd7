#include "monitor/app/ProgramHost.h"

#include <iostream>

#include "monitor/app/LogindPower.h"

namespace velmo::app {

ProgramHost::ProgramHost(PowerControl* power, bool dryRunPower)
    : power_(power), dryRunPower_(dryRunPower) {}

void ProgramHost::Warn(const std::string& text) {
  std::cerr << "velmond: " << text << '\n';
  ShowWarning(text);
}

void ProgramHost::OnHardwareFailure(const hw::HwFailure& failure) {
  // What the message box cannot say (a device refused for its owner) goes to the log.
  if (!failure.detail.empty() && failure.error != hw::HwError::kPhysicalReadFailed)
    std::cerr << "velmond: " << hw::Describe(failure.error) << ": " << failure.detail << '\n';
  core::FrameHost::OnHardwareFailure(failure);
}

bool ProgramHost::RequestPower(core::PowerRequest request) {
  const char* name = core::PowerRequestName(request);
  if (dryRunPower_ || !power_) {
    ShowPower(name, false, true);
    return true;
  }
  const auto sent = power_->Request(request);
  ShowPower(name, sent.has_value(), false);
  if (!sent) std::cerr << "velmond: " << name << " refused: " << sent.error().message << '\n';
  return sent.has_value();
}

void ProgramHost::Render(const core::FrameReport& report) {
  ShowFrame(report);
  for (const core::AlarmCommands::Run& run : report.alarmCommands) {
    ShowAlarmCommand(run);
    if (!run.started) std::cerr << "velmond: " << core::AlarmCommands::NotStartedLine(run) << '\n';
  }
  for (const std::string& warning : report.warnings)
    Warn(warning);
  if (report.ticked) ShowTick(report);
  if (report.end) {
    if (!report.end->saved) {
      std::cerr << "velmond: settings not saved: " << report.end->notSavedReason << '\n';
      notSavedReason_ = report.end->notSavedReason;
    }
    EndWith(report.end->exitCode, report.end->saved);
  }
}

void ProgramHost::EndWith(int exitCode, bool saved) {
  quit_ = true;
  exitCode_ = exitCode;
  saved_ = saved;
}

}  // namespace velmo::app
