// The extensions: alarm commands (words, placeholders, one run per episode, a missing program),
// the metrics file (its exact text, replaced whole, promtool), the history rings, and their
// settings in the Extensions subkey.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "monitor/core/Acquisition.h"
#include "monitor/core/AlarmCommands.h"
#include "monitor/core/ExtensionRunner.h"
#include "monitor/core/ExtensionSettings.h"
#include "monitor/core/History.h"
#include "monitor/core/MetricsFile.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/SensorsJson.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/AsUser.h"
#include "tests/support/Golden.h"
#include "tests/support/RecordingBus.h"

namespace velmo::core {
namespace {

namespace fs = std::filesystem;

class RecordingLauncher : public CommandLauncher {
 public:
  std::vector<std::vector<std::string>> launched;
  base::Expected<void> Launch(const std::vector<std::string>& argv) override {
    launched.push_back(argv);
    if (argv.front() == "missing-program") return base::Error{"No such file or directory", ENOENT};
    return {};
  }
};

// The demo board, set up as the monitor does it and read once.
struct Demo {
  std::unique_ptr<sim::SimulatedBoard> board;
  test::RecordingHost host;
  std::unique_ptr<hw::DirectBackend> backend;
  std::unique_ptr<hw::PortAccess> ports;
  MonitorState state;
  std::string boardText;
  Demo() {
    std::string error;
    board = sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/demo.json", &error);
    EXPECT_TRUE(board) << error;
    backend = std::make_unique<hw::DirectBackend>(*board);
    ports = std::make_unique<hw::PortAccess>(*backend, host);
    SetUpMonitor(state, *ports, nullptr, &boardText);
    AcquireAt(0);
  }
  void AcquireAt(uint32_t seconds) {
    board->Advance(seconds);
    AcquireReadings(state, *ports);
  }
};

TEST(AlarmCommands, WordsAndPlaceholders) {
  Demo demo;
  demo.state[V5].value = 5056;
  const AlarmFacts facts = FactsOf(demo.state, V5);
  struct Row {
    const char* line;
    std::vector<std::string> argv;
  };
  const Row rows[] = {
      {"notify %c", {"notify", "V5"}},
      {"notify %l", {"notify", "+5V"}},
      {"log %v%u", {"log", "5.056V"}},
      {"range %L..%U", {"range", "4.500..5.500"}},
      {"say %s", {"say", "The 5.56 V Power-Line has exceeded Normal Operating Tolerance."}},
      {"percent 100%% %x", {"percent", "100%", "%x"}},
      {"  spaced   out  ", {"spaced", "out"}},
      {"\"two words\" 'and %c' back\\ slash", {"two words", "and V5", "back slash"}},
      {"", {}},
  };
  for (const Row& row : rows) {
    const auto words = SplitCommandLine(row.line);
    ASSERT_TRUE(words) << row.line << ": " << words.error().message;
    EXPECT_EQ(SubstituteWords(*words, facts), row.argv) << row.line;
  }
  const auto unclosed = SplitCommandLine("say \"unclosed");
  ASSERT_FALSE(unclosed);
  EXPECT_NE(unclosed.error().message.find("unclosed \""), std::string::npos);
  // A temperature's value and limits are whole degrees.
  const AlarmFacts cpu = FactsOf(demo.state, CPUTEMP);
  EXPECT_EQ(cpu.value, std::to_string(demo.state[CPUTEMP].value));
  EXPECT_EQ(cpu.unit, "C");
  EXPECT_EQ(cpu.label, "Cpu Temp.");
}

TEST(AlarmCommands, StartAndEndOncePerEpisodeAndAMissingProgramOnce) {
  Demo demo;
  RecordingLauncher launcher;
  std::vector<AlarmCommands::Run> runs;
  AlarmCommands commands(launcher, [&runs](const AlarmCommands::Run& r) { runs.push_back(r); });
  commands.Configure("on %c", "off %c", {});
  AlarmEpisodes episodes;  // the frame's one watch over the episodes
  commands.OnChanges(demo.state, episodes.Update(demo.state));
  EXPECT_TRUE(launcher.launched.empty());  // all in range at the start
  // The demo's CPU overheats from 40 s to 60 s: one start, one end, whatever the ticks between.
  for (uint32_t t = 5; t <= 90; t += 5) {
    demo.AcquireAt(5);
    commands.OnChanges(demo.state, episodes.Update(demo.state));
  }
  ASSERT_EQ(launcher.launched.size(), 2u);
  EXPECT_EQ(launcher.launched[0], (std::vector<std::string>{"on", "CPUTEMP"}));
  EXPECT_EQ(launcher.launched[1], (std::vector<std::string>{"off", "CPUTEMP"}));
  EXPECT_TRUE(runs[0].start && runs[0].started);
  EXPECT_FALSE(runs[1].start);

  // Switching the alarm off ends the episode too.
  demo.state[V5].outOfRange = 1;
  commands.OnChanges(demo.state, episodes.Update(demo.state));
  demo.state[V5].alarm.enabled = 0;
  commands.OnChanges(demo.state, episodes.Update(demo.state));
  EXPECT_EQ(launcher.launched.back(), (std::vector<std::string>{"off", "V5"}));

  // A program that cannot start is said once and not tried again.
  RecordingLauncher other;
  std::vector<AlarmCommands::Run> failed;
  AlarmCommands missing(other, [&failed](const AlarmCommands::Run& r) { failed.push_back(r); });
  missing.Configure("missing-program %c", "", {});
  AlarmEpisodes watch;
  Demo fresh;
  for (int episode = 0; episode < 3; ++episode) {
    fresh.state[V5].outOfRange = 1;
    missing.OnChanges(fresh.state, watch.Update(fresh.state));
    fresh.state[V5].outOfRange = 0;
    missing.OnChanges(fresh.state, watch.Update(fresh.state));
  }
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_FALSE(failed[0].started);
  EXPECT_EQ(failed[0].error, "No such file or directory");
  EXPECT_EQ(other.launched.size(), 1u);
}

TEST(AlarmCommands, TheRealLauncherStartsDetachedAndTellsAMissingProgram) {
  DetachedLauncher launcher;
  const fs::path marker = fs::path(testing::TempDir()) / "velmo-alarm-command-ran";
  fs::remove(marker);
  const auto ran = launcher.Launch({"sh", "-c", "echo ran > " + marker.string()});
  EXPECT_TRUE(ran) << (ran ? "" : ran.error().message);
  for (int i = 0; i < 200 && !fs::exists(marker); ++i)
    ::usleep(10000);
  EXPECT_TRUE(fs::exists(marker));
  fs::remove(marker);
  const auto missing = launcher.Launch({"/nonexistent/velmo-alarm"});
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message, "No such file or directory");
  EXPECT_EQ(missing.error().code, ENOENT);
}

// A reading that flaps around its limit every tick starts at most kMaxRunsPerMinute commands a
// minute, says so once a minute, and a command line longer than the bound is refused once.
TEST(AlarmCommands, FlappingIsBoundedAndAnOverlongCommandIsRefused) {
  Demo demo;
  RecordingLauncher launcher;
  std::vector<std::string> warnings;
  AlarmCommands commands(launcher, {});
  auto warn = [&warnings](const std::string& w) { warnings.push_back(w); };
  commands.Configure("on %c", "off %c", warn);
  demo.state.params.AutoUpdateInterval = 5;
  AlarmEpisodes episodes;
  std::vector<size_t> perTick;
  for (int tick = 0; tick < 100; ++tick) {
    demo.state[V5].outOfRange = tick % 2 == 0;
    demo.state[VCORE].outOfRange = tick % 2 == 1;
    const size_t before = launcher.launched.size();
    commands.OnChanges(demo.state, episodes.Update(demo.state));
    perTick.push_back(launcher.launched.size() - before);
  }
  // Any 12 ticks of 5 s are one minute.
  for (size_t first = 0; first + 12 <= perTick.size(); ++first) {
    size_t runs = 0;
    for (size_t i = first; i < first + 12; ++i)
      runs += perTick[i];
    EXPECT_LE(runs, AlarmCommands::kMaxRunsPerMinute) << "ticks from " << first;
  }
  EXPECT_GE(launcher.launched.size(), 70u) << "the limit is per minute, not for good";
  EXPECT_GE(warnings.size(), 1u);
  EXPECT_LE(warnings.size(), 9u) << "said once a minute at most";
  EXPECT_EQ(warnings[0], "alarm commands held back: more than 10 in a minute");

  struct Row {
    size_t length;
    bool on;
  };
  for (const Row row : {Row{AlarmCommands::kMaxCommandLength, true},
                        Row{AlarmCommands::kMaxCommandLength + 1, false}, Row{10u << 20, false}}) {
    RecordingLauncher other;
    AlarmCommands bounded(other, {});
    std::vector<std::string> said;
    const std::string line = "logger " + std::string(row.length - 7, 'x');
    bounded.Configure(line, line, [&said](const std::string& w) { said.push_back(w); });
    Demo fresh;
    fresh.state[V5].outOfRange = 1;
    AlarmEpisodes watch;
    bounded.OnChanges(fresh.state, watch.Update(fresh.state));
    EXPECT_EQ(other.launched.size(), row.on ? 1u : 0u) << row.length;
    EXPECT_EQ(said.size(), row.on ? 0u : 2u) << row.length;
    if (!row.on) {
      EXPECT_EQ(said[0], "AlarmCommand is off: it is " + std::to_string(row.length) +
                             " bytes long, more than the 4096 allowed");
    }
  }
}

// A command's standard output goes to the monitor's standard error, and one that runs on holds
// nothing of the monitor's standard output: a reader sees its end when the monitor ends.
TEST(AlarmCommands, ACommandsOutputGoesToStandardErrorAndHoldsNoStandardOutput) {
  int out[2], err[2];
  ASSERT_EQ(::pipe(out), 0);
  ASSERT_EQ(::pipe(err), 0);
  const pid_t monitor = ::fork();
  if (monitor == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]})
      ::close(fd);
    DetachedLauncher launcher;
    const bool started = launcher.Launch({"sh", "-c", "echo said; sleep 3"}).has_value();
    ::_exit(started ? 0 : 1);
  }
  ::close(out[1]);
  ::close(err[1]);
  int status = 0;
  ::waitpid(monitor, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto start = std::chrono::steady_clock::now();
  std::string stdoutText;
  char buffer[256];
  ssize_t n;
  pollfd p{out[0], POLLIN, 0};
  while (::poll(&p, 1, 5000) > 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0)
    stdoutText.append(buffer, static_cast<size_t>(n));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
      << "the command held the monitor's standard output open";
  EXPECT_EQ(stdoutText, "");
  std::string stderrText;
  pollfd q{err[0], POLLIN, 0};
  while (stderrText.find('\n') == std::string::npos && ::poll(&q, 1, 5000) > 0 &&
         (n = ::read(err[0], buffer, sizeof buffer)) > 0)
    stderrText.append(buffer, static_cast<size_t>(n));
  EXPECT_EQ(stderrText, "said\n");
  ::close(out[0]);
  ::close(err[0]);
}

