#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "monitor/core/ChipProfiles.h"
#include "tests/e2e/VelmondRun.h"

namespace velmo::test {
namespace {

using nlohmann::json;

// A w83782d board: readings in range unless a test adds registers.
std::string Board(const std::string& extraRegisters = "", const std::string& extra = "") {
  return R"({"bios_id": "7K4XRQB8", "chip": "w83782d", )" + extra +
         R"("registers": {"0x47": "0x5f", "0x4b": "0x5f", "0x28": 135, "0x29": 135, "0x2a": 135,
         "0x20": 112, "0x21": 112, "0x22": 206, "0x23": 187, "0x24": 198, "0x25": 20,
         "0x26": 20, "0x27": 40, "1:0x50": 45, "2:0x50": 38, "5:0x50": 187, "5:0x51": 190)" +
         extraRegisters + "}}";
}

std::vector<uint8_t> Int(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}

// The settings file with the given binary values.
std::string Registry(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& values) {
  std::string text =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10]\n";
  for (const auto& [name, bytes] : values) {
    text += "\"" + name + "\"=hex:";
    for (size_t i = 0; i < bytes.size(); ++i) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
      text += (i ? "," : "") + std::string(buf);
    }
    text += "\n";
  }
  return text;
}

std::vector<std::string> Kinds(const RunResult& run) {
  std::vector<std::string> kinds;
  for (const auto& e : run.events)
    kinds.push_back(e["event"]);
  return kinds;
}

const std::string kCpuSentence = "The CPU  Temperature has exceeded Normal Operating Tolerance.";

