// The window host on a simulated board for the GUI tests: the real widgets, the core frame and a
// board whose clock the test moves; power requests, desktop notifications and the end of the
// event loop are recorded instead of carried out.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/app/LogindPower.h"
#include "monitor/app/gui/AlarmActionDialog.h"
#include "monitor/app/gui/DesktopNotifier.h"
#include "monitor/app/gui/GuiHost.h"
#include "monitor/app/gui/MainWindow.h"
#include "monitor/app/gui/NotificationArea.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/Monitor.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"

namespace velmo::app::gui::test {

class RecordingPower : public PowerControl {
 public:
  std::vector<core::PowerRequest> requests;
  bool refuse = false;
  base::Expected<void> Request(core::PowerRequest request) override {
    requests.push_back(request);
    if (refuse) return base::Error{"refused"};
    return {};
  }
};

class RecordingNotifier : public DesktopNotifier {
 public:
  std::vector<QString> bodies;
  void Notify(const QString&, const QString& body) override { bodies.push_back(body); }
};

// The simulated board's back-end, which can lose the portio device at any moment.
class LosableBackend : public hw::PortBackend {
 public:
  explicit LosableBackend(hw::Bus& bus) : direct_(bus) {}
  bool lost = false;
  hw::PortRead ReadPort(uint16_t port, unsigned width) override {
    if (!lost) return direct_.ReadPort(port, width);
    hw::PortRead failed;
    failed.failures = {Lost()};
    return failed;
  }
  hw::HwFailures WritePort(uint16_t port, unsigned width, uint32_t value) override {
    if (!lost) return direct_.WritePort(port, width, value);
    return {Lost()};
  }
  hw::HwFailures ReadBiosIdBytes(uint8_t dest[8]) override {
    return lost ? hw::HwFailures{Lost()} : direct_.ReadBiosIdBytes(dest);
  }
  bool IsDriver() const override { return false; }

 private:
  static hw::HwFailure Lost() {
    return {hw::HwError::kPortDeviceMissing, hw::HwAccess::kPortRead, ""};
  }
  hw::DirectBackend direct_;
};

// A board file's text: W83782D on board model 9 (or `bios`), CPU at `cpuTemp` degrees, with
// optional script entries.
inline std::string BoardText(int cpuTemp = 45, const std::string& script = "",
                             const std::string& bios = "7K4XZQB1") {
  return R"({"bios_id": ")" + bios + R"(", "chip": "w83782d", "registers": {)" +
         R"("0x22": 206, "0x23": 187, "0x24": 198, "0x25": 20, "0x26": 20, "0x27": 36,)" +
         R"("0x28": 140, "0x29": 135, "0x2A": 150, "1:0x50": )" + std::to_string(cpuTemp) +
         R"(, "2:0x50": 38, "5:0x50": 186, "5:0x51": 188}, "script": [)" + script + "]}";
}
// The CPU passes its 95 C limit after `seconds` of the board's clock.
inline std::string OverheatingBoard(int seconds = 10) {
  return BoardText(45,
                   R"({"at": )" + std::to_string(seconds) + R"(, "registers": {"1:0x50": 97}})");
}

class RecordingLauncher : public core::CommandLauncher {
 public:
  std::vector<std::vector<std::string>> runs;
  base::Expected<void> Launch(const std::vector<std::string>& argv) override {
    runs.push_back(argv);
    return {};
  }
};

struct GuiRigOptions {
  std::string board = BoardText();
  bool trayAvailable = true;
  bool activationOnlyTray = false;
  bool dryRunPower = false;
  std::string programPath = "/nonexistent/velmond";
  std::function<void(core::MemoryRegistry&)> settings;  // stored settings before the start
  std::optional<std::string> autostartDir;              // none: the folder cannot be found
};

inline GuiRigOptions OnBoard(std::string board) {
  GuiRigOptions options;
  options.board = std::move(board);
  return options;
}
inline GuiRigOptions WithoutTray() {
  GuiRigOptions options;
  options.trayAvailable = false;
  return options;
}

struct GuiRig {
  RecordingPower power;
  RecordingNotifier notifier;
  RecordingLauncher launcher;
  std::vector<int> quits;  // exit codes the event loop was ended with
  std::unique_ptr<CGuiHost> host;
  std::unique_ptr<sim::SimulatedBoard> board;
  std::unique_ptr<LosableBackend> backend;
  std::unique_ptr<hw::PortAccess> ports;
  core::MemoryRegistry registry;
  std::unique_ptr<core::Monitor> monitor;  // put together as the programs do it
  core::CMainFrame* frame = nullptr;
  bool created = false;

  explicit GuiRig(GuiRigOptions options = {}) {
    GuiServices services;
    services.power = &power;
    services.dryRunPower = options.dryRunPower;
    services.notifier = &notifier;
    services.trayAvailable = [available = options.trayAvailable] { return available; };
    services.activationOnlyTray = [only = options.activationOnlyTray] { return only; };
    services.programPath = options.programPath;
    services.quit = [this](int code) { quits.push_back(code); };
    host = std::make_unique<CGuiHost>(std::move(services));
    std::string error;
    board = sim::SimulatedBoard::Parse(options.board, "board", &error);
    EXPECT_TRUE(board) << error;
    backend = std::make_unique<LosableBackend>(*board);
    ports = std::make_unique<hw::PortAccess>(*backend, *host);
    if (options.settings) options.settings(registry);
    monitor = std::make_unique<core::Monitor>(
        *ports, registry, *host,
        core::UninstallPaths{options.autostartDir, "/nonexistent/velmond", ""}, launcher);
    frame = &monitor->Frame();
    host->Attach(*monitor);
    created = host->Create();
  }
  ~GuiRig() {
    // Nothing of this test may stay on the screen for the next one.
    for (QWidget* w : QApplication::topLevelWidgets())
      w->hide();
  }

  // The board's clock moves on, then timer 100 fires.
  void Tick(uint32_t seconds = 5) {
    board->Advance(seconds);
    host->TimerTick();
  }
  core::MonitorState& State() { return monitor->State(); }
  CMainWindow& Window() { return host->Window(); }
  CNotificationArea& Tray() { return host->Tray(); }
  CAlarmActionDialog& AlarmDialog() { return host->AlarmDialog(); }
  void Settle() { QCoreApplication::processEvents(); }
};

// Runs `drive` on the next modal dialog (or message box) of type W once it is open, from inside
// its own event loop, as a person at the screen would. Gives up (and closes whatever is modal)
// after a few seconds, so that a missing dialog fails the test instead of hanging it.
template <typename W>
void WhenModal(std::function<void(W&)> drive) {
  auto* poll = new QTimer;
  auto waited = std::make_shared<int>(0);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, waited, drive] {
    W* widget = qobject_cast<W*>(QApplication::activeModalWidget());
    if (!widget && ++*waited < 600) return;
    poll->stop();
    poll->deleteLater();
    if (!widget) {
      ADD_FAILURE() << "no modal " << W::staticMetaObject.className() << " opened";
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    drive(*widget);
  });
  poll->start();
}

}  // namespace velmo::app::gui::test