TEST(Metrics, TheDemoBoardsTextAndItsAtomicReplacement) {
  Demo demo;
  const std::string text = MetricsText(demo.state, demo.boardText);
  test::ExpectGolden(std::string(VELMO_TEST_DATA_DIR) + "/metrics/demo.prom", text);

  const fs::path dir = fs::path(testing::TempDir()) / ("velmo-metrics-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const auto written = WriteMetricsFile(dir.string(), text);
  ASSERT_TRUE(written) << written.error().message;
  struct stat first {};
  ASSERT_EQ(::stat((dir / "velmo.prom").c_str(), &first), 0);
  EXPECT_EQ(first.st_mode & 0777, 0644u);
  ASSERT_TRUE(WriteMetricsFile(dir.string(), text + "# again\n"));
  struct stat second {};
  ASSERT_EQ(::stat((dir / "velmo.prom").c_str(), &second), 0);
  // A new file renamed into place: a reader holding the old one reads it whole.
  EXPECT_NE(first.st_ino, second.st_ino);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
  const auto refused = WriteMetricsFile((dir / "missing").string(), text);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().message.find("missing"), std::string::npos);
  EXPECT_EQ(refused.error().code, ENOENT);

  // promtool, where the prometheus package is installed, accepts the file.
  if (std::system("command -v promtool >/dev/null 2>&1") == 0) {
    const std::string check = "promtool check metrics < " + (dir / "velmo.prom").string();
    EXPECT_EQ(std::system(check.c_str()), 0);
  }
  fs::remove_all(dir);
}

