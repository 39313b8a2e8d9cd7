#include "monitor/core/Identification.h"

#include <gtest/gtest.h>

#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/Golden.h"
#include "tests/support/RecordingBus.h"

namespace velmo::core {
namespace {

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines)
    out += l + "\n";
  return out;
}

// Identification of every shipped board: the result, and the exact port trace of the probe
// sequence against a golden file (VELMO_UPDATE_GOLDEN=1 rewrites the files).
TEST(Identification, ShippedBoardsAndTheirProbeTraces) {
  struct Row {
    const char* board;
    std::string text;
    int32_t mbModel;
    int32_t hmType;
    uint32_t chipIoBase;
    size_t messages;
  };
  const Row rows[] = {
      {"w83781d", "7K4XRQB8", 1, 1, 0, 0},          {"w83781d-model3", "7K4XNQBB", 3, 1, 0, 0},
      {"w83782d", "7K41TQBA", 5, 2, 0, 0},          {"w83627hf", "7K4XHQBC", 4, 3, 0, 0},
      {"sis5595", "7K41RQB1", 5, 4, 0, 0},          {"via686a", "7K4XRQBA", 2, 5, 0x6000, 0},
      {"via686a-disabled", "7K4XRQBA", 2, 0, 0, 1}, {"none", "7K4XRQB8", 1, 0, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.board);
    std::string error;
    auto board =
        sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + row.board + ".json", &error);
    ASSERT_TRUE(board) << error;
    test::RecordingHost host;
    hw::DirectBackend backend(*board);
    hw::PortAccess ports(backend, host);
    board->EnableTrace(true);
    std::string text;
    EXPECT_EQ(IdentifyBoard(ports, &text), row.mbModel);
    EXPECT_EQ(text, row.text);
    EXPECT_EQ(DetectMonitorChip(ports), row.hmType);
    EXPECT_EQ(ports.ChipIoBase(), row.chipIoBase);
    EXPECT_EQ(host.messages.size(), row.messages);

    test::ExpectGolden(std::string(VELMO_TEST_DATA_DIR) + "/identify/" + row.board + ".trace",
                       Join(board->Trace()));
  }
}

TEST(Identification, LastSuccessfulProbeWins) {
  // A Winbond chip answering 0x5CA3 and id 0x30, on a board with an enabled VIA 686A monitor.
  const char* both = R"({"chip": "w83782d", "pci": {"0:7.0": "0x06861106"}})";
  std::string error;
  auto board = sim::SimulatedBoard::Parse(both, "both.json", &error);
  ASSERT_TRUE(board) << error;
  test::RecordingHost host;
  hw::DirectBackend backend(*board);
  hw::PortAccess ports(backend, host);
  // 0:7.4 is absent here, so its control byte reads all ones: "enabled", base 0xFF80.
  EXPECT_EQ(DetectMonitorChip(ports), kHmVia686a);
  EXPECT_EQ(ports.ChipIoBase(), 0xFF80u);
}

TEST(Identification, FailedBiosReadGivesAnEmptyTextAndModel9) {
  test::RecordingBus bus;  // no memory: the read fails
  test::RecordingHost host;
  hw::DirectBackend backend(bus);
  hw::PortAccess ports(backend, host);
  std::string text = "x";
  EXPECT_EQ(IdentifyBoard(ports, &text), 9);
  EXPECT_EQ(text, "");
  EXPECT_EQ(host.messages.size(), 1u);
}

}  // namespace
}  // namespace velmo::core
