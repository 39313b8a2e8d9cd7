// The Qt host of the monitoring core: it renders the frame's reports with the window, the
// notification area, the dialogs and a QTimer, answers its questions, and is the only way from
// Qt into the core. Every entry runs inside Enter(), which turns the hardware layer's ProgramEnd
// and the frame's own end into the end of the event loop.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "monitor/app/ProgramHost.h"
#include "monitor/core/FrameHost.h"

namespace velmo::core {
class CMainFrame;
class History;
class Monitor;
struct MonitorState;
}  // namespace velmo::core

namespace velmo::app::gui {

class CAlarmActionDialog;
class CMainWindow;
class CNotificationArea;
class DesktopNotifier;

// What the host needs from the machine; tests swap each part.
struct GuiServices {
  PowerControl* power = nullptr;        // restart and power-off requests
  bool dryRunPower = false;             // report them on standard error instead of sending them
  DesktopNotifier* notifier = nullptr;  // null: no desktop notifications
  std::function<bool()> trayAvailable;  // default: QSystemTrayIcon's test
  std::function<bool()> activationOnlyTray;  // default: a StatusNotifierItem host runs
  std::string programPath;                   // the OEM information file derives from it
  // Ends the event loops with the exit code; default QCoreApplication::exit.
  std::function<void(int)> quit;
};

// The status line of a frame that has no notification area to live in.
inline constexpr const char* kNoTrayStatus =
    "No notification area found: closing this window minimizes it.";

class CGuiHost : public QObject, public ProgramHost {
  Q_OBJECT

 public:
  explicit CGuiHost(GuiServices services);
  ~CGuiHost() override;

  // The monitor it hosts (its extension settings turn the desktop notification of starting
  // alarms on or off); `advanceClock` moves a simulated board's clock (may be empty).
  void Attach(core::Monitor& monitor, std::function<void(uint32_t)> advanceClock = {});
  // The frame's creation; false when the program is to end (ExitCode() says how). Where no
  // notification area took the icon, the frame shows at once with the status line.
  bool Create();

  // ---- Entries from Qt ----
  void Command(uint32_t id);
  void TimerTick();
  void RequestExit();  // SIGINT, SIGTERM: the end without a message box

  bool Ended() const { return ended_; }
  bool NoTrayAtStart() const { return noTrayAtStart_; }
  // The frame's window, made on first use.
  CMainWindow& Window();
  bool HasWindow() const { return window_ != nullptr; }
  CNotificationArea& Tray() { return *tray_; }
  // The alarm dialog, made on first use.
  CAlarmActionDialog& AlarmDialog();
  const QTimer& Timer() const { return timer_; }
  // The OEM information file the About box reads.
  std::string OemFile() const;
  void ShowAbout();

  // ---- core::FrameHost ----
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void EndProgram(int exitCode) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<core::AlarmRangeDialogData> RunAlarmRangeDialog(
      const core::AlarmRangeDialogData& data) override;
  std::optional<core::AppParamsDialogData> RunAppParamsDialog(
      const core::AppParamsDialogData& data) override;

 private:
  void ShowFrame(const core::FrameReport& report) override;
  void ShowTick(const core::FrameReport& report) override;
  void ShowPower(const char* name, bool sent, bool dryRun) override;
  template <typename F>
  void Enter(F&& call);
  void Finish(int exitCode);
  bool FrameInView() const;
  void BuildSheet();
  void ShowPage(core::Page page);
  void HideFrame();

  GuiServices services_;
  core::CMainFrame* frame_ = nullptr;
  const core::MonitorState* state_ = nullptr;
  const core::History* history_ = nullptr;  // the history extension's rings; null: off
  std::function<void(uint32_t)> advanceClock_;
  QElapsedTimer clock_;
  uint64_t secondsAdvanced_ = 0;
  std::unique_ptr<CMainWindow> window_;
  std::optional<int32_t> pagesModel_;  // the sheet's board model, once the frame has asked
  core::PageSlots slots_;
  std::unique_ptr<CNotificationArea> tray_;
  std::unique_ptr<CAlarmActionDialog> alarmDialog_;
  QTimer timer_;
  bool notify_ = true;
  bool noTrayAtStart_ = false;
  bool signalled_ = false;
  bool ended_ = false;
};

}  // namespace velmo::app::gui
