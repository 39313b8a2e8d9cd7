// Start-up and end of the window host: the single-instance refusal, a missing display, the
// hand-over from velmond, signals, and a headless program that stays free of Qt.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMessageBox>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "monitor/app/GuiProgram.h"
#include "monitor/app/gui/GuiMain.h"
#include "monitor/core/InstanceLock.h"
#include "tests/app/GuiRig.h"
#include "tests/e2e/VelmondRun.h"

extern char** environ;

namespace velmo::app::gui::test {
namespace {

namespace fs = std::filesystem;

std::string Velmond() {
  return std::string(VELMO_BINARY_DIR) + "/monitor/app/velmond";
}
std::string Board(const char* name) {
  return std::string(VELMO_BOARD_DIR) + "/" + name;
}

std::string LockPath(const velmo::test::Sandbox& box) {
  return (box.dir / "runtime" / (std::string(core::kInstanceMutexName) + ".lock")).string();
}

// One program run with its own environment; standard error goes to a file.
class Program {
 public:
  Program(const velmo::test::Sandbox& box, std::vector<std::string> args,
          std::map<std::string, std::optional<std::string>> env)
      : stderrPath_((box.dir / "stderr.txt").string()) {
    env["XDG_RUNTIME_DIR"] = (box.dir / "runtime").string();
    env["XDG_CONFIG_HOME"] = (box.dir / "config").string();
    env["HOME"] = box.dir.string();
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) {
      const std::string var = *e;
      if (!env.count(var.substr(0, var.find('=')))) vars.push_back(var);
    }
    for (const auto& [name, value] : env)
      if (value) vars.push_back(name + "=" + *value);
    std::vector<char*> envp;
    for (std::string& v : vars)
      envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    argv.push_back(path_.data());
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (posix_spawn(&pid_, path_.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }
  pid_t Pid() const { return pid_; }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    done_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string Stderr() const {
    std::stringstream text;
    text << std::ifstream(stderrPath_).rdbuf();
    return text.str();
  }

 private:
  std::string path_ = Velmond();
  std::string stderrPath_;
  pid_t pid_ = -1;
  bool done_ = false;
};

TEST(Startup, ASecondInstanceIsRefusedWithAMessageBox) {
  velmo::test::Sandbox box("refusal");
  const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedRuntime = oldRuntime ? oldRuntime : "";
  setenv("XDG_RUNTIME_DIR", (box.dir / "runtime").c_str(), 1);
  core::InstanceLock first;
  ASSERT_EQ(first.Acquire().value(), core::InstanceLock::Lock::kAcquired);

  Options options;
  options.board = Board("w83782d.json");
  options.registry = box.Registry();
  RecordingPower power;
  GuiServices services;
  services.power = &power;
  services.trayAvailable = [] { return true; };
  services.quit = [](int) {};
  std::string shown;
  WhenModal<QMessageBox>([&shown](QMessageBox& message) {
    shown = message.windowTitle().toStdString() + ": " + message.text().toStdString();
    EXPECT_EQ(message.icon(), QMessageBox::Warning);
    message.accept();
  });
  EXPECT_EQ(RunGuiMonitor(options, std::move(services)), 1);
  EXPECT_EQ(shown, "Velmond: Velmo has been running !");
  EXPECT_FALSE(fs::exists(box.Registry())) << "the running instance is not touched";
  if (oldRuntime) {
    setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
}

TEST(Startup, AHardwareFailureEndsTheEventLoopWithItsCodeAndWithoutSaving) {
  GuiRig rig;
  rig.Tick();
  const int saves = rig.registry.saves;
  rig.backend->lost = true;
  std::vector<std::string> shown;
  WhenModal<QMessageBox>([&shown](QMessageBox& box) {
    shown.push_back(box.windowTitle().toStdString() + ": " + box.text().toStdString());
    EXPECT_EQ(box.icon(), QMessageBox::NoIcon) << "the hardware layer's plain box";
    box.accept();
  });
  rig.Tick();
  ASSERT_EQ(shown.size(), 1u);
  const hw::HwMessage expected =
      hw::MessageFor({hw::HwError::kPortDeviceMissing, hw::HwAccess::kPortRead, ""});
  EXPECT_EQ(shown.front(), expected.caption + ": " + expected.text);
  EXPECT_EQ(rig.quits, std::vector<int>{hw::kHwEndExitCode});
  EXPECT_TRUE(rig.host->Ended());
  EXPECT_FALSE(rig.host->Saved());
  EXPECT_EQ(rig.registry.saves, saves);
  EXPECT_FALSE(rig.host->Timer().isActive());
  rig.host->TimerTick();  // nothing reaches the core any more
  EXPECT_EQ(rig.quits.size(), 1u);
}

TEST(Startup, WithoutADisplayOneLineOnStandardErrorAndExit2) {
  const struct {
    const char* what;
    std::map<std::string, std::optional<std::string>> env;
    const char* says;
  } rows[] = {
      {"nothing set",
       {{"DISPLAY", std::nullopt},
        {"WAYLAND_DISPLAY", std::nullopt},
        {"QT_QPA_PLATFORM", std::nullopt}},
       "no display to open"},
      {"a display nobody serves",
       {{"DISPLAY", ":4917"}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", "xcb"}},
       "cannot open the display :4917"},
  };
  for (const auto& row : rows) {
    velmo::test::Sandbox box("nodisplay");
    Program velmond(box, {"--board", Board("w83782d.json"), "--registry", box.Registry()}, row.env);
    EXPECT_EQ(velmond.Wait(), 2) << row.what;
    const std::string err = velmond.Stderr();
    EXPECT_NE(err.find(row.says), std::string::npos) << row.what << ": " << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << row.what << ": " << err;
  }
}

TEST(Startup, VelmondHandsOverToTheWindowHostWhichEndsOnSigtermWithSettingsSaved) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    velmo::test::Sandbox box("signal");
    Program velmond(box, {"--board", Board("w83782d.json"), "--registry", box.Registry()},
                    {{"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(velmo::test::WaitForLockHeldBy(velmond.Pid(), LockPath(box))) << velmond.Stderr();
    // The same process, now the window host.
    const fs::path exe = fs::read_symlink("/proc/" + std::to_string(velmond.Pid()) + "/exe");
    EXPECT_EQ(exe.filename(), kGuiProgramName);
    kill(velmond.Pid(), sig);
    EXPECT_EQ(velmond.Wait(), 0) << velmond.Stderr();
    std::stringstream registry;
    registry << std::ifstream(box.Registry()).rdbuf();
    EXPECT_NE(registry.str().find("\"HmType\""), std::string::npos) << "settings saved";
  }
}

TEST(Startup, TheHeadlessProgramLoadsNoQt) {
  velmo::test::Sandbox box("headless");
  Program velmond(
      box, {"--headless", "--board", Board("w83782d.json"), "--registry", box.Registry()}, {});
  ASSERT_TRUE(velmo::test::WaitForLockHeldBy(velmond.Pid(), LockPath(box)));
  std::stringstream maps;
  maps << std::ifstream("/proc/" + std::to_string(velmond.Pid()) + "/maps").rdbuf();
  EXPECT_NE(maps.str().find("libc.so"), std::string::npos);
  EXPECT_EQ(maps.str().find("libQt6"), std::string::npos);
  kill(velmond.Pid(), SIGTERM);
  EXPECT_EQ(velmond.Wait(), 0);
}

TEST(Startup, TheWindowHostIsLookedForBesideVelmondThenInItsInstallFolder) {
  EXPECT_EQ(
      GuiProgramCandidates("/usr/local/bin/velmond"),
      (std::vector<std::string>{"/usr/local/bin/velmond-gui", "/usr/local/lib/velmo/velmond-gui"}));
  EXPECT_TRUE(fs::exists(GuiProgramCandidates(Velmond()).front())) << "the build's own";
}

}  // namespace
}  // namespace velmo::app::gui::test
