// Desktop notifications of starting alarms: one freedesktop notification per start, sent over the
// session bus to whatever notification service runs; nothing when none runs.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <optional>

namespace velmo::app::gui {

class DesktopNotifier {
 public:
  virtual ~DesktopNotifier() = default;
  virtual void Notify(const QString& summary, const QString& body) = 0;
};

// org.freedesktop.Notifications.Notify, sent without waiting for the answer and without starting
// a service that is not running. Without a connection given it uses the session bus, reached at
// the first notification.
class FreedesktopNotifier : public DesktopNotifier {
 public:
  FreedesktopNotifier() = default;
  explicit FreedesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}
  void Notify(const QString& summary, const QString& body) override;

 private:
  std::optional<QDBusConnection> bus_;
};

}  // namespace velmo::app::gui
