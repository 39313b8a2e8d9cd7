// A PC of today end to end: velmond --headless on a board with no chip of the maker, in a private
// mount namespace over a machine's hwmon tree, runs on the kernel's sensors; the whole event
// stream is a golden file. Without the machine's hwmon, or with KernelSensors 0, the removal
// question comes as before.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "sim/MachineTree.h"
#include "tests/hwmon/KernelTreeRuns.h"
#include "tests/support/Golden.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGenericBoard = R"({"bios_id": "MODERNPC", "chip": "none", "hwmon": true})";
constexpr const char* kRemovalQuestion = "System monitor IC can not be found on your motherboard.";

fs::path Machine(const std::string& name) {
  return fs::path(VELMO_BOARD_DIR) / "machines" / (name + ".json");
}

fs::path Tree(const Workspace& ws, const std::string& machine) {
  const fs::path root = ws.dir / ("tree-" + machine);
  fs::remove_all(root);
  std::string error;
  EXPECT_TRUE(sim::ExportMachineTree(Machine(machine), root, &error)) << error;
  return root;
}

// A run with a settings file of the test's choice (kept between runs).
std::string RunWith(const std::string& board, const std::string& registry, int ticks) {
  app::Options options;
  options.headless = true;
  options.board = board;
  options.registry = registry;
  options.ticks = ticks;
  options.confirmAlarm = true;
  options.dryRunPower = true;
  std::ostringstream out;
  const int code = app::RunVelmond(options, out);
  return out.str() + "exit " + std::to_string(code) + "\n";
}

TEST(GenericBoard, AMachinesSensorsRunTheMonitor) {
  Workspace ws("generic");
  const std::string board = ws.Write("generic.json", kGenericBoard);
  for (const char* machine : {"desktop", "laptop"}) {
    SCOPED_TRACE(machine);
    const fs::path root = Tree(ws, machine);
    const std::string events =
        RunFunctionInTree(root, [&] { return HeadlessRun(ws, board, 3, machine); });
    ExpectGolden(std::string(VELMO_TEST_DATA_DIR) + "/headless/generic-" + machine + ".events",
                 events);
  }
}

TEST(GenericBoard, TheRemovalQuestionWhereTheKernelCannotStandIn) {
  Workspace ws("generic-off");
  const fs::path root = Tree(ws, "desktop");
  const std::string board = ws.Write("generic.json", kGenericBoard);
  const std::string notHanded =
      ws.Write("not-handed.json", R"({"bios_id": "MODERNPC", "chip": "none"})");
  const std::string off =
      ws.Write("off.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions]\r\n"
               "\"KernelSensors\"=dword:00000000\r\n");
  struct Row {
    const char* what;
    std::string board;
    std::string registry;
  };
  const Row rows[] = {
      {"a board that does not hand over the machine's hwmon", notHanded,
       (ws.dir / "none.reg").string()},
      {"KernelSensors 0", board, off},
      {"an empty hwmon", board, (ws.dir / "empty.reg").string()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const fs::path tree = std::string(row.what) == "an empty hwmon" ? ws.dir / "empty" : root;
    fs::create_directories(tree / "sys/class/hwmon");
    fs::create_directories(tree / "sys/devices");
    const std::string events =
        RunFunctionInTree(tree, [&] { return RunWith(row.board, row.registry, 2); });
    EXPECT_NE(events.find(kRemovalQuestion), std::string::npos) << events;
    EXPECT_EQ(events.find("\"event\":\"tick\""), std::string::npos) << events;
  }
}

TEST(GenericBoard, SettingsStayWithTheMachineAndAMakersBoardStartsAfresh) {
  Workspace ws("generic-settings");
  const fs::path root = Tree(ws, "desktop");
  const std::string board = ws.Write("generic.json", kGenericBoard);
  const std::string registry = (ws.dir / "settings.reg").string();
  RunFunctionInTree(root, [&] { return RunWith(board, registry, 1); });
  const std::string stored = ReadText(registry);
  // The chip code of the kernel's sensors is stored as any chip's.
  EXPECT_NE(stored.find("\"HmType\"=hex:06,00,00,00"), std::string::npos) << stored;
  const std::string maker = std::string(VELMO_BOARD_DIR) + "/w83782d.json";
  const std::string events = RunWith(maker, registry, 1);
  EXPECT_NE(events.find("\"hmType\":2"), std::string::npos) << events;
  EXPECT_NE(ReadText(registry).find("\"HmType\"=hex:02,00,00,00"), std::string::npos);
}

}  // namespace
}  // namespace velmo::test