TEST(Headless, QuietBoardRunsTicksAndSavesAtTheEnd) {
  Sandbox box("quiet");
  const auto board = box.Write("board.json", Board());
  const RunResult run = RunVelmond(box, {"--headless", "--board", board, "--ticks", "3"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Kinds(run), (std::vector<std::string>{"tray", "timer", "tray", "tick", "tick", "tick",
                                                  "timer", "exit"}));
  const json tick = run.Of("tick").back();
  EXPECT_EQ(tick["tick"], 3);
  EXPECT_EQ(tick["hmType"], 2);
  EXPECT_EQ(tick["mbModel"], 1);
  EXPECT_EQ(tick["status"], "CPU Temp:45C/113F, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:ON");
  EXPECT_EQ(tick["channels"]["V5"]["value"], 5056);
  EXPECT_EQ(tick["channels"].size(), 15u);
  EXPECT_EQ(tick["pages"]["cpu"]["temp"], 45);
  EXPECT_EQ(tick["pages"]["system"]["present"]["vn12"], 1);
  EXPECT_FALSE(tick["pages"].contains("cpu2"));
  EXPECT_EQ(run.Of("tray")[0], json({{"event", "tray"}, {"icon", 132}, {"tooltip", ""}}));
  EXPECT_EQ(run.Of("timer")[0]["period_ms"], 5000);
  EXPECT_EQ(run.Of("exit")[0], json({{"event", "exit"}, {"code", 0}, {"saved", true}}));
  EXPECT_TRUE(std::filesystem::exists(box.Registry()));
}

TEST(Headless, TwoAlarmsDialogShowsFirstSentenceTooltipTheLast) {
  Sandbox box("two-alarms");
  // +5 V at 6002 mV and the CPU at 100 degrees.
  const auto board = box.Write("board.json", Board(R"(, "0x23": 222, "1:0x50": 100)"));
  const RunResult run = RunVelmond(box, {"--headless", "--board", board, "--ticks", "1"});
  ASSERT_EQ(run.Of("alarm-dialog").size(), 1u) << run.output;
  EXPECT_EQ(run.Of("alarm-dialog")[0]["condition"],
            "The 6.2 V Power-Line has exceeded Normal Operating Tolerance.");
  EXPECT_EQ(run.Of("alarm-dialog")[0]["action"], 0);
  EXPECT_EQ(run.Of("tray")[1], json({{"event", "tray"}, {"icon", 137}, {"tooltip", kCpuSentence}}));
  EXPECT_EQ(run.Of("tick")[0]["currentAlarmChannel"], 14);
}

TEST(Headless, LongStatusLineIsCutToSixtyThreeInTheTray) {
  Sandbox box("long-status");
  // Both temperatures at 100 with their alarms off and both fans stopped: 64 characters.
  const auto board =
      box.Write("board.json", Board(R"(, "1:0x50": 100, "2:0x50": 100, "0x29": 255, "0x2a": 255)"));
  auto profile = core::DefaultChipProfiles().w83782d;
  profile[core::CPUTEMP].alarm.enabled = 0;
  profile[core::SYSTEMP].alarm.enabled = 0;
  const auto cpu = core::EncodeRecord(profile[core::CPUTEMP]);
  const auto sys = core::EncodeRecord(profile[core::SYSTEMP]);
  const auto reg = box.Write("settings.reg", Registry({{"SC_CPUTEMP", {cpu.begin(), cpu.end()}},
                                                       {"SC_SYSTEMP", {sys.begin(), sys.end()}},
                                                       {"HmType", Int(2)}}));
  const RunResult run =
      RunVelmond(box, {"--headless", "--board", board, "--registry", reg, "--ticks", "1"});
  const std::string status = run.Of("tick").at(0)["status"];
  EXPECT_EQ(status, "CPU Temp:100C/212F, SYS Temp:100C/212F, CPU FAN:OFF, SYS FAN:OFF");
  EXPECT_EQ(run.Of("tray").at(1)["tooltip"], status.substr(0, 63));
  EXPECT_EQ(run.Of("tray").at(1)["icon"], 132);
}

TEST(Headless, AlarmSwitchOffGivesTheAlarmIconAndNoDialog) {
  Sandbox box("switch-off");
  const auto board = box.Write("board.json", Board(R"(, "1:0x50": 100)"));
  const auto reg = box.Write("settings.reg", Registry({{"bAlarm", Int(0)}, {"HmType", Int(2)}}));
  const RunResult run =
      RunVelmond(box, {"--headless", "--board", board, "--registry", reg, "--ticks", "2"});
  EXPECT_TRUE(run.Of("alarm-dialog").empty()) << run.output;
  EXPECT_EQ(run.Of("tray")[1]["icon"], 137);
  EXPECT_EQ(run.Of("tick")[1]["params"]["bAlarm"], 0);
  EXPECT_EQ(run.Of("tick")[1]["pages"]["cpu"]["alarm"], 0);
}

TEST(Headless, DisableThisAlarmHitsTheHighestNumberedChannel) {
  Sandbox box("disable-one");
  const auto board = box.Write("board.json", Board(R"(, "0x23": 222, "1:0x50": 100)"));
  const auto reg =
      box.Write("settings.reg", Registry({{"iWarningActs", Int(1)}, {"HmType", Int(2)}}));
  const RunResult run = RunVelmond(
      box, {"--headless", "--board", board, "--registry", reg, "--confirm-alarm", "--ticks", "2"});
  ASSERT_EQ(run.Of("alarm-action").size(), 1u) << run.output;
  EXPECT_EQ(run.Of("alarm-action")[0]["action"], 1);
  const auto dialogs = run.Of("alarm-dialog");
  ASSERT_GE(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1]["condition"],
            "The 6.2 V Power-Line has exceeded Normal Operating Tolerance.");
  const json last = run.Of("tick").back();
  EXPECT_EQ(last["channels"]["CPUTEMP"]["enabled"], 0);
  EXPECT_EQ(last["channels"]["V5"]["enabled"], 1);
  EXPECT_EQ(last["currentAlarmChannel"], 6);
}

