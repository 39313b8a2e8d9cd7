#include "monitor/app/Velmond.h"

#include <signal.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <functional>

#include "monitor/app/HeadlessHost.h"
#include "monitor/app/LogindPower.h"
#include "monitor/app/MonitorAssembly.h"
#include "monitor/core/Monitor.h"
#include "monitor/core/registry/RegistryFile.h"

namespace velmo::app {

std::optional<Options> ParseOptions(int argc, char** argv, int* exitCode) {
  Options o;
  CLI::App cli{"Velmo hardware-health monitor", "velmond"};
  cli.add_flag("--headless", o.headless, "no windows: events as JSON lines on standard output");
  cli.add_option("--board", o.board, "simulated board file instead of the real machine");
  cli.add_option("--registry", o.registry,
                 "settings file (default: " + core::RegistryFile::DefaultPath() + ")");
  auto* direct = cli.add_flag("--direct", o.direct, "access the ports from this process");
  auto* driver = cli.add_flag("--driver", o.driver, "access the ports through portio/mapmem");
  direct->excludes(driver);
  cli.add_option("--ticks", o.ticks, "headless: run N timer ticks, then end")
      ->check(CLI::NonNegativeNumber);
  std::string answer = "no";
  cli.add_option("--answer", answer, "headless: the answer to questions")
      ->check(CLI::IsMember({"yes", "no"}));
  cli.add_flag("--confirm-alarm", o.confirmAlarm,
               "headless: confirm an open alarm dialog before the next tick");
  cli.add_flag("--dry-run-power", o.dryRunPower, "report restart and shutdown, do not send them");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    *exitCode = cli.exit(e);
    return std::nullopt;
  }
  o.answerYes = answer == "yes";
  return o;
}

namespace {

// SIGINT, SIGTERM and SIGHUP (a closed terminal) are blocked from the start and waited for, so
// one that comes at any moment ends the loop between ticks (or before the first) and the
// program leaves through its own exit path.
class SignalWaiter {
 public:
  SignalWaiter() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGHUP);
    sigprocmask(SIG_BLOCK, &set_, &old_);
  }
  ~SignalWaiter() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  // Waits up to `ms` milliseconds (forever for a negative value); true when a signal came.
  bool Wait(int64_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
    int r;
    do {
      r = ms < 0 ? sigwaitinfo(&set_, nullptr) : sigtimedwait(&set_, nullptr, &ts);
    } while (r < 0 && errno == EINTR);
    return r > 0;
  }

 private:
  sigset_t set_{};
  sigset_t old_{};
};

int RunMonitor(const Options& options, std::ostream& out) {
  SignalWaiter signals;  // before the lock: nothing between start and exit path is unguarded
  LogindPower logind;
  HeadlessHost host(out, options.answerYes, options.dryRunPower, logind);
  MonitorAssembly assembly;
  if (const auto failure = assembly.Assemble(options, host)) {
    if (failure->exitEvent) host.EmitExit(failure->exitCode, false);
    return failure->exitCode;
  }
  const std::function<void(uint32_t)>& advanceClock = assembly.AdvanceClock();
  core::CMainFrame& frame = assembly.Monitor().Frame();

  if (frame.OnCreate() != 0) {
    host.EmitExit(1, false);
    return 1;
  }

  auto confirmAlarm = [&] {
    if (!options.confirmAlarm || !frame.AlarmDialogVisible()) return;
    const int32_t action = frame.AlarmDialogAction();
    host.Emit({{"event", "alarm-action"}, {"action", action}});
    frame.AlarmDialogOk(action);
    frame.ProcessPostedMessages();
  };
  auto timerTick = [&] {
    const uint32_t period = host.TimerPeriod();
    if (advanceClock) advanceClock((period ? period : core::TimerPeriodMs(0)) / 1000);
    if (period != 0) frame.OnTimer();
    frame.ProcessPostedMessages();
  };

  if (options.ticks) {
    for (int64_t i = 0; i < *options.ticks && !host.QuitRequested(); ++i) {
      if (signals.Wait(0)) break;
      confirmAlarm();
      if (host.QuitRequested()) break;
      timerTick();
    }
  } else {
    while (!host.QuitRequested()) {
      const uint32_t period = host.TimerPeriod();
      if (signals.Wait(period ? static_cast<int64_t>(period) : -1)) break;
      confirmAlarm();
      if (host.QuitRequested()) break;
      timerTick();
    }
  }
  if (!host.QuitRequested()) frame.RequestExit();
  host.EmitExit(host.ExitCode(), host.Saved());
  return host.ExitCode();
}

}  // namespace

int RunVelmond(const Options& options, std::ostream& out) {
  try {
    return RunMonitor(options, out);
  } catch (const hw::ProgramEnd& end) {
    // The hardware layer could not go on; the host has said so and emitted the exit event.
    return end.exitCode;
  }
}

}  // namespace velmo::app