TEST(History, RingsAreBoundedAndKeepMinAndMax) {
  History history(5);
  EXPECT_EQ(history.Capacity(), 720u);  // an hour at 5 s
  SensorReadings readings{};
  readings[CPUTEMP].present = 1;
  for (int i = 0; i < 1000; ++i) {
    readings[CPUTEMP].value = 40 + i % 7;
    if (i == 100) readings[CPUTEMP].value = 99;
    if (i == 900) readings[CPUTEMP].value = 3;
    history.Record(readings);
  }
  const std::vector<int32_t> samples = history.Samples(CPUTEMP);
  ASSERT_EQ(samples.size(), 720u);
  EXPECT_EQ(samples.back(), 40 + 999 % 7);  // newest last
  EXPECT_EQ(samples.front(), 40 + 280 % 7);
  EXPECT_EQ(history.Max(CPUTEMP), 99);  // since the start, beyond the hour kept
  EXPECT_EQ(history.Min(CPUTEMP), 3);
  EXPECT_TRUE(history.Samples(V5).empty());  // not present: nothing kept
  EXPECT_FALSE(history.Min(V5));
  history.SetInterval(120);
  EXPECT_EQ(history.Capacity(), 30u);
  EXPECT_EQ(history.Samples(CPUTEMP).back(), samples.back());
  EXPECT_EQ(History(0).Capacity(), History::kMaxSamples);
}

