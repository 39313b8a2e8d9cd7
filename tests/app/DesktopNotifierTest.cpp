// The freedesktop notification on a private session bus with a stand-in notification service.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>

#include "monitor/app/gui/DesktopNotifier.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

// A bus daemon of the test's own.
struct PrivateBus {
  QProcess daemon;
  QString address;
  PrivateBus() {
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted(5000)) return;
    QElapsedTimer waited;
    waited.start();
    while (!daemon.canReadLine() && waited.elapsed() < 5000)
      daemon.waitForReadyRead(100);
    address = QString::fromUtf8(daemon.readLine()).trimmed();
  }
  ~PrivateBus() {
    daemon.kill();
    daemon.waitForFinished(2000);
  }
};

// Answers Notify and keeps the calls.
class Notifications : public QDBusVirtualObject {
 public:
  std::vector<QDBusMessage> calls;
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    calls.push_back(message);
    connection.send(message.createReply(QVariantList{7u}));
    return true;
  }
};

void SpinUntil(const std::function<bool()>& done) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(DesktopNotifier, SendsOneNotifyToTheService) {
  PrivateBus bus;
  ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
  QDBusConnection server = QDBusConnection::connectToBus(bus.address, "velmo-test-server");
  ASSERT_TRUE(server.isConnected());
  Notifications service;
  ASSERT_TRUE(server.registerService("org.freedesktop.Notifications"));
  ASSERT_TRUE(server.registerVirtualObject("/org/freedesktop/Notifications", &service));

  QDBusConnection client = QDBusConnection::connectToBus(bus.address, "velmo-test-client");
  FreedesktopNotifier notifier(client);
  notifier.Notify("Velmo", "The CPU  Temperature has exceeded Normal Operating Tolerance.");
  SpinUntil([&] { return !service.calls.empty(); });
  ASSERT_EQ(service.calls.size(), 1u);
  const QDBusMessage& call = service.calls.front();
  EXPECT_EQ(call.interface(), "org.freedesktop.Notifications");
  EXPECT_EQ(call.member(), "Notify");
  const QVariantList args = call.arguments();
  ASSERT_EQ(args.size(), 8);
  EXPECT_EQ(args[0].toString(), "Velmo");
  EXPECT_EQ(args[1].toUInt(), 0u);
  EXPECT_EQ(args[3].toString(), "Velmo");
  EXPECT_EQ(args[4].toString(), "The CPU  Temperature has exceeded Normal Operating Tolerance.");
  EXPECT_EQ(args[7].toInt(), -1);
  EXPECT_EQ(call.signature(), "susssasa{sv}i");

  server.unregisterObject("/org/freedesktop/Notifications");
  QDBusConnection::disconnectFromBus("velmo-test-server");
  QDBusConnection::disconnectFromBus("velmo-test-client");
}

TEST(DesktopNotifier, NothingHappensWithoutANotificationService) {
  PrivateBus bus;
  ASSERT_FALSE(bus.address.isEmpty());
  QDBusConnection client = QDBusConnection::connectToBus(bus.address, "velmo-test-lonely");
  FreedesktopNotifier notifier(client);
  QElapsedTimer took;
  took.start();
  notifier.Notify("Velmo", "nobody listens");
  EXPECT_LT(took.elapsed(), 1000) << "sent without waiting for an answer";
  QDBusConnection::disconnectFromBus("velmo-test-lonely");

  FreedesktopNotifier offline(QDBusConnection("velmo-no-such-connection"));
  offline.Notify("Velmo", "no bus at all");  // returns quietly
}

}  // namespace
}  // namespace velmo::app::gui::test