TEST(Headless, RestartWritesLimitsSavesAndReportsThePowerRequest) {
  Sandbox box("restart");
  const auto trace = (box.dir / "ports.log").string();
  const auto board =
      box.Write("board.json", Board(R"(, "1:0x50": 100)", "\"trace\": \"" + trace + "\", "));
  const auto reg =
      box.Write("settings.reg", Registry({{"iWarningActs", Int(3)}, {"HmType", Int(2)}}));
  const RunResult run = RunVelmond(box, {"--headless", "--board", board, "--registry", reg,
                                         "--confirm-alarm", "--dry-run-power", "--ticks", "5"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  const auto kinds = Kinds(run);
  const std::vector<std::string> tail(kinds.end() - 4, kinds.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"alarm-action", "timer", "power", "exit"}));
  EXPECT_EQ(run.Of("power")[0], json({{"event", "power"}, {"request", "reboot"}, {"sent", false}}));
  EXPECT_EQ(run.Of("exit")[0]["saved"], true);
  EXPECT_EQ(run.Of("tick").size(), 1u);  // the program ended at the confirmation

  // The limit writes: bank 2 (system) then bank 1 (CPU), registers 0x55 := 127, 0x53 := 126.
  std::ifstream in(trace);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);)
    lines.push_back(l);
  std::vector<std::string> writes;
  for (size_t i = 0; i + 2 < lines.size(); ++i) {
    if (lines[i].rfind("out 1 0x295 ", 0) == 0 && lines[i + 2].rfind("out 1 0x296 ", 0) == 0)
      writes.push_back(lines[i].substr(12) + "=" + lines[i + 2].substr(12));
  }
  const std::vector<std::string> limits = {"0x55=0x7f", "0x53=0x7e"};
  std::vector<std::string> found;
  for (const auto& w : writes)
    if (w == limits[0] || w == limits[1]) found.push_back(w);
  EXPECT_EQ(found, (std::vector<std::string>{"0x55=0x7f", "0x53=0x7e", "0x55=0x7f", "0x53=0x7e"}));
}