// Replaces the one occurrence of `from` in `text`; fails the test when it is not there once.
std::string ReplacedOnce(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at == std::string::npos) return text;
  EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

TEST(Metrics, AChannelWithoutAValueHasNoSampleAndASensorsLabelReplacesThePagesOne) {
  Demo demo;
  // As the kernel source leaves a channel whose sensor failed: present, no value.
  demo.state.noValue[CPUTEMP] = true;
  demo.state[CPUTEMP].value = 0;
  demo.state[CPUTEMP].outOfRange = 0;
  demo.state.noValue[CHAFAN] = true;
  // Channels fed by kernel sensors carry the sensor's label and chip.
  auto& fed = demo.state.kernelChannels;
  fed[CPUTEMP] = KernelSensorSource::Channel{"k10temp-pci-00c3", "Tctl", 44, {}, {}};
  fed[V5] = KernelSensorSource::Channel{"nct6798-isa-0290", "+5V \"rail\" \\ A\nB", {}, {}, {}};
  fed[VB] = KernelSensorSource::Channel{"nct6798-isa-0290", "", {}, {}, {}};  // the page's label

  std::string expected = test::ReadFile(std::string(VELMO_TEST_DATA_DIR) + "/metrics/demo.prom");
  expected = ReplacedOnce(
      expected, "velmo_temperature_celsius{channel=\"CPUTEMP\",label=\"Cpu Temp.\"} 44\n", "");
  expected = ReplacedOnce(expected,
                          "velmo_fan_speed_rpm{channel=\"CHAFAN\",label=\"Cha Fan\"} 4500\n", "");
  for (const char* suffix : {"_upper", "_lower"}) {
    expected = ReplacedOnce(expected,
                            std::string("velmo_temperature_celsius") + suffix +
                                "{channel=\"CPUTEMP\",label=\"Cpu Temp.\"}",
                            std::string("velmo_temperature_celsius") + suffix +
                                "{channel=\"CPUTEMP\",label=\"Tctl\",chip=\"k10temp-pci-00c3\"}");
  }
  for (const char* suffix : {"", "_upper", "_lower"}) {
    expected = ReplacedOnce(
        expected, std::string("velmo_voltage_volts") + suffix + "{channel=\"V5\",label=\"+5V\"}",
        std::string("velmo_voltage_volts") + suffix +
            "{channel=\"V5\",label=\"+5V \\\"rail\\\" \\\\ A\\nB\",chip=\"nct6798-isa-0290\"}");
  }
  EXPECT_EQ(MetricsText(demo.state, demo.boardText), expected);

  // The runner writes that text, and its history skips the gap.
  const fs::path dir =
      fs::path(testing::TempDir()) / ("velmo-metrics-names-" + std::to_string(getpid()));
  fs::create_directories(dir);
  RecordingLauncher launcher;
  ExtensionSettings settings;
  settings.metricsDir = dir.string();
  settings.showHistory = 1;
  ExtensionRunner runner(settings, launcher, [](const std::string&) {});
  runner.OnTick(demo.state, demo.boardText, {}, 5000);
  EXPECT_EQ(test::ReadFile((dir / "velmo.prom").string()), expected);
  if (std::system("command -v promtool >/dev/null 2>&1") == 0) {
    const std::string check = "promtool check metrics < " + (dir / "velmo.prom").string();
    EXPECT_EQ(std::system(check.c_str()), 0);
  }
  fs::remove_all(dir);
  EXPECT_EQ(runner.GetHistory()->Samples(CPUTEMP), std::vector<int32_t>{kNoValue});
  EXPECT_FALSE(runner.GetHistory()->Max(CPUTEMP));
  EXPECT_EQ(runner.GetHistory()->Max(SYSTEMP), 38);
}

