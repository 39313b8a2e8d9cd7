#include "monitor/core/ChipProfiles.h"
#include "monitor/core/ProfileSelection.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "monitor/core/Acquisition.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/boards/BoardCodes.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/RecordingBus.h"

namespace velmo::core {
namespace {

// A board from board-file text, set up as the frame's creation does it and read once: the
// profiles and adjustments are checked by the readings they give.
struct Board {
  std::unique_ptr<sim::SimulatedBoard> board;
  test::RecordingHost host;
  std::unique_ptr<hw::DirectBackend> backend;
  std::unique_ptr<hw::PortAccess> ports;
  MonitorState state;

  explicit Board(const std::string& text) {
    std::string error;
    board = sim::SimulatedBoard::Parse(text, "profile-board.json", &error);
    EXPECT_TRUE(board) << error;
    backend = std::make_unique<hw::DirectBackend>(*board);
    ports = std::make_unique<hw::PortAccess>(*backend, host);
    EXPECT_TRUE(SetUpMonitor(state, *ports));
    AcquireReadings(state, *ports);
  }
  int32_t operator[](int item) const { return state[item].present ? state[item].value : -1; }
};

// Profile selection alone, on a bus where no south bridge answers.
struct Selection {
  test::RecordingBus bus;
  test::RecordingHost host;
  hw::DirectBackend backend{bus};
  hw::PortAccess ports{backend, host};
  MonitorState state;
  Selection(int32_t hmType, int32_t mbModel) {
    state.hmType = hmType;
    state.mbModel = mbModel;
  }
};

std::string Winbond(const std::string& chip, const std::string& biosId,
                    const std::string& extra = "") {
  // Distinct counts on the three fan inputs, divisor 2 on each; VCORE inputs 100 and 200;
  // both negative rails raw 20; the two banked temperatures 45 and 38.
  return R"({"bios_id": ")" + biosId + R"(", "chip": ")" + chip + R"(", )" + extra +
         R"("registers": {"0x28": 100, "0x29": 150, "0x2A": 200, "0x47": "0x50", "0x4B": "0x40",
                          "0x20": 100, "0x21": 200, "0x25": 20, "0x26": 20,
                          "1:0x50": 45, "2:0x50": 38}})";
}

TEST(ChipProfiles, W83781dTemperatureBanksDependOnTheSouthBridge) {
  // With a VIA 586 south bridge the chip keeps its own banks; otherwise they are swapped.
  Board via586(Winbond("w83781d", "7K4XZQB1", R"("pci": {"0:7.0": "0x05861106"}, )"));
  EXPECT_EQ(via586[SYSTEMP], 45);
  EXPECT_EQ(via586[CPUTEMP], 38);
  Board plain(Winbond("w83781d", "7K4XZQB1"));
  EXPECT_EQ(plain[SYSTEMP], 38);
  EXPECT_EQ(plain[CPUTEMP], 45);
}

TEST(ChipProfiles, W83781dOnModel3TurnsNegativeRailsPositiveWhateverWasStored) {
  Selection rig(kHmW83781d, kModelPositiveRails);
  MonitorState& state = rig.state;
  SelectChipProfile(state, rig.ports);
  state[VN12].alarm.upper = -1;  // as if loaded from the settings
  state[VN5].alarm.enabled = 0;
  state[VIO].alarm.enabled = 1;
  ApplyBoardAdjustments(state);
  const AlarmRange& vn12 = state[VN12].alarm;
  const AlarmRange& vn5 = state[VN5].alarm;
  EXPECT_EQ(std::make_pair(vn12.upper, vn12.lower), std::make_pair(3600, 3100));
  EXPECT_EQ(std::make_pair(vn5.upper, vn5.lower), std::make_pair(2700, 2300));
  EXPECT_EQ(vn12.enabled, 1);
  EXPECT_EQ(vn5.enabled, 1);
  EXPECT_EQ(state[VIO].alarm.enabled, 0);

  // The rails read as positive voltages, and the system temperature comes from 0x27 in bank 0.
  Board board(Winbond("w83781d", "7K4XNQBB"));
  board.board->PokeRegister(0, 0x27, 33);
  AcquireReadings(board.state, *board.ports);
  EXPECT_EQ(board[VN12], 320);  // 20 x 16 mV, no negative scaling
  EXPECT_EQ(board[VN5], 320);
  EXPECT_EQ(board[SYSTEMP], 33);
  EXPECT_EQ(board[CPUTEMP], 45);
}

