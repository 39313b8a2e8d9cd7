#include "monitor/app/gui/DesktopNotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace velmo::app::gui {

void FreedesktopNotifier::Notify(const QString& summary, const QString& body) {
  if (!bus_) bus_ = QDBusConnection::sessionBus();
  if (!bus_->isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  // Without a running service the bus answers with an error, which nobody waits for.
  call.setAutoStartService(false);
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(2));  // critical
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("velmond"));
  call << QStringLiteral("Velmo") << 0u << QStringLiteral("dialog-warning") << summary << body
       << QStringList() << hints << -1;
  bus_->call(call, QDBus::NoBlock);
}

}  // namespace velmo::app::gui
