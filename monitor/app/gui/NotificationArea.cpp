#include "monitor/app/gui/NotificationArea.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariant>
#include <span>

#include "monitor/core/Resources.h"
#include "monitor/display/Icons.h"

namespace velmo::app::gui {

CNotificationArea::CNotificationArea(std::function<bool()> available,
                                     std::function<bool()> activationOnly)
    : available_(std::move(available)), activationOnly_(std::move(activationOnly)) {
  const std::span<const core::MenuItem> menu = core::MenuResource(core::kMenuTray);
  menu_.setTitle(QString::fromLatin1(core::kTrayMenuTitle));
  menu_.setSeparatorsCollapsible(false);
  if (!menu.empty()) {
    for (const core::MenuItem& item : menu.front().popup) {
      if (item.IsSeparator()) {
        menu_.addSeparator();
        continue;
      }
      QAction* action = menu_.addAction(QString::fromLatin1(item.text));
      action->setData(item.id);
      const uint32_t id = item.id;
      connect(action, &QAction::triggered, this, [this, id] {
        if (onCommand) onCommand(id);
      });
    }
  }
  // The first item is the default one, drawn in bold.
  if (!menu_.actions().isEmpty()) {
    QAction* first = menu_.actions().front();
    menu_.setDefaultAction(first);
    QFont bold = first->font();
    bold.setBold(true);
    first->setFont(bold);
  }
  tray_.setContextMenu(&menu_);
  connect(&tray_, &QSystemTrayIcon::activated, this, &CNotificationArea::Activated);
}

CNotificationArea::~CNotificationArea() {
  tray_.setContextMenu(nullptr);
}

const QIcon& CNotificationArea::IconOf(int32_t resource) {
  auto it = icons_.find(resource);
  if (it == icons_.end()) it = icons_.emplace(resource, display::IconOf(resource)).first;
  return it->second;
}

bool CNotificationArea::Show(const core::TrayView& view) {
  if (view.icon == 0) {
    tray_.hide();
    shown_ = false;
    icon_ = 0;
    return true;
  }
  if (!shown_ && !available_()) return false;
  // Unchanged requests (most ticks) cost nothing.
  if (view.icon != icon_) {
    tray_.setIcon(IconOf(view.icon));
    icon_ = view.icon;
  }
  const QString tip = QString::fromStdString(view.tooltip);
  if (tip != tray_.toolTip()) tray_.setToolTip(tip);
  if (!shown_) {
    tray_.show();
    shown_ = true;
  }
  return true;
}

void CNotificationArea::ShowMenu() {
  if (menu_.isVisible()) return;  // the notification area has opened it itself
  menu_.popup(QCursor::pos());
}

void CNotificationArea::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (!onInput) return;
  switch (reason) {
    case QSystemTrayIcon::Context:
      onInput(core::TrayInput::kContextMenu);
      break;
    case QSystemTrayIcon::DoubleClick:
      onInput(core::TrayInput::kActivate);
      break;
    case QSystemTrayIcon::Trigger:
      // A single click does nothing, except where the host reports nothing but the activation.
      if (!activationOnlyKnown_) activationOnlyKnown_ = activationOnly_();
      if (*activationOnlyKnown_) onInput(core::TrayInput::kActivate);
      break;
    default:
      break;
  }
}

bool CNotificationArea::SystemTrayAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool CNotificationArea::StatusNotifierHostRunning() {
  const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
    return false;
  QDBusMessage get = QDBusMessage::createMethodCall(
      watcher, QStringLiteral("/StatusNotifierWatcher"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, 500);
  return reply.isValid() && reply.value().variant().toBool();
}

}  // namespace velmo::app::gui
