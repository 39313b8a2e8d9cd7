// What both programs' hosts do alike: the log lines of hardware failures, warnings, power
// requests, alarm commands that did not start and settings that were not saved, and the end of
// the program. A host derives from it and only renders: the frame's state, the tick, a power
// request's outcome, a warning.
#pragma once

#include <string>

#include "monitor/core/FrameHost.h"

namespace velmo::app {

class PowerControl;

class ProgramHost : public core::FrameHost {
 public:
  // `power` null: power requests are reported, not sent (as with `dryRunPower`).
  ProgramHost(PowerControl* power, bool dryRunPower);

  void Warn(const std::string& text) final;
  void OnHardwareFailure(const hw::HwFailure& failure) override;
  bool RequestPower(core::PowerRequest request) final;
  void Render(const core::FrameReport& report) final;

  // The frame has ended (or the hardware layer gave up): the program's loop ends.
  bool QuitRequested() const { return quit_; }
  int ExitCode() const { return exitCode_; }
  bool Saved() const { return saved_; }
  // Why the settings could not be saved at the end (empty: they were, or nothing was tried).
  const std::string& NotSavedReason() const { return notSavedReason_; }

 protected:
  // The frame's part of a report: pages, dialogs, the tray icon, the timer.
  virtual void ShowFrame(const core::FrameReport& report) = 0;
  // After the extensions' lines: what a tick shows besides the frame.
  virtual void ShowTick(const core::FrameReport& report) { (void)report; }
  virtual void ShowAlarmCommand(const core::AlarmCommands::Run& run) { (void)run; }
  virtual void ShowWarning(const std::string& text) { (void)text; }
  // A power request: `sent` whether it went out; `dryRun` when it was only reported.
  virtual void ShowPower(const char* name, bool sent, bool dryRun) {
    (void)name, (void)sent, (void)dryRun;
  }
  void EndWith(int exitCode, bool saved);

 private:
  PowerControl* power_;
  bool dryRunPower_;
  std::string notSavedReason_;
  bool quit_ = false;
  int exitCode_ = 0;
  bool saved_ = false;
};

}  // namespace velmo::app