TEST(History, TicksWithoutAValueAreGapsOutsideMinAndMax) {
  History history(5);
  SensorReadings readings{};
  readings[CPUTEMP].present = 1;
  std::array<bool, kChannelCount> noValue{};
  const struct {
    int32_t value;
    bool missing;
  } ticks[] = {{50, false}, {0, true}, {-5, true}, {47, false}, {0, true}};
  for (const auto& tick : ticks) {
    readings[CPUTEMP].value = tick.value;
    noValue[CPUTEMP] = tick.missing;
    history.Record(readings, noValue);
  }
  EXPECT_EQ(history.Samples(CPUTEMP), (std::vector<int32_t>{50, kNoValue, kNoValue, 47, kNoValue}));
  EXPECT_EQ(history.Min(CPUTEMP), 47);
  EXPECT_EQ(history.Max(CPUTEMP), 50);

  History onlyGaps(5);
  noValue[CPUTEMP] = true;
  onlyGaps.Record(readings, noValue);
  EXPECT_FALSE(onlyGaps.Min(CPUTEMP));
  EXPECT_FALSE(onlyGaps.Max(CPUTEMP));
}

TEST(SensorsJsonOfTheBoard, AChannelWithoutAValueKeepsItsLimitsButNoInput) {
  Demo demo;
  const nlohmann::ordered_json before = SensorsJson(demo.state, 0);
  demo.state.noValue[V5] = true;
  demo.state[V5].value = 0;
  demo.state[V5].outOfRange = 0;
  nlohmann::ordered_json expected = before;
  nlohmann::ordered_json& chip = expected.begin().value();
  ASSERT_TRUE(chip.contains("+5V")) << before.dump();
  chip["+5V"].erase("in3_input");
  ASSERT_TRUE(chip["+5V"].contains("in3_min")) << before.dump();
  EXPECT_EQ(SensorsJson(demo.state, 0), expected);
}

TEST(ExtensionSettings, ReadFromTheirOwnSubkeyWithDefaults) {
  MemoryRegistry registry;
  EXPECT_EQ(LoadExtensionSettings(registry), ExtensionSettings{});
  const std::string key = ExtensionsKeyPath();
  EXPECT_EQ(key, "HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions");
  auto text = [](const std::string& s) {
    std::vector<uint8_t> data;
    for (char c : s) {
      data.push_back(static_cast<uint8_t>(c));
      data.push_back(0);
    }
    data.push_back(0);
    data.push_back(0);
    return data;
  };
  registry.model.OpenKey(key).Set({"AlarmCommand", REG_SZ, text("logger %s")});
  registry.model.OpenKey(key).Set({"MetricsDir", REG_SZ, text("/var/lib/node")});
  registry.model.OpenKey(key).Set({"ShowHistory", REG_DWORD, {1, 0, 0, 0}});
  registry.model.OpenKey(key).Set({"DesktopNotification", REG_BINARY, {0, 0, 0, 0}});
  std::vector<std::string> warnings;
  const ExtensionSettings s =
      LoadExtensionSettings(registry, [&](const std::string& w) { warnings.push_back(w); });
  EXPECT_EQ(s.alarmCommand, "logger %s");
  EXPECT_EQ(s.metricsDir, "/var/lib/node");
  EXPECT_EQ(s.showHistory, 1);
  EXPECT_EQ(s.desktopNotification, 1);  // the binary value was not taken
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("DesktopNotification"), std::string::npos);
}

