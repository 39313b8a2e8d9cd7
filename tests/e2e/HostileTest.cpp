// velmond against what another user or the machine throws at it: a signal at any moment of the
// start, FIFOs planted where its temporary files go, a settings file another user owns, and alarm
// commands that print, run on and flap.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "monitor/core/InstanceLock.h"
#include "tests/e2e/VelmondRun.h"

namespace velmo::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string Board() {
  return std::string(VELMO_BOARD_DIR) + "/w83782d.json";
}

// The Extensions subkey with these REG_SZ values, as a settings file.
std::string ExtensionsFile(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions]\r\n";
  for (const auto& [name, value] : values) {
    std::string hex;
    for (char c : value) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
      hex += byte;
    }
    text += "\"" + name + "\"=hex(1):" + hex + "00,00\r\n";
  }
  return text;
}

std::string LockPath(const Sandbox& box) {
  return (box.dir / "runtime" / (std::string(core::kInstanceMutexName) + ".lock")).string();
}

// A signal right after the lock is taken (the start is still under way) ends the program through
// its exit path: settings saved, the exit event, status 0. SIGHUP (a closed terminal) too.
TEST(Hostile, ASignalAtAnyMomentOfTheStartEndsThroughTheExitPath) {
  for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
    for (int run = 0; run < 5; ++run) {
      SCOPED_TRACE("signal " + std::to_string(sig) + ", run " + std::to_string(run));
      Sandbox box("signal-" + std::to_string(sig) + "-" + std::to_string(run));
      Velmond velmond(box, {"--headless", "--board", Board()});
      ASSERT_TRUE(WaitForLockHeldBy(velmond.Pid(), LockPath(box)));
      velmond.Signal(sig);
      const RunResult result = velmond.Wait();
      EXPECT_EQ(result.exitCode, 0) << result.errors;
      ASSERT_FALSE(result.Of("exit").empty()) << result.output;
      EXPECT_EQ(result.Of("exit").back(), json({{"event", "exit"}, {"code", 0}, {"saved", true}}));
      EXPECT_TRUE(fs::exists(box.Registry()));
    }
  }
}

// FIFOs planted at every name a temporary file of the next few hundred processes would have had
// ("<file>.tmp.<pid>") hang neither the settings' save nor the metrics file.
TEST(Hostile, FifosAtTheTemporaryNamesHangNothing) {
  Sandbox box("fifo");
  const fs::path metrics = box.dir / "metrics";
  fs::create_directories(metrics);
  fs::create_directories(box.dir / "config" / "velmo");
  box.Write("config/velmo/registry.reg", ExtensionsFile({{"MetricsDir", metrics.string()}}));
  int last = 0;
  std::ifstream("/proc/sys/kernel/ns_last_pid") >> last;
  for (int pid = last + 1; pid < last + 400; ++pid) {
    ::mkfifo((box.Registry() + ".tmp." + std::to_string(pid)).c_str(), 0666);
    ::mkfifo((metrics / ("velmo.prom.tmp." + std::to_string(pid))).c_str(), 0666);
  }
  // Run in a child of its own, so that a hang fails the test instead of stopping it.
  const pid_t child = ::fork();
  if (child == 0) {
    ::setpgid(0, 0);
    Velmond velmond(box, {"--headless", "--board", Board(), "--ticks", "3"});
    const RunResult result = velmond.Wait();
    const bool ok = result.exitCode == 0 && !result.Of("exit").empty() &&
                    result.Of("exit").back()["saved"] == true && result.Of("warning").empty();
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 300 && !ended; ++i) {
    ended = ::waitpid(child, &status, WNOHANG) == child;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!ended) {
    ::kill(-child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  EXPECT_TRUE(ended) << "velmond hung on a planted FIFO";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::exists(metrics / "velmo.prom"));
  std::ifstream saved(box.Registry());
  const std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"HmType\""), std::string::npos);
}

// A root monitor does not run the commands of a settings file another user owns (they would run
// as root); it says so in one warning and runs the rest as before.
TEST(Hostile, ARootMonitorRunsNoCommandOfAnotherUsersSettings) {
  ASSERT_EQ(::geteuid(), 0u) << "plays another user: run as root";
  Sandbox box("foreign-commands");
  const std::string marker = (box.dir / "ran-as").string();
  fs::create_directories(box.dir / "config" / "velmo");
  const std::string registry =
      box.Write("config/velmo/registry.reg",
                ExtensionsFile({{"AlarmCommand", "sh -c 'id -u > " + marker + "'"}}));
  ASSERT_EQ(::chown(registry.c_str(), 1000, 1000), 0);
  const RunResult run =
      RunVelmond(box, {"--headless", "--board", std::string(VELMO_BOARD_DIR) + "/demo.json",
                       "--ticks", "20", "--confirm-alarm", "--dry-run-power"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_TRUE(run.Of("alarm-command").empty()) << run.output;
  const auto warnings = run.Of("warning");
  ASSERT_EQ(warnings.size(), 1u) << run.output;
  EXPECT_EQ(warnings[0]["text"],
            "AlarmCommand and AlarmEndCommand are off: " + registry +
                " belongs to uid 1000, and velmond runs as root; a settings file's commands run "
                "only as its owner");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(marker));
}

// What an alarm command prints goes to standard error: every line on standard output is one JSON
// event. A command that runs on after velmond holds none of its standard output: the reader sees
// the end when velmond ends.
TEST(Hostile, AlarmCommandsKeepTheEventStreamPureAndDoNotHoldIt) {
  Sandbox box("command-output");
  fs::create_directories(box.dir / "config" / "velmo");
  box.Write("config/velmo/registry.reg",
            ExtensionsFile({{"AlarmCommand", "sh -c 'echo not-json; sleep 6' %c"},
                            {"AlarmEndCommand", "echo ended %c"}}));
  const auto start = std::chrono::steady_clock::now();
  const RunResult run =
      RunVelmond(box, {"--headless", "--board", std::string(VELMO_BOARD_DIR) + "/demo.json",
                       "--ticks", "20", "--confirm-alarm", "--dry-run-power"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
      << "a running command held velmond's standard output";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.Of("alarm-command").size(), 2u) << run.output;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);)
    EXPECT_FALSE(json::parse(line, nullptr, false).is_discarded()) << line;
  // The commands run detached: their lines reach velmond's standard error when they run.
  std::string errors;
  for (int i = 0; i < 100; ++i) {
    errors.clear();
    for (const auto& e : fs::directory_iterator(box.dir)) {
      if (!e.path().filename().string().starts_with("stderr-")) continue;
      std::ifstream in(e.path());
      errors.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (errors.find("ended CPUTEMP") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_NE(errors.find("not-json"), std::string::npos) << errors;
  EXPECT_NE(errors.find("ended CPUTEMP"), std::string::npos) << errors;
}

}  // namespace
}  // namespace velmo::test
