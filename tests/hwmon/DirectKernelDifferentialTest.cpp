// Direct and kernel agree: random chip states of every chip, run headless through the ports and
// through the kernel source reading the board's exported tree, give the same events (every
// channel's value and alarm state, tray, alarms) tick by tick. One namespace child runs all the
// boards, rewriting the tree between them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sim/KernelTree.h"
#include "sim/SimulatedBoard.h"
#include "tests/hwmon/KernelTreeRuns.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

constexpr int kBoards = 320;
constexpr int kTicks = 3;

struct ChipKind {
  const char* board;                   // the board file whose other fields are kept
  std::vector<std::string> registers;  // the registers the profiles read, randomised
  bool i2cChoice;                      // may be an I2C client or an ISA device
};

std::vector<std::string> Range(int first, int last, const char* prefix = "") {
  std::vector<std::string> out;
  char name[16];
  for (int r = first; r <= last; ++r) {
    std::snprintf(name, sizeof name, "%s0x%02X", prefix, r);
    out.push_back(name);
  }
  return out;
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (auto& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::vector<ChipKind>& Kinds() {
  static const std::vector<ChipKind> kinds = {
      {"w83781d.json", Join({Range(0x20, 0x2A), {"0x47", "1:0x50", "1:0x51", "2:0x50", "2:0x51"}}),
       true},
      {"w83782d.json",
       Join({Range(0x20, 0x2A),
             {"0x47", "0x4B", "1:0x50", "1:0x51", "2:0x50", "2:0x51", "5:0x50", "5:0x51"}}),
       true},
      {"w83627hf.json",
       Join({Range(0x20, 0x2A),
             {"0x47", "0x4B", "1:0x50", "1:0x51", "2:0x50", "2:0x51", "5:0x50", "5:0x51"}}),
       false},
      {"sis5595.json", Join({Range(0x20, 0x24), {"0x28", "0x29", "0x47"}}), false},
      {"via686a.json", Join({Range(0x1F, 0x2A), {"0x47"}}), false},
  };
  return kinds;
}

// The board texts of every model, and one of none.
const char* const kBiosIds[] = {"7K4XRQB8", "7K4XRQBA", "7K4XNQBB", "7K4XHQBC",
                                "7K41TQBA", "7K41RQB1", "ZZZZZZZZ"};

TEST(DirectKernelDifferential, RandomChipStatesGiveTheSameEventsThroughBothSources) {
  Workspace ws("differential");
  const auto root = ws.dir / "tree";
  std::filesystem::create_directories(root);
  // Exported once empty, so the namespace has both folders to bind before the first board.
  sim::ExportKernelTree(*sim::SimulatedBoard::Parse("{\"chip\": \"none\"}", "none", nullptr), root);

  const std::string report = RunFunctionInTree(root, [&] {
    std::mt19937 random(20261208);  // fixed: a failure names a board that can be made again
    std::string failures;
    int compared = 0;
    for (int n = 0; n < kBoards; ++n) {
      const ChipKind& kind = Kinds()[n % Kinds().size()];
      nlohmann::ordered_json board = nlohmann::ordered_json::parse(
          ReadText(std::string(VELMO_BOARD_DIR) + "/" + kind.board), nullptr, true, true);
      board["bios_id"] = kBiosIds[random() % std::size(kBiosIds)];
      nlohmann::ordered_json registers = board["registers"];
      for (const std::string& reg : kind.registers)
        registers[reg] = static_cast<int>(random() % 256);
      board["registers"] = registers;
      sim::KernelTreeOptions options;
      options.i2c = kind.i2cChoice && (random() % 2 == 0);
      options.hwmonIndex = static_cast<unsigned>(random() % 4);

      const std::string portBoard = ws.Write("ports.json", WithHwmon(board.dump(), false));
      const std::string kernelBoard = ws.Write("kernel.json", WithHwmon(board.dump(), true));
      std::string error;
      const auto simulated = sim::SimulatedBoard::Load(kernelBoard, &error);
      if (!simulated) return "board " + std::to_string(n) + ": " + error;
      sim::ExportKernelTree(*simulated, root, options);

      const std::string direct = HeadlessRun(ws, portBoard, kTicks, "ports");
      const auto [kernel, errors] =
          CapturingErrors([&] { return HeadlessRun(ws, kernelBoard, kTicks, "kernel"); });
      if (errors.find("reading the chip through the kernel's") == std::string::npos)
        failures += "board " + std::to_string(n) + " not read through the kernel: " + errors;
      if (kernel != direct)
        failures += "board " + std::to_string(n) + " differs:\n" + board.dump() + "\nports:\n" +
                    direct + "kernel:\n" + kernel;
      ++compared;
      if (failures.size() > 20000) break;
    }
    return std::to_string(compared) + " compared\n" + failures;
  });
  EXPECT_EQ(report, std::to_string(kBoards) + " compared\n");
}

}  // namespace
}  // namespace velmo::test