TEST(ChipProfilesReadings, WinbondFamilyByChipAndBoard) {
  struct Row {
    const char* chip;
    const char* biosId;  // the board model
    int32_t chafan, auxfan, vcore, vcore2, vn12, vn5;
  };
  // CPU fan 150 / CHA 100 / AUX 200 counts give 4500 / 6750 / 3375 RPM unswapped. VCORE
  // inputs give 1600 (0x20) and 3200 (0x21) mV. The negative rails: ((a x 205 x 16) / 56 -
  // 3600) x -1 with a = 266 / 147 where the board swaps the fans, else 288 / 176. -1: absent.
  const Row rows[] = {
      {"w83782d", "7K4XZQB1", 3375, 6750, 1600, 3200, -11980, -5010},  // chip id 0x30: swapped
      {"w83782d", "7K4XRQB8", 3375, 6750, 1600, 3200, -11980, -5010},
      {"w83627hf", "7K4XZQB1", 6750, 3375, 3200, -1, -13268, -6708},    // cores swapped only
      {"w83627hf", "7K41TQB1", 6750, 3375, 3200, 1600, -13268, -6708},  // model 5: VCORE2
      {"w83627hf", "7K4XHQBC", 3375, 6750, 3200, 1600, -11980, -5010},  // two CPUs
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.chip << " " << row.biosId);
    Board b(Winbond(row.chip, row.biosId));
    EXPECT_EQ(b[CPUFAN], 4500);
    EXPECT_EQ(b[CHAFAN], row.chafan);
    EXPECT_EQ(b[AUXFAN], row.auxfan);
    EXPECT_EQ(b[VCORE], row.vcore);
    EXPECT_EQ(b[VCORE2], row.vcore2);
    EXPECT_EQ(b[VN12], row.vn12);
    EXPECT_EQ(b[VN5], row.vn5);
    if (std::string(row.chip) == "w83627hf") {
      // This chip has no battery or standby rail alarms.
      EXPECT_EQ(b.state[VB].alarm.enabled, 0);
      EXPECT_EQ(b.state[V5SB].alarm.defaultEnabled, 0);
    }
  }
}

TEST(ChipProfilesReadings, SisAndViaBoardFiles) {
  auto load = [](const char* name) {
    std::string text;
    std::ifstream in(std::string(VELMO_BOARD_DIR) + "/" + name + ".json");
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return text;
  };
  Board sis(load("sis5595"));
  // The SiS scales: +12 V 400/100, +5 V 168/100, core and I/O 301/300.
  EXPECT_EQ(sis[V12], 12032);
  EXPECT_EQ(sis[V5], 4999);
  EXPECT_EQ(sis[VCORE], 2247);
  EXPECT_EQ(sis[VIO], 3306);
  for (int item : {AUXFAN, VCORE2, VN12, VN5, VB, V5SB, RESTEMP, SYSTEMP})
    EXPECT_EQ(sis[item], -1) << ChannelName(item);

  Board via(load("via686a"));  // model 2: VCORE2 is the AGP rail, 5/4 scale
  EXPECT_EQ(via[VCORE2], 1502);
  std::string other = load("via686a");
  other.replace(other.find("\"7K4XRQBA\""), 10, "\"7K4XZQB1\"");  // unlisted board: no VCORE2
  Board viaOther(other);
  EXPECT_EQ(viaOther[VCORE2], -1);
}

TEST(ChipProfiles, ReselectionAfterChipChangeGivesTheSameRecordsAsTheFirst) {
  for (int32_t hm : {1, 2, 3, 4, 5}) {
    for (int32_t model : {1, 2, 3, 4, 5, 9}) {
      Selection rig(hm, model);
      SelectChipProfile(rig.state, rig.ports);
      const SensorReadings first = rig.state.readings;
      rig.state[V5].alarm.upper = 1;  // a loaded record that the reselection replaces
      SelectChipProfile(rig.state, rig.ports);
      SensorReadings second = rig.state.readings;
      // The first selection alone switches VCORE2 on for this VIA board; the board
      // adjustments do it again after a reselection.
      if (hm == kHmVia686a && model == kModelViaAgp) second[VCORE2].present = 1;
      EXPECT_EQ(second, first) << "HmType " << hm << " model " << model;
    }
  }
  Selection none(kHmNone, kModelOther);
  none.state.readings[0].value = 77;
  SelectChipProfile(none.state, none.ports);
  EXPECT_EQ(none.state.readings[0].value, 77);
}

}  // namespace
}  // namespace velmo::core
