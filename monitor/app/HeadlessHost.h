// The console host: everything the GUI would show becomes one JSON event line on the output;
// questions take a fixed answer.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "monitor/core/FrameHost.h"

namespace velmo::core {
class CMainFrame;
class ExtensionRunner;
struct MonitorState;
}  // namespace velmo::core

namespace velmo::app {

class PowerControl;

class HeadlessHost : public core::NullFrameHost {
 public:
  HeadlessHost(std::ostream& out, bool answerYes, bool dryRunPower, PowerControl& power);
  void Attach(const core::CMainFrame& frame, const core::MonitorState& state);
  // The extensions run after every tick (before its event); null: none.
  void AttachExtensions(core::ExtensionRunner* extensions) { extensions_ = extensions; }

  void ShowMessage(const std::string& text, const std::string& caption) override;
  void EndProgram(int exitCode) override;
  bool AskYesNo(const std::string& text) override;
  void OpenAlarmDialog(int32_t action, const std::string& condition) override;
  bool NotifyTray(core::TrayOp op, const core::TrayIconData& data) override;
  void ShowPage(core::Page page) override;
  void SetTimer(uint32_t periodMs) override;
  void PublishPages(const core::PageSlots& slots) override { slots_ = slots; }
  bool RequestPower(core::PowerRequest request) override;
  void TickDone() override;
  void Warn(const std::string& text) override;
  void OnHardwareFailure(const hw::HwFailure& failure) override;
  void SettingsNotSaved(const std::string& reason) override;
  void Quit(int exitCode, bool saved) override;

  void Emit(const nlohmann::ordered_json& event);
  void EmitExit(int code, bool saved);
  bool QuitRequested() const { return quit_; }
  int ExitCode() const { return exitCode_; }
  bool Saved() const { return saved_; }

 private:
  std::ostream& out_;
  bool answerYes_;
  bool dryRunPower_;
  PowerControl& power_;
  const core::CMainFrame* frame_ = nullptr;
  const core::MonitorState* state_ = nullptr;
  core::ExtensionRunner* extensions_ = nullptr;
  core::PageSlots slots_;
  int32_t trayIcon_ = 0;
  std::string trayTip_;
  bool trayShown_ = false;
  uint32_t timerPeriod_ = 0;
  bool quit_ = false;
  int exitCode_ = 0;
  bool saved_ = false;
};

}  // namespace velmo::app
