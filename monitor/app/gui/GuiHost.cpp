#include "monitor/app/gui/GuiHost.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <iostream>

#include "monitor/app/LogindPower.h"
#include "monitor/app/gui/AboutDialog.h"
#include "monitor/app/gui/AlarmActionDialog.h"
#include "monitor/app/gui/AlarmRangeDialog.h"
#include "monitor/app/gui/AppParametersDialog.h"
#include "monitor/app/gui/DesktopNotifier.h"
#include "monitor/app/gui/MainWindow.h"
#include "monitor/app/gui/NotificationArea.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/Monitor.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/OemInfo.h"
#include "monitor/core/Resources.h"

namespace velmo::app::gui {

CGuiHost::CGuiHost(GuiServices services)
    : ProgramHost(services.power, services.dryRunPower), services_(std::move(services)) {
  if (!services_.trayAvailable) services_.trayAvailable = &CNotificationArea::SystemTrayAvailable;
  if (!services_.activationOnlyTray)
    services_.activationOnlyTray = &CNotificationArea::StatusNotifierHostRunning;
  if (!services_.quit) services_.quit = [](int code) { QCoreApplication::exit(code); };
  tray_ =
      std::make_unique<CNotificationArea>(services_.trayAvailable, services_.activationOnlyTray);
  tray_->onCommand = [this](uint32_t id) { Command(id); };
  tray_->onInput = [this](core::TrayInput input) {
    bool menu = false;
    Enter([&] { menu = frame_->OnTrayInput(input); });
    if (menu && !Ended()) tray_->ShowMenu();
  };
  // Timer 100. A coarse timer lets the system bundle its wake-ups with others'.
  timer_.setTimerType(Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, &CGuiHost::TimerTick);
}

CGuiHost::~CGuiHost() = default;

void CGuiHost::Attach(core::Monitor& monitor, std::function<void(uint32_t)> advanceClock) {
  frame_ = &monitor.Frame();
  state_ = &monitor.State();
  notify_ = monitor.Extensions().desktopNotification != 0;
  advanceClock_ = std::move(advanceClock);
  clock_.start();
}

template <typename F>
void CGuiHost::Enter(F&& call) {
  if (ended_ || !frame_) return;
  try {
    call();
  } catch (const hw::ProgramEnd& end) {
    // The hardware cannot be reached: the program ends at once, without saving.
    EndWith(end.exitCode, false);
  }
  if (QuitRequested()) Finish(ExitCode());
}

void CGuiHost::Finish(int exitCode) {
  if (ended_) return;
  ended_ = true;
  timer_.stop();
  if (alarmDialog_) alarmDialog_->hide();
  if (window_) window_->hide();
  tray_->Tray().hide();
  if (!NotSavedReason().empty() && !signalled_) {
    // One message at the end: the settings of this run are lost, the file on disk is as it was.
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(core::kAppTitle),
                    QString::fromStdString("The settings could not be saved (" + NotSavedReason() +
                                           "); the settings file was left as it was."),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
  // Leaves every event loop, the modal dialogs' too.
  services_.quit(exitCode);
}

CAlarmActionDialog& CGuiHost::AlarmDialog() {
  if (!alarmDialog_) {
    // Made at the first alarm, like the window: the start-up does not wait for it.
    alarmDialog_ = std::make_unique<CAlarmActionDialog>();
    alarmDialog_->onOk = [this](int32_t action) {
      Enter([&] { frame_->AlarmDialogOk(action); });
      // The action is posted: the frame handles it once this click has been dealt with.
      QMetaObject::invokeMethod(
          this, [this] { Enter([this] { frame_->ProcessPostedMessages(); }); },
          Qt::QueuedConnection);
    };
    alarmDialog_->onCancel = [this] { Enter([this] { frame_->AlarmDialogCancel(); }); };
  }
  return *alarmDialog_;
}

CMainWindow& CGuiHost::Window() {
  if (!window_) {
    // The frame's window is made when it is first needed: a monitor that lives in the tray
    // never pays for it.
    window_ = std::make_unique<CMainWindow>();
    window_->onCommand = [this](uint32_t id) { Command(id); };
    window_->onClose = [this] { Enter([this] { frame_->OnClose(); }); };
    if (pagesModel_) BuildSheet();
    window_->Sheet().SetSlots(slots_);  // the latest the frame published
  }
  return *window_;
}

void CGuiHost::BuildSheet() {
  CMonitorSheet& sheet = window_->Sheet();
  sheet.CreatePages(*pagesModel_);
  if (history_) sheet.AddHistoryPage(*history_, *state_);
}

bool CGuiHost::Create() {
  bool created = false;
  Enter([&] { created = frame_->OnCreate() == 0; });
  if (!created && !ended_) {
    ended_ = true;
    EndWith(1, false);
  }
  if (ended_) return false;
  if (!tray_->Shown()) {
    // Nothing to live in: the frame stays reachable on the desktop and says why it shows.
    noTrayAtStart_ = true;
    Window().ShowStatusLine(QString::fromLatin1(kNoTrayStatus));
    Window().show();
  }
  return true;
}

void CGuiHost::Command(uint32_t id) {
  if (id == core::kCmdAbout) {
    ShowAbout();  // the application object's command, not the frame's
    return;
  }
  Enter([&] { frame_->OnCommand(id); });
}

void CGuiHost::TimerTick() {
  Enter([this] {
    // A simulated board runs in real time: its clock follows the seconds that have passed.
    if (advanceClock_) {
      const uint64_t elapsed = static_cast<uint64_t>(clock_.elapsed() / 1000);
      if (elapsed > secondsAdvanced_) {
        advanceClock_(static_cast<uint32_t>(elapsed - secondsAdvanced_));
        secondsAdvanced_ = elapsed;
      }
    }
    frame_->OnTimer();
  });
}

void CGuiHost::RequestExit() {
  // The session is ending: no message box may hold it up.
  signalled_ = true;
  Enter([this] { frame_->RequestExit(); });
}

std::string CGuiHost::OemFile() const {
  return core::OemFilePath(services_.programPath);
}

void CGuiHost::ShowAbout() {
  if (ended_) return;
  CAboutDialog about(OemFile());
  about.exec();
}

bool CGuiHost::FrameInView() const {
  return window_ && window_->isVisible() && !window_->isMinimized();
}

// ---- core::FrameHost ----------------------------------------------------------------------

void CGuiHost::ShowMessage(const std::string& text, const std::string& caption) {
  if (ended_) return;
  // The program's own messages carry the exclamation icon; the hardware layer's plain boxes
  // ("debug", "Debug", "Debug Window") carry none.
  const QMessageBox::Icon icon =
      caption == core::kAppTitle ? QMessageBox::Warning : QMessageBox::NoIcon;
  QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void CGuiHost::EndProgram(int exitCode) {
  throw hw::ProgramEnd{exitCode};
}

bool CGuiHost::AskYesNo(const std::string& text) {
  if (ended_) return false;
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(core::kAppTitle),
                  QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No);
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Yes;
}

void CGuiHost::ShowFrame(const core::FrameReport& report) {
  if (report.hideFrame) HideFrame();
  if (report.closeAlarmDialog && alarmDialog_) alarmDialog_->hide();
  slots_ = report.pages;
  if (window_) window_->Sheet().SetSlots(slots_);
  if (report.createPages) {
    pagesModel_ = *report.createPages;
    history_ = report.history;
    if (window_) {
      BuildSheet();
      window_->Sheet().SetSlots(slots_);
    }
  }
  if (report.showPage) ShowPage(*report.showPage);
  if (report.openAlarmDialog && !Ended())
    AlarmDialog().Open(report.openAlarmDialog->action, report.openAlarmDialog->condition);
  if (report.tray) tray_->Show(*report.tray);
  if (report.timerSet) {
    if (report.timerPeriodMs == 0 || Ended()) {
      timer_.stop();
    } else {
      timer_.start(static_cast<int>(std::min<uint32_t>(report.timerPeriodMs, INT32_MAX)));
    }
  }
  if (report.ticked && window_) window_->Sheet().Refresh(FrameInView());
}

void CGuiHost::ShowPage(core::Page page) {
  if (ended_) return;
  CMainWindow& window = Window();
  window.Sheet().ShowPage(page);
  window.showNormal();
  window.raise();
  window.activateWindow();
}

void CGuiHost::HideFrame() {
  // Without a notification area a hidden frame could not be reached again: it is minimized.
  if (!tray_->Shown()) {
    Window().showMinimized();
  } else if (window_) {
    window_->hide();
  }
}

std::optional<core::AlarmRangeDialogData> CGuiHost::RunAlarmRangeDialog(
    const core::AlarmRangeDialogData& data) {
  if (ended_) return std::nullopt;
  CAlarmRangeDialog dialog(data);
  if (dialog.exec() != QDialog::Accepted || ended_) return std::nullopt;
  return dialog.Result();
}

std::optional<core::AppParamsDialogData> CGuiHost::RunAppParamsDialog(
    const core::AppParamsDialogData& data) {
  if (ended_) return std::nullopt;
  CAppParametersDialog dialog(data);
  if (dialog.exec() != QDialog::Accepted || ended_) return std::nullopt;
  return dialog.Result();
}

void CGuiHost::ShowPower(const char* name, bool /*sent*/, bool dryRun) {
  if (dryRun) std::cerr << "velmond: " << name << " not sent (dry run)\n";
}

void CGuiHost::ShowTick(const core::FrameReport& report) {
  if (window_) window_->Sheet().RefreshHistory(FrameInView());
  if (!notify_ || !services_.notifier) return;
  for (const core::AlarmStart& start : report.alarmStarts)
    services_.notifier->Notify(QStringLiteral("Velmo"), QString::fromStdString(start.sentence));
}

}  // namespace velmo::app::gui
