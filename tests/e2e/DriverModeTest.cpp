#include <dirent.h>
#include <gtest/gtest.h>

#include "tests/e2e/VelmondRun.h"
#include "tests/support/HelperRig.h"

namespace velmo::test {
namespace {

// Sends `sig` to every helper process named `only` (any when empty) serving `deviceDir`: the
// monitor starts them detached, so they outlive it. They are found by the device folder in
// their environment.
void SignalHelpers(const std::string& deviceDir, int sig, const std::string& only = {}) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return;
  const std::string wanted = "VELMO_DEVICE_DIR=" + deviceDir;
  while (dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0 || pid == ::getpid()) continue;
    std::ifstream in(std::string("/proc/") + entry->d_name + "/environ");
    std::string env((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ifstream cmd(std::string("/proc/") + entry->d_name + "/comm");
    std::string comm;
    std::getline(cmd, comm);
    if ((comm == "portio" || comm == "mapmem") && (only.empty() || comm == only) &&
        env.find(wanted + std::string(1, '\0')) != std::string::npos)
      ::kill(pid, sig);
  }
  ::closedir(proc);
}

void StopHelpers(const std::string& deviceDir) {
  SignalHelpers(deviceDir, SIGTERM);
}

const std::string kPortio = std::string(VELMO_BINARY_DIR) + "/drivers/portio/portio";
const std::string kMapmem = std::string(VELMO_BINARY_DIR) + "/drivers/mapmem/mapmem";

// Settings with a short update interval, so a run reaches its ticks quickly.
void WriteInterval(const Sandbox& box, int seconds) {
  std::filesystem::create_directories(box.dir / "config" / "velmo");
  box.Write("config/velmo/registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10]\r\n"
            "\"AutoUpdateInterval\"=hex:0" +
                std::to_string(seconds) + ",00,00,00\r\n");
}

std::map<std::string, std::string> DriverEnv(const Sandbox& box, const std::string& helperDirs) {
  std::filesystem::create_directories(box.dir / "dev");
  return {{"VELMO_DEVICE_DIR", (box.dir / "dev").string()}, {"VELMO_HELPER_DIR", helperDirs}};
}

const std::string kBuiltHelpers = std::string(VELMO_BINARY_DIR) +
                                  "/drivers/portio:" + std::string(VELMO_BINARY_DIR) +
                                  "/drivers/mapmem";

TEST(DriverMode, SameEventsAsDirectOnTheSameBoard) {
  const std::string demo = std::string(VELMO_BOARD_DIR) + "/demo.json";
  const std::vector<std::string> common = {
      "--headless", "--board", demo, "--ticks", "14", "--confirm-alarm", "--dry-run-power"};
  Sandbox directBox("direct");
  std::vector<std::string> directArgs = common;
  directArgs.push_back("--direct");
  const RunResult direct = RunVelmond(directBox, directArgs);
  ASSERT_EQ(direct.exitCode, 0) << direct.output;

  Sandbox driverBox("driver");
  std::vector<std::string> driverArgs = common;
  driverArgs.push_back("--driver");
  // The monitor starts both helpers on the board itself (no service manager in a test).
  const RunResult driver = RunVelmond(driverBox, driverArgs, DriverEnv(driverBox, kBuiltHelpers));
  StopHelpers((driverBox.dir / "dev").string());
  ASSERT_EQ(driver.exitCode, 0) << driver.output;
  ASSERT_FALSE(direct.Of("alarm-dialog").empty());  // the demo's alarm came and went
  EXPECT_EQ(driver.events, direct.events);
}

TEST(DriverMode, MissingHelpersEndTheProgramWithTheirMessages) {
  Sandbox box("no-helpers");
  std::filesystem::create_directories(box.dir / "empty");
  const RunResult run = RunVelmond(box, {"--headless", "--driver", "--ticks", "1"},
                                   DriverEnv(box, (box.dir / "empty").string()));
  EXPECT_EQ(run.exitCode, 1);
  const auto messages = run.Of("message");
  ASSERT_EQ(messages.size(), 2u) << run.output;
  EXPECT_EQ(messages[0]["text"], "Could not Create Service ");
  EXPECT_EQ(messages[1]["text"], "Could not find the Velmo driver");
  EXPECT_EQ(messages[1]["caption"], "Velmond");
  EXPECT_TRUE(run.Of("tick").empty());
}

TEST(DriverMode, HelperGoneMidRunEndsTheProgramThroughItsExitPath) {
  Sandbox box("helper-gone");
  // One-second ticks, so the run reaches its first tick quickly.
  WriteInterval(box, 1);
  const std::string demo = std::string(VELMO_BOARD_DIR) + "/demo.json";
  Velmond velmond(box, {"--headless", "--driver", "--board", demo, "--dry-run-power"},
                  DriverEnv(box, kBuiltHelpers));
  ASSERT_TRUE(velmond.WaitFor("tick"));
  StopHelpers((box.dir / "dev").string());
  const RunResult run = velmond.Wait();
  EXPECT_EQ(run.exitCode, 1) << run.output;
  const auto messages = run.Of("message");
  ASSERT_FALSE(messages.empty()) << run.output;
  // The first access of the next tick selects a chip register: a port write.
  EXPECT_EQ(messages.back()["text"], "Failed to open PortIo Device");
  EXPECT_EQ(messages.back()["caption"], "Debug");
  ASSERT_FALSE(run.events.empty());
  EXPECT_EQ(run.events.back(), (nlohmann::json{{"event", "exit"}, {"code", 1}, {"saved", false}}));
  EXPECT_EQ(run.Of("exit").size(), 1u);
}

TEST(DriverMode, HelpersAlreadyServingAreTakenWhereverTheirProgramsLive) {
  // Started from elsewhere (another build tree, a container): not in the monitor's folders.
  Sandbox box("serving");
  std::filesystem::create_directories(box.dir / "empty");
  const auto env = DriverEnv(box, (box.dir / "empty").string());
  const std::string dev = env.at("VELMO_DEVICE_DIR");
  const std::string demo = std::string(VELMO_BOARD_DIR) + "/demo.json";
  HelperProcess portio(kPortio, {"--board", demo}, dev, (box.dir / "portio.log").string());
  HelperProcess mapmem(kMapmem, {"--board", demo}, dev, (box.dir / "mapmem.log").string());
  {
    DeviceDirScope scope(dev);
    ASSERT_TRUE(portio.WaitReady(protocol::kPortIoDevice));
    ASSERT_TRUE(mapmem.WaitReady(protocol::kMapMemDevice));
  }
  const RunResult run = RunVelmond(
      box, {"--headless", "--driver", "--board", demo, "--ticks", "2", "--dry-run-power"}, env);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(run.Of("message").empty()) << run.output;
  EXPECT_EQ(run.Of("tick").size(), 2u);
}

TEST(DriverMode, PortioKilledAndRestartedBetweenTwoTicksIsFoundAgain) {
  Sandbox box("restart");
  WriteInterval(box, 2);
  const auto env = DriverEnv(box, kBuiltHelpers);
  const std::string dev = env.at("VELMO_DEVICE_DIR");
  // The demo board with a trace, to see when the helper has done a tick's last access.
  std::ifstream shipped(std::string(VELMO_BOARD_DIR) + "/demo.json");
  nlohmann::json board = nlohmann::json::parse(shipped, nullptr, true, /*ignore_comments=*/true);
  const std::string trace = (box.dir / "ports.log").string();
  board["trace"] = trace;
  const std::string demo = (box.dir / "demo.json").string();
  box.Write("demo.json", board.dump());
  Velmond velmond(box, {"--headless", "--driver", "--board", demo, "--dry-run-power"}, env);
  ASSERT_TRUE(velmond.WaitFor("tick"));
  // The tick's beep bits go without waiting for the helper: it is done with the tick once the
  // last of them (a read of interrupt status 2) is in the trace.
  ASSERT_TRUE(WaitFor([&] {
    const std::string text = ReadText(trace);
    const size_t last = text.rfind("out 1 0x295 0x42\nin 1 0x296 ");
    return last != std::string::npos && text.find('\n', text.find("in 1", last)) == text.size() - 1;
  }));
  // Right after a tick, well before the next one: the monitor's portio dies, another comes.
  SignalHelpers(dev, SIGKILL, "portio");
  DeviceDirScope scope(dev);
  // Gone once its socket refuses connections; only then may another take the device.
  ASSERT_TRUE(WaitFor([] { return !hw::DeviceConnection::Open(protocol::kPortIoDevice); }));
  HelperProcess portio(kPortio, {"--board", demo}, dev, (box.dir / "portio.log").string());
  ASSERT_TRUE(portio.WaitReady(protocol::kPortIoDevice));
  ASSERT_TRUE(velmond.WaitFor("tick"));
  ASSERT_TRUE(velmond.WaitFor("tick"));
  velmond.Signal(SIGTERM);
  const RunResult run = velmond.Wait();
  StopHelpers(dev);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(run.Of("message").empty()) << run.output;
  EXPECT_GE(run.Of("tick").size(), 3u);
  EXPECT_EQ(run.events.back()["event"], "exit");
}

}  // namespace
}  // namespace velmo::test