TEST(Headless, UnknownChipAsksAndEndsWithoutSaving) {
  Sandbox box("no-chip");
  const auto board = box.Write("board.json", R"({"bios_id": "7K4XRQB8", "chip": "none"})");
  const RunResult run = RunVelmond(box, {"--headless", "--board", board, "--ticks", "3"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Kinds(run), (std::vector<std::string>{"question", "exit"}));
  EXPECT_EQ(run.Of("question")[0]["answer"], "no");
  EXPECT_EQ(run.Of("exit")[0]["saved"], false);
  EXPECT_FALSE(std::filesystem::exists(box.Registry()));

  const RunResult yes =
      RunVelmond(box, {"--headless", "--board", board, "--answer", "yes", "--ticks", "3"});
  EXPECT_EQ(Kinds(yes), (std::vector<std::string>{"question", "question", "exit"}));
  EXPECT_EQ(yes.Of("question")[1]["text"], "Are you really want to uninstall Velmo?");
  EXPECT_FALSE(std::filesystem::exists(box.Registry()));
}

TEST(Headless, SecondInstanceIsRefusedAndSignalEndsTheFirstWithSave) {
  Sandbox box("instance");
  const auto board = box.Write("board.json", Board());
  Velmond first(box, {"--headless", "--board", board});
  ASSERT_TRUE(first.WaitFor("timer"));
  const RunResult second = RunVelmond(box, {"--headless", "--board", board, "--ticks", "1"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(
      second.Of("message")[0],
      json({{"event", "message"}, {"caption", "Velmond"}, {"text", "Velmo has been running !"}}));
  first.Signal(SIGTERM);
  const RunResult run = first.Wait();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.Of("exit").back(), json({{"event", "exit"}, {"code", 0}, {"saved", true}}));
  EXPECT_TRUE(std::filesystem::exists(box.Registry()));
  // The lock went with the first instance.
  const RunResult third = RunVelmond(box, {"--headless", "--board", board, "--ticks", "0"});
  EXPECT_EQ(third.exitCode, 0);
}

TEST(Headless, BadBoardFileIsReportedNotCrashed) {
  Sandbox box("bad-board");
  const auto board = box.Write("board.json", R"({"chip": "w99999"})");
  const RunResult run = RunVelmond(box, {"--headless", "--board", board, "--ticks", "1"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.events.empty());
}

// A lock that cannot be taken for another reason than a running instance says what failed.
TEST(Headless, LockFailureIsNotTakenForARunningInstance) {
  Sandbox box("lock-failure");
  const std::string open = (box.dir / "open").string();
  std::filesystem::create_directories(open);
  std::filesystem::permissions(open, std::filesystem::perms::all);
  const std::string demo = std::string(VELMO_BOARD_DIR) + "/demo.json";
  // No folder of the user's own: the runtime folder is world-writable and HOME is a file.
  const RunResult run = RunVelmond(box, {"--headless", "--board", demo, "--ticks", "1"},
                                   {{"XDG_RUNTIME_DIR", open}, {"HOME", box.Write("home", "")}});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.Of("message").empty()) << run.output;  // not "Velmo has been running !"
  EXPECT_NE(run.errors.find("velmond: cannot take the single-instance lock: no folder"),
            std::string::npos)
      << run.errors;
}

// A save that cannot be made is reported, not passed off as done: one line on standard error
// naming the file and the reason, and saved:false in the exit event.
TEST(Headless, UnsavedSettingsAreReportedAsSuch) {
  Sandbox box("unsaved");
  const std::string demo = std::string(VELMO_BOARD_DIR) + "/demo.json";
  const std::string folder = (box.dir / "a-folder").string();
  std::filesystem::create_directories(folder);
  const RunResult run =
      RunVelmond(box, {"--headless", "--board", demo, "--registry", folder, "--ticks", "1"});
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_FALSE(run.events.empty());
  EXPECT_EQ(run.events.back(), (nlohmann::json{{"event", "exit"}, {"code", 0}, {"saved", false}}));
  EXPECT_NE(run.errors.find("velmond: settings not saved: " + folder +
                            ": cannot be read (is a folder); left as it is\n"),
            std::string::npos)
      << run.errors;
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// What the load cannot take is said, on standard error and as an event, and a value too long to
// be a setting no longer costs the user the settings stored after it.
TEST(Headless, IgnoredSettingsValuesAreReportedAndTheRestKept) {
  Sandbox box("ignored-values");
  std::filesystem::create_directories(box.dir / "config" / "velmo");
  box.Write(
      "config/velmo/registry.reg",
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10]\r\n"
      "\"Notes\"=hex:" +
          [] {
            std::string bytes;
            for (int i = 0; i < 300; ++i)
              bytes += i ? ",00" : "00";
            return bytes;
          }() +
          "\r\n\"bAlarm\"=hex:00,00,00,00\r\n\"iWarningActs\"=dword:00000002\r\n");
  const std::string demo = std::string(VELMO_BOARD_DIR) + "/demo.json";
  const RunResult run = RunVelmond(box, {"--headless", "--board", demo, "--ticks", "1"});
  EXPECT_EQ(run.exitCode, 0);
  const auto warnings = run.Of("warning");
  ASSERT_EQ(warnings.size(), 2u) << run.output;
  EXPECT_EQ(warnings[0]["text"],
            "settings value \"Notes\" skipped: 5-character name, 300 bytes of data; longer than "
            "a setting can be");
  EXPECT_EQ(warnings[1]["text"],
            "settings value \"iWarningActs\" ignored: a dword, not the binary value it must be");
  EXPECT_NE(run.errors.find("velmond: settings value \"iWarningActs\" ignored"), std::string::npos);
  // bAlarm, stored after the long value, was taken and is saved again as the user had it.
  const auto ticks = run.Of("tick");
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks.back()["params"]["bAlarm"], 0);
  std::ifstream saved(box.Registry());
  const std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"bAlarm\"=hex:00,00,00,00"), std::string::npos);
}

