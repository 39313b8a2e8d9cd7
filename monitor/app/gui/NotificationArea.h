// The monitor's icon in the notification area through QSystemTrayIcon: the add, modify and delete
// requests of the tray logic, the tooltip, menu 131 with its default item, and the icon's mouse
// notifications turned into the messages the tray logic understands.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "monitor/core/FrameHost.h"

namespace velmo::app::gui {

class CNotificationArea : public QObject {
  Q_OBJECT

 public:
  // `available` says whether a notification area exists now; `activationOnly` whether the one
  // that shows the icon reports only an activation (the StatusNotifierItem hosts), so that the
  // activation must open the monitor as a double click does. Both are asked when needed.
  CNotificationArea(std::function<bool()> available, std::function<bool()> activationOnly);
  ~CNotificationArea() override;

  // A menu command; a notification as (icon id, mouse message) for the tray logic.
  std::function<void(uint32_t id)> onCommand;
  std::function<void(uint32_t wParam, uint32_t lParam)> onNotify;

  // One request of the tray logic; false when no notification area can take the icon.
  bool Apply(core::TrayOp op, const core::TrayIconData& data);
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
  uint32_t id_ = 0;
  int32_t icon_ = 0;
  bool shown_ = false;
};

}  // namespace velmo::app::gui
