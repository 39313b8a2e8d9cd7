// velmond killed with SIGKILL at random moments around its save, a thousand times and more: after
// every kill the settings file must read back cleanly with the values planted in it, whether the
// kill came before, during or after the save.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "monitor/core/registry/RegistryText.h"

namespace velmo::core {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The settings a user had: alarm off, a 17 s interval, on the demo board's chip (so the load
// keeps them and the exit saves them again), beside a key of another program. Written with LF
// line ends where a save writes CRLF, so that every run has something to save.
std::string PlantedSettings() {
  return "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Other]\n"
         "\"keep\"=\"me\"\n\n[" +
         kKey + "]\n\"bAlarm\"=hex:00,00,00,00\n\"AutoUpdateInterval\"=hex:11,00,00,00\n" +
         "\"HmType\"=hex:02,00,00,00\n";
}

// Starts velmond for one tick on the demo board; it saves as it ends.
pid_t StartVelmond(const fs::path& dir, const fs::path& registry) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    ::setenv("HOME", dir.c_str(), 1);
    const std::string program = std::string(VELMO_BINARY_DIR) + "/monitor/app/velmond";
    const std::string board = std::string(VELMO_BOARD_DIR) + "/demo.json";
    ::execl(program.c_str(), program.c_str(), "--headless", "--board", board.c_str(), "--registry",
            registry.c_str(), "--ticks", "1", "--dry-run-power", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

TEST(SaveKill, KilledAnywhereAroundTheSaveTheFileStaysWhole) {
  const fs::path dir = fs::path(testing::TempDir()) / ("velmo-crash-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path registry = dir / "registry.reg";

  // How long one whole run takes: the kills fall anywhere in it, the save at its end included.
  std::ofstream(registry, std::ios::binary) << PlantedSettings();
  const auto start = Clock::now();
  int status = 0;
  ::waitpid(StartVelmond(dir, registry), &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto run = Clock::now() - start;

  // Most kills aim at the save itself: when its temporary file appears, a random moment within
  // the next two milliseconds (the write, the flush, the rename or just after). The rest fall
  // anywhere in the run.
  const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, dir.c_str(), IN_CREATE), 0);
  std::mt19937 rng(20010511);
  constexpr int kKills = 1000;
  int midSave = 0, finished = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    std::ofstream(registry, std::ios::binary | std::ios::trunc) << PlantedSettings();
    char events[4096];
    while (::read(watch, events, sizeof events) > 0) {
    }
    const pid_t pid = StartVelmond(dir, registry);
    ASSERT_GT(pid, 0);
    if (kill % 10 == 9) {
      std::this_thread::sleep_for(run * std::uniform_real_distribution<>(0.0, 1.0)(rng));
    } else {
      pollfd fd{watch, POLLIN, 0};
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(run * 4).count();
      ::poll(&fd, 1, static_cast<int>(ms) + 50);
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<>(0, 2000)(rng)));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    finished += WIFEXITED(status);
    // The killed run's temporary file tells that it was killed in the middle of its save.
    const std::string temp = "registry.reg.tmp." + std::to_string(pid) + ".";
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
      midSave += e.path().filename().string().starts_with(temp);

    const RegistryParse parse = ParseRegistryText(ReadFile(registry));
    ASSERT_TRUE(parse.Clean()) << "kill " << kill << ": torn file";
    const RegistryKey* key = parse.model.FindKey(kKey);
    ASSERT_NE(key, nullptr) << "kill " << kill;
    const RegistryValue* alarm = key->Find("bAlarm");
    const RegistryValue* interval = key->Find("AutoUpdateInterval");
    ASSERT_TRUE(alarm && interval) << "kill " << kill;
    EXPECT_EQ(alarm->data, (std::vector<uint8_t>{0, 0, 0, 0})) << "kill " << kill;
    EXPECT_EQ(interval->data, (std::vector<uint8_t>{17, 0, 0, 0})) << "kill " << kill;
    ASSERT_NE(parse.model.FindKey("HKEY_CURRENT_USER\\Software\\Other"), nullptr);
  }
  RecordProperty("kills", kKills);
  RecordProperty("kills_while_a_save_was_under_way", midSave);
  RecordProperty("runs_that_finished_first", finished);
  std::printf("%d kills: %d while a save was under way, %d after the program had ended\n", kKills,
              midSave, finished);
  // Some kills must have hit the save itself, or the test proves nothing.
  EXPECT_GT(midSave, kKills / 10);
  ::close(watch);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmo::core
