// A sensor that cannot be read, end to end: velmond --headless on the kernel's sensors of a tree
// whose CPU temperature input has no read permission. Its channel is present without a value:
// null in the tick, null in the CPU page's slot, no sample in velmo.prom.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sstream>
#include <string>

#include "HwmonFixture.h"
#include "tests/hwmon/KernelTreeRuns.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;

TEST(NoValueRun, AnUnreadableSensorIsNullInTheTicksAndAbsentFromTheMetrics) {
  Workspace ws("novalue");
  HwmonFixture tree;
  tree.Add("k10temp", "pci0000:00/0000:00:18.3", "pci",
           {{"temp1_input", "45250"}, {"temp1_label", "Tctl"}});
  tree.Add("nct6798", "platform/nct6775.656", "platform",
           {{"fan2_input", "1150"}, {"temp1_input", "34000"}, {"temp1_label", "SYSTIN"}});
  // libsensors takes a file without read permission for an input it cannot read.
  const fs::path input =
      tree.Root() / "sys/devices/pci0000:00/0000:00:18.3/hwmon/hwmon0/temp1_input";
  ASSERT_TRUE(fs::exists(input));
  fs::permissions(input, fs::perms::owner_write);
  const fs::path sensorsD = tree.Root() / "sensors.d";
  fs::create_directories(sensorsD);
  const fs::path metrics = ws.dir / "metrics";
  fs::create_directories(metrics);
  const std::string board =
      ws.Write("generic.json", R"({"bios_id": "MODERNPC", "chip": "none", "hwmon": true})");
  const std::string registry =
      ws.Write("registry.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions]\r\n"
               "\"MetricsDir\"=\"" +
                   metrics.string() + "\"\r\n");
  const std::string events = RunFunctionInTree(tree.Root(),
                                               [&] {
                                                 app::Options options;
                                                 options.headless = true;
                                                 options.board = board;
                                                 options.registry = registry;
                                                 options.ticks = 2;
                                                 options.confirmAlarm = true;
                                                 options.dryRunPower = true;
                                                 std::ostringstream out;
                                                 app::RunVelmond(options, out);
                                                 return out.str();
                                               },
                                               {{sensorsD, "/etc/sensors.d"}});
  int ticks = 0;
  std::istringstream lines(events);
  std::string line;
  while (std::getline(lines, line)) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (!event.is_object() || event.value("event", "") != "tick") continue;
    ++ticks;
    const nlohmann::json& cpu = event["channels"]["CPUTEMP"];
    EXPECT_EQ(cpu["present"], 1) << line;
    EXPECT_TRUE(cpu["value"].is_null()) << line;
    EXPECT_EQ(event["channels"]["SYSTEMP"]["value"], 34) << line;
    EXPECT_TRUE(event["pages"]["cpu"]["temp"].is_null()) << line;
    EXPECT_EQ(event["pages"]["system"]["temp"], 34) << line;
  }
  EXPECT_EQ(ticks, 2) << events;
  const std::string prom = ReadText((metrics / "velmo.prom").string());
  EXPECT_NE(prom.find("velmo_temperature_celsius{channel=\"SYSTEMP\",label=\"SYSTIN\","
                      "chip=\"nct6798-isa-0290\"} 34\n"),
            std::string::npos)
      << prom;
  EXPECT_EQ(prom.find("velmo_temperature_celsius{channel=\"CPUTEMP\""), std::string::npos) << prom;
}

}  // namespace
}  // namespace velmo::test
