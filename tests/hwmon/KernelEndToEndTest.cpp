// Each driver's tree through the kernel source end to end: velmond --headless on a board whose
// chip the machine's hwmon keeps, in a private mount namespace over the board's exported tree,
// gives the events of the same board read through the ports, and velmo-identify names the chip
// as lm-sensors does.
#include <gtest/gtest.h>

#include <string>

#include "sim/KernelTree.h"
#include "sim/SimulatedBoard.h"
#include "tests/hwmon/KernelTreeRuns.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

struct DriverRow {
  const char* board;
  bool i2c;
  const char* sensorsName;
  const char* source;
};

const DriverRow kDrivers[] = {
    {"w83781d.json", true, "w83781d-i2c-0-2d", "the kernel's w83781d driver"},
    {"w83781d.json", false, "w83781d-isa-0290", "the kernel's w83781d driver"},
    {"w83782d.json", true, "w83782d-i2c-0-2d", "the kernel's w83782d driver"},
    {"w83627hf.json", false, "w83627hf-isa-0290", "the kernel's w83627hf driver"},
    {"sis5595.json", false, "sis5595-isa-0290", "the kernel's sis5595 driver"},
    {"via686a.json", false, "via686a-isa-6000", "the kernel's via686a driver"},
};

std::unique_ptr<sim::SimulatedBoard> Parse(const std::string& text) {
  std::string error;
  auto board = sim::SimulatedBoard::Parse(text, "board", &error);
  EXPECT_TRUE(board) << error;
  return board;
}

TEST(KernelEndToEnd, EachDriversTreeGivesTheEventsOfThePorts) {
  Workspace ws("e2e");
  for (const DriverRow& row : kDrivers) {
    SCOPED_TRACE(std::string(row.board) + (row.i2c ? " i2c" : " isa"));
    const std::string text = ReadText(std::string(VELMO_BOARD_DIR) + "/" + row.board);
    const std::string kernelBoard = ws.Write("kernel.json", WithHwmon(text, true));
    const std::string portBoard = ws.Write("ports.json", WithHwmon(text, false));
    const auto root = ws.dir / "tree";
    std::filesystem::remove_all(root);
    sim::KernelTreeOptions options;
    options.i2c = row.i2c;
    sim::ExportKernelTree(*Parse(ReadText(kernelBoard)), root, options);

    const std::string direct = HeadlessRun(ws, portBoard, 8, "ports");
    const auto [kernel, errors] = SplitRun(RunFunctionInTree(root, [&] {
      const auto [events, errors] =
          CapturingErrors([&] { return HeadlessRun(ws, kernelBoard, 8, "kernel"); });
      return events + "\f" + errors;
    }));
    EXPECT_EQ(kernel, direct);
    EXPECT_NE(errors.find(std::string("reading the chip through ") + row.source), std::string::npos)
        << errors;
    EXPECT_NE(direct.find("\"event\":\"tick\""), std::string::npos);

    // The same board without the key never looks at the machine's hwmon.
    EXPECT_EQ(RunFunctionInTree(root, [&] { return HeadlessRun(ws, portBoard, 2, "p2"); }),
              HeadlessRun(ws, portBoard, 2, "p2"));

    const ProgramRun identify =
        RunInTree(root, {std::string(VELMO_BINARY_DIR) + "/tools/velmo-identify", "--board",
                         kernelBoard, "--sensors-json"});
    EXPECT_EQ(identify.status, 0) << identify.err;
    const auto json = nlohmann::ordered_json::parse(identify.out, nullptr, false);
    ASSERT_TRUE(json.is_object()) << identify.out;
    EXPECT_TRUE(json.contains(row.sensorsName)) << identify.out;
    EXPECT_NE(identify.err.find(row.source), std::string::npos) << identify.err;
    // lm-sensors' own name and adapter for the same device.
    const ProgramRun sensors = RunInTree(root, {"sensors", "-j"});
    EXPECT_EQ(sensors.status, 0) << sensors.err;
    const auto theirs = nlohmann::ordered_json::parse(sensors.out, nullptr, false);
    ASSERT_TRUE(theirs.is_object()) << sensors.out;
    ASSERT_TRUE(theirs.contains(row.sensorsName)) << sensors.out;
    EXPECT_EQ(json[row.sensorsName]["Adapter"], theirs[row.sensorsName]["Adapter"]);
  }
}

}  // namespace
}  // namespace velmo::test
