#include "monitor/app/gui/GuiMain.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "monitor/app/GuiProgram.h"
#include "monitor/app/LogindPower.h"
#include "monitor/app/MonitorAssembly.h"
#include "monitor/app/gui/DesktopNotifier.h"
#include "monitor/core/Monitor.h"
#include "monitor/core/Resources.h"
#include "monitor/display/Icons.h"

namespace velmo::app::gui {
namespace {

// While QApplication opens the display, the platform's complaints are held back; if it cannot
// open one, a single line says so and the program ends with 2 instead of aborting.
QtMessageHandler previousHandler = nullptr;
bool openingDisplay = false;
std::string platformComplaint;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
  if (openingDisplay) {
    if (type == QtFatalMsg) {
      const char* display = std::getenv("DISPLAY");
      std::fprintf(stderr, "velmond: cannot open the display%s%s (%s); run it with --headless\n",
                   display && *display ? " " : "", display ? display : "",
                   platformComplaint.empty() ? "no platform plugin could be initialised"
                                             : platformComplaint.c_str());
      std::_Exit(2);
    }
    if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) {
      if (platformComplaint.empty()) platformComplaint = message.toStdString();
      return;
    }
  }
  if (previousHandler) previousHandler(type, context, message);
}

// SIGINT, SIGTERM and SIGHUP through a signalfd, read in the event loop.
class SignalWatch {
 public:
  explicit SignalWatch(CGuiHost& host) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &host, [this, &host] {
      signalfd_siginfo info;
      while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      }
      host.RequestExit();
    });
  }
  ~SignalWatch() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
  }
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

std::string ProgramPathForOem() {
  // velmond names itself when it hands over; run directly, the window host is the program.
  if (const char* path = std::getenv(kProgramPathVariable); path && *path) {
    std::string own(path);
    ::unsetenv(kProgramPathVariable);
    return own;
  }
  return OwnProgramPath();
}

}  // namespace

bool DisplayNamed() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
    return true;
  return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

int RunGuiMonitor(const Options& options, GuiServices services, bool watchSignals) {
  CGuiHost host(std::move(services));
  try {
    MonitorAssembly assembly;
    if (const auto failure = assembly.Assemble(options, host)) return failure->exitCode;
    host.Attach(assembly.Monitor(), assembly.AdvanceClock());
    std::unique_ptr<SignalWatch> signalWatch;
    if (watchSignals) signalWatch = std::make_unique<SignalWatch>(host);
    if (!host.Create()) return host.ExitCode();
    const int code = QApplication::exec();
    return host.Ended() ? host.ExitCode() : code;
  } catch (const hw::ProgramEnd& end) {
    // The hardware layer gave up before the frame existed; it has said why.
    return end.exitCode;
  }
}

int RunGuiProgram(int argc, char** argv) {
  int exitCode = 0;
  const std::optional<Options> options = ParseOptions(argc, argv, &exitCode);
  if (!options) return exitCode;
  if (options->headless) return RunVelmond(*options, std::cout);
  if (!DisplayNamed()) {
    std::fprintf(stderr,
                 "velmond: no display to open (neither DISPLAY nor WAYLAND_DISPLAY is set); run "
                 "it with --headless\n");
    return 2;
  }
  // Blocked before Qt starts its threads, so that every thread leaves them to the signalfd.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);

  previousHandler = qInstallMessageHandler(StartupMessageHandler);
  openingDisplay = true;
  QApplication app(argc, argv);
  openingDisplay = false;
  qInstallMessageHandler(previousHandler);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("velmond"));
  QGuiApplication::setDesktopFileName(QStringLiteral("velmond"));
  QApplication::setWindowIcon(display::IconOf(core::kIconNormal));

  LogindPower logind;
  FreedesktopNotifier notifier;
  GuiServices services;
  services.power = &logind;
  services.dryRunPower = options->dryRunPower;
  services.notifier = &notifier;
  services.programPath = ProgramPathForOem();
  return RunGuiMonitor(*options, std::move(services), /*watchSignals=*/true);
}

}  // namespace velmo::app::gui
