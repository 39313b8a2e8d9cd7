// What both hosts share: the order in which a report is rendered, power requests (sent, refused,
// only reported), and the end of the program with the reason the settings were not saved.
#include "monitor/app/ProgramHost.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/app/HeadlessHost.h"
#include "monitor/app/LogindPower.h"
#include "monitor/core/MonitorState.h"

namespace velmo::app {
namespace {

class ScriptedPower : public PowerControl {
 public:
  bool refuse = false;
  int requests = 0;
  base::Expected<void> Request(core::PowerRequest) override {
    ++requests;
    if (refuse) return base::Error{"not allowed"};
    return {};
  }
};

// Records what it is asked to render, one short line each.
class Recorder : public ProgramHost {
 public:
  using ProgramHost::ProgramHost;
  std::vector<std::string> lines;
  void ShowMessage(const std::string& text, const std::string&) override {
    lines.push_back("message " + text);
  }
  void EndProgram(int) override {}
  bool AskYesNo(const std::string&) override { return false; }
  std::optional<core::AlarmRangeDialogData> RunAlarmRangeDialog(
      const core::AlarmRangeDialogData&) override {
    return std::nullopt;
  }
  std::optional<core::AppParamsDialogData> RunAppParamsDialog(
      const core::AppParamsDialogData&) override {
    return std::nullopt;
  }

 private:
  void ShowFrame(const core::FrameReport& r) override {
    lines.push_back("frame " + std::to_string(r.tick));
  }
  void ShowTick(const core::FrameReport& r) override {
    lines.push_back("tick " + std::to_string(r.tick));
  }
  void ShowAlarmCommand(const core::AlarmCommands::Run& run) override {
    lines.push_back("command " + run.argv.front());
  }
  void ShowWarning(const std::string& text) override { lines.push_back("warning " + text); }
  void ShowPower(const char* name, bool sent, bool dryRun) override {
    lines.push_back(std::string("power ") + name + (sent ? " sent" : " not-sent") +
                    (dryRun ? " dry-run" : ""));
  }
};

TEST(ProgramHost, AReportRendersFrameCommandsWarningsThenTheTick) {
  ScriptedPower power;
  Recorder host(&power, false);
  core::FrameReport report;
  report.tick = 7;
  report.ticked = true;
  report.alarmCommands = {{core::CPUTEMP, true, {"on"}, true, {}},
                          {core::V5, false, {"off"}, false, "gone"}};
  report.warnings = {"metrics not written: full"};
  host.Render(report);
  EXPECT_EQ(host.lines, (std::vector<std::string>{"frame 7", "command on", "command off",
                                                  "warning metrics not written: full", "tick 7"}));
  EXPECT_FALSE(host.QuitRequested());

  host.lines.clear();
  core::FrameReport notTicked;
  host.Render(notTicked);
  EXPECT_EQ(host.lines, (std::vector<std::string>{"frame 0"})) << "no tick without one";
}

TEST(ProgramHost, TheEndKeepsItsCodeAndWhyTheSettingsWereNotSaved) {
  const struct {
    bool saved;
    const char* reason;
  } rows[] = {{true, ""}, {false, "/x/velmo.reg: Permission denied"}};
  for (const auto& row : rows) {
    Recorder host(nullptr, false);
    core::FrameReport report;
    report.end = core::FrameEnd{0, row.saved, row.reason};
    host.Render(report);
    EXPECT_TRUE(host.QuitRequested()) << row.reason;
    EXPECT_EQ(host.ExitCode(), 0) << row.reason;
    EXPECT_EQ(host.Saved(), row.saved) << row.reason;
    EXPECT_EQ(host.NotSavedReason(), row.reason);
  }
}

TEST(ProgramHost, PowerRequestsSentRefusedOrOnlyReported) {
  const struct {
    const char* what;
    bool havePower;
    bool dryRun;
    bool refuse;
    bool answer;  // what the frame hears
    const char* line;
    int requests;  // that reached the power control
  } rows[] = {
      {"sent", true, false, false, true, "power reboot sent", 1},
      {"refused", true, false, true, false, "power reboot not-sent", 1},
      {"dry run", true, true, false, true, "power reboot not-sent dry-run", 0},
      {"no power control", false, false, false, true, "power reboot not-sent dry-run", 0},
  };
  for (const auto& row : rows) {
    ScriptedPower power;
    power.refuse = row.refuse;
    Recorder host(row.havePower ? &power : nullptr, row.dryRun);
    EXPECT_EQ(host.RequestPower(core::PowerRequest::kReboot), row.answer) << row.what;
    EXPECT_EQ(host.lines, std::vector<std::string>{row.line}) << row.what;
    EXPECT_EQ(power.requests, row.requests) << row.what;
  }
}

TEST(HeadlessHost, ATickWritesNullForAChannelOrSlotWithoutAReading) {
  ScriptedPower power;
  std::ostringstream out;
  HeadlessHost host(out, false, true, power);
  core::MonitorState state;
  state[core::CPUTEMP].present = 1;
  state[core::SYSTEMP].present = 1;
  state[core::SYSTEMP].value = 38;
  state.noValue[core::CPUTEMP] = true;  // the word left 0, as the kernel source leaves it
  state.noValue[core::VCORE] = true;    // absent: its record prints as ever
  core::FrameReport report;
  report.ticked = true;
  report.state = &state;
  report.pages.cpu.temp = core::kNoValue;
  report.pages.cpu.fan = 4500;
  host.Render(report);
  const nlohmann::json tick = nlohmann::json::parse(out.str());
  ASSERT_EQ(tick["event"], "tick") << out.str();
  const nlohmann::json& channels = tick["channels"];
  EXPECT_TRUE(channels["CPUTEMP"]["value"].is_null()) << out.str();
  EXPECT_EQ(channels["CPUTEMP"]["present"], 1);
  EXPECT_EQ(channels["SYSTEMP"]["value"], 38);
  EXPECT_EQ(channels["VCORE"]["value"], 0);
  EXPECT_TRUE(tick["pages"]["cpu"]["temp"].is_null());
  EXPECT_EQ(tick["pages"]["cpu"]["fan"], 4500);

  // With the reading back, the same tick is byte for byte what it always was.
  const std::string withNull = out.str();
  out.str("");
  state.noValue = {};
  report.pages.cpu.temp = 0;
  host.Render(report);
  std::string expected = withNull;
  for (const char* key : {R"("CPUTEMP":{"present":1,"value":)", R"("fan":4500,"temp":)"}) {
    const size_t at = expected.find(std::string(key) + "null");
    ASSERT_NE(at, std::string::npos) << key;
    expected.replace(at + std::string(key).size(), 4, "0");
  }
  EXPECT_EQ(out.str(), expected);
}

}  // namespace
}  // namespace velmo::app