// Commands come only from a settings file of the monitor's own user that nobody else can write:
// a root monitor does not run a user's commands (nor those of a file others can change), and
// says so in one line. The file judged is the one read, a link's target included.
TEST(ExtensionSettings, CommandsOfAFileAnotherUserCanWriteDoNotRun) {
  ASSERT_EQ(::geteuid(), 0u) << "plays another user: run as root";
  const fs::path dir = fs::path(testing::TempDir()) / ("velmo-owner-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  auto hex = [](const std::string& s) {
    std::string out;
    for (char c : s) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
      out += byte;
    }
    return out + "00,00";
  };
  const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[" + ExtensionsKeyPath() +
                           "]\r\n\"AlarmCommand\"=hex(1):" + hex("logger on") +
                           "\r\n\"AlarmEndCommand\"=hex(1):" + hex("logger off") +
                           "\r\n\"MetricsDir\"=hex(1):" + hex("/var/lib/node") + "\r\n";
  struct Row {
    const char* what;
    uid_t owner;
    mode_t mode;
    bool viaLink;  // read through root's link to the file
    bool run;
    const char* said;
  };
  const Row rows[] = {
      {"root's own file", 0, 0600, false, true, ""},
      {"a user's file", 1000, 0600, false, false, "belongs to uid 1000, and velmond runs as root"},
      {"a user's file behind root's link", 1000, 0600, true, false, "belongs to uid 1000"},
      {"root's file others can write", 0, 0666, false, false, "can be written by other users"},
      {"root's file its group can write", 0, 0620, false, false, "can be written by other users"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const fs::path file = dir / "registry.reg";
    const fs::path link = dir / "link.reg";
    fs::remove(file);
    fs::remove(link);
    std::ofstream(file, std::ios::binary) << text;
    ::chown(file.c_str(), row.owner, row.owner);
    ::chmod(file.c_str(), row.mode);
    if (row.viaLink) fs::create_symlink(file, link);
    RegistryFile registry((row.viaLink ? link : file).string());
    std::vector<std::string> warnings;
    const ExtensionSettings s =
        LoadExtensionSettings(registry, [&](const std::string& w) { warnings.push_back(w); });
    EXPECT_EQ(s.alarmCommand, row.run ? "logger on" : "");
    EXPECT_EQ(s.alarmEndCommand, row.run ? "logger off" : "");
    EXPECT_EQ(s.metricsDir, "/var/lib/node") << "only the commands are off";
    if (row.run) {
      EXPECT_TRUE(warnings.empty());
    } else {
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_EQ(
          warnings[0].rfind("AlarmCommand and AlarmEndCommand are off: " + registry.Path(), 0), 0u)
          << warnings[0];
      EXPECT_NE(warnings[0].find(row.said), std::string::npos) << warnings[0];
    }
  }
  // The same file read by its own user's monitor runs its commands.
  fs::remove(dir / "link.reg");
  ::chmod((dir / "registry.reg").c_str(), 0600);
  ::chown((dir / "registry.reg").c_str(), 1000, 1000);
  ::chmod(dir.c_str(), 0755);
  EXPECT_TRUE(test::RunAs([&] {
    RegistryFile registry((dir / "registry.reg").string());
    return LoadExtensionSettings(registry).alarmCommand == "logger on";
  }));
  fs::remove_all(dir);
}

TEST(ExtensionSettings, AMetricsDirThatIsNotAbsoluteIsRefused) {
  MemoryRegistry registry;
  auto text = [](const std::string& s) {
    std::vector<uint8_t> data;
    for (char c : s) {
      data.push_back(static_cast<uint8_t>(c));
      data.push_back(0);
    }
    data.insert(data.end(), {0, 0});
    return data;
  };
  for (const char* dir : {"metrics", "./metrics", "~/metrics", "/var/lib/node"}) {
    registry.model.OpenKey(ExtensionsKeyPath()).Set({"MetricsDir", REG_SZ, text(dir)});
    std::vector<std::string> warnings;
    const ExtensionSettings s =
        LoadExtensionSettings(registry, [&](const std::string& w) { warnings.push_back(w); });
    const bool absolute = dir[0] == '/';
    EXPECT_EQ(s.metricsDir, absolute ? dir : "") << dir;
    EXPECT_EQ(warnings.size(), absolute ? 0u : 1u) << dir;
    if (!absolute) {
      EXPECT_EQ(warnings[0], std::string("MetricsDir \"") + dir +
                                 "\" ignored: not an absolute folder; no metrics file is written");
    }
  }
}

}  // namespace
}  // namespace velmo::core
