// The monitor's icon in the notification area through QSystemTrayIcon: the icon and tooltip the
// frame reports, menu 131 with its default item, and what the user does with the icon turned
// into the frame's tray input.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "monitor/core/FrameReport.h"
#include "monitor/core/MainFrame.h"

namespace velmo::app::gui {

class CNotificationArea : public QObject {
  Q_OBJECT

 public:
  // `available` says whether a notification area exists now; `activationOnly` whether the one
  // that shows the icon reports only an activation (the StatusNotifierItem hosts), so that the
  // activation must open the monitor as a double click does. Both are asked when needed.
  CNotificationArea(std::function<bool()> available, std::function<bool()> activationOnly);
  ~CNotificationArea() override;

  // A menu command; what the user did with the icon.
  std::function<void(uint32_t id)> onCommand;
  std::function<void(core::TrayInput input)> onInput;

  // Shows the icon and tooltip (icon 0 removes it); false when no notification area can take
  // the icon. While it is not shown, the next call asks for a notification area again.
  bool Show(const core::TrayView& view);
  // The popup menu at the cursor, unless it is already open.
  void ShowMenu();

  bool Shown() const { return shown_; }
  int32_t IconShown() const { return icon_; }
  QString ToolTip() const { return tray_.toolTip(); }
  QMenu& Menu() { return menu_; }
  QSystemTrayIcon& Tray() { return tray_; }

  // The standard answers: QSystemTrayIcon's own test, and a StatusNotifierWatcher with a host
  // registered on the session bus (the test Qt itself makes before it uses that protocol).
  static bool SystemTrayAvailable();
  static bool StatusNotifierHostRunning();

 private:
  void Activated(QSystemTrayIcon::ActivationReason reason);
  const QIcon& IconOf(int32_t resource);

  std::function<bool()> available_;
  std::function<bool()> activationOnly_;
  std::optional<bool> activationOnlyKnown_;
  QSystemTrayIcon tray_;
  QMenu menu_;
  std::map<int32_t, QIcon> icons_;
  int32_t icon_ = 0;
  bool shown_ = false;
};

}  // namespace velmo::app::gui