// With the extensions on: the alarm commands run once at the start and once at the end of the
// demo's overheating, the metrics file is there, and the ticks carry the lowest and highest
// readings. (With them off the golden event streams show that nothing changes.)
TEST(Headless, ExtensionsRunCommandsWriteMetricsAndKeepHistory) {
  Sandbox box("extensions");
  const std::string metrics = (box.dir / "metrics").string();
  std::filesystem::create_directories(metrics);
  auto text = [](const std::string& s) {
    std::string hex;
    for (char c : s) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
      hex += byte;
    }
    return hex + "00,00";
  };
  const std::string log = (box.dir / "commands.log").string();
  std::filesystem::create_directories(box.dir / "config" / "velmo");
  box.Write("config/velmo/registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions]\r\n"
            "\"AlarmCommand\"=hex(1):" +
                text("sh -c 'echo start \"$0\" >> " + log + "' %l") +
                "\r\n\"AlarmEndCommand\"=hex(1):" + text("sh -c 'echo end $0 >> " + log + "' %c") +
                "\r\n\"MetricsDir\"=hex(1):" + text(metrics) +
                "\r\n\"ShowHistory\"=dword:00000001\r\n");
  const std::string demo = std::string(VELMO_BOARD_DIR) + "/demo.json";
  const RunResult run = RunVelmond(
      box, {"--headless", "--board", demo, "--ticks", "20", "--confirm-alarm", "--dry-run-power"});
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  const auto commands = run.Of("alarm-command");
  ASSERT_EQ(commands.size(), 2u) << run.output;
  EXPECT_EQ(commands[0]["channel"], "CPUTEMP");
  EXPECT_EQ(commands[0]["argv"].back(), "Cpu Temp.");
  EXPECT_EQ(commands[0]["started"], true);
  EXPECT_EQ(commands[1]["argv"].back(), "CPUTEMP");
  for (int i = 0; i < 100 && !std::filesystem::exists(log); ++i)
    ::usleep(10000);
  std::ifstream in(log);
  const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(lines.find("start Cpu Temp."), std::string::npos) << lines;
  std::ifstream prom(metrics + "/velmo.prom");
  const std::string exposition((std::istreambuf_iterator<char>(prom)),
                               std::istreambuf_iterator<char>());
  EXPECT_NE(exposition.find("velmo_info{board_text=\"7K4XZQB1\""), std::string::npos);
  const auto ticks = run.Of("tick");
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks.back()["channels"]["CPUTEMP"]["max"], 101);  // the demo's peak
  EXPECT_TRUE(run.Of("warning").empty()) << run.output;
}

// Every program that reads a board file refuses a deeply nested one with a message, not a crash.
TEST(Headless, DeeplyNestedBoardFileIsRefusedByEveryProgram) {
  Sandbox box("deep-board");
  const std::string deep = std::string(70000, '[') + std::string(70000, ']');
  const auto board =
      box.Write("deep.json", R"({"chip":"w83782d","registers":{"0x20":)" + deep + "}}");
  const std::string bin = VELMO_BINARY_DIR;
  struct Row {
    std::string program;
    int exitCode;
  };
  const Row rows[] = {{bin + "/monitor/app/velmond --headless --ticks 1", 2},
                      {bin + "/tools/velmo-identify", 1},
                      {bin + "/drivers/portio/portio", 1},
                      {bin + "/drivers/mapmem/mapmem", 1}};
  for (const Row& row : rows) {
    // The sandbox's settings and lock: a monitor running on this machine must not answer for it.
    const std::string command = "VELMO_DEVICE_DIR=" + (box.dir / "dev").string() +
                                " XDG_CONFIG_HOME=" + (box.dir / "config").string() +
                                " XDG_RUNTIME_DIR=" + (box.dir / "runtime").string() +
                                " HOME=" + box.dir.string() + " " + row.program + " --board " +
                                board + " 2>" + (box.dir / "err").string() + " >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << row.program;
    EXPECT_EQ(WEXITSTATUS(status), row.exitCode) << row.program;
    std::ifstream err(box.dir / "err");
    const std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("nested deeper than 16 levels"), std::string::npos) << row.program;
  }
}

}  // namespace
}  // namespace velmo::test
