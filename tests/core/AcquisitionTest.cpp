#include "monitor/core/Acquisition.h"

#include <gtest/gtest.h>

#include "monitor/core/ChipProfiles.h"
#include "monitor/core/Identification.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/RecordingBus.h"

namespace velmo::core {
namespace {

using Lines = std::vector<std::string>;

// A board with the given chip, identified and set up as the frame's creation does it.
struct Rig {
  std::unique_ptr<sim::SimulatedBoard> board;
  test::RecordingHost host;
  std::unique_ptr<hw::DirectBackend> backend;
  std::unique_ptr<hw::PortAccess> ports;
  MonitorState state;

  Rig(const std::string& chip, const std::string& biosId = "7K4XRQB8",
      const std::string& extra = "") {
    const std::string text =
        R"({"bios_id": ")" + biosId + R"(", "chip": ")" + chip + "\"" +
        (chip == "via686a" ? R"(, "via686a": {"base": "0x6001", "enabled": true})" : "") + extra +
        "}";
    std::string error;
    board = sim::SimulatedBoard::Parse(text, "acquisition.json", &error);
    EXPECT_TRUE(board) << error;
    backend = std::make_unique<hw::DirectBackend>(*board);
    ports = std::make_unique<hw::PortAccess>(*backend, host);
    SetUpMonitor(state, *ports);
  }
  void OnlyPresent(std::initializer_list<int> items) {
    for (auto& r : state.readings)
      r.present = 0;
    for (int item : items)
      state[item].present = 1;
  }
  int32_t Read(int item) {
    AcquireReadings(state, *ports);
    return state[item].value;
  }
  void Set(unsigned bank, uint8_t reg, uint8_t value) { board->PokeRegister(bank, reg, value); }
};

TEST(Acquisition, BankedReadIsBracketedAndBankBitsAreKept) {
  Rig rig("w83782d", "7K4XRQB8", R"(, "registers": {"1:0x50": 45})");
  rig.OnlyPresent({CPUTEMP});
  rig.Set(0, 0x4e, 0x80);  // the high vendor-byte flag, as the vendor probe leaves it
  rig.board->EnableTrace(true);
  AcquireReadings(rig.state, *rig.ports);
  EXPECT_EQ(rig.board->Trace(),
            (Lines{"out 1 0x295 0x4e", "out 1 0xeb 0x0", "in 1 0x296 0x80",  "out 1 0xeb 0x0",
                   "out 1 0x295 0x4e", "out 1 0xeb 0x0", "out 1 0x296 0x81", "out 1 0xeb 0x0",
                   "out 1 0x295 0x50", "out 1 0xeb 0x0", "in 1 0x296 0x2d",  "out 1 0xeb 0x0",
                   "out 1 0x295 0x4e", "out 1 0xeb 0x0", "in 1 0x296 0x81",  "out 1 0xeb 0x0",
                   "out 1 0x295 0x4e", "out 1 0xeb 0x0", "out 1 0x296 0x80", "out 1 0xeb 0x0"}));
  EXPECT_EQ(rig.state[CPUTEMP].value, 45);
}

TEST(Acquisition, SisMonitorReadsThePlusFiveVoltInputTwice) {
  Rig rig("sis5595");
  ASSERT_EQ(rig.state.hmType, kHmSis5595);
  rig.OnlyPresent({V5});
  rig.board->EnableTrace(true);
  AcquireReadings(rig.state, *rig.ports);
  int reads = 0;
  for (const auto& line : rig.board->Trace())
    reads += line == "out 1 0x295 0x21";
  EXPECT_EQ(reads, 2);
}

TEST(Acquisition, ConversionsThroughTheChip) {
  struct Row {
    const char* what;
    const char* chip;
    const char* biosId;
    int item;
    unsigned bank;
    uint8_t reg;
    uint8_t raw;
    int32_t expected;
  };
  const Row rows[] = {
      {"fan 135, divisor 2", "w83782d", "7K4XRQB8", CPUFAN, 0, 0x29, 135, 5000},
      {"stopped fan", "w83782d", "7K4XRQB8", CPUFAN, 0, 0x29, 255, 0},
      {"fan count 0", "w83782d", "7K4XRQB8", CPUFAN, 0, 0x29, 0, 0},
      {"+5V raw 187", "w83782d", "7K4XRQB8", V5, 0, 0x23, 187, 5056},
      {"voltage raw 255", "w83782d", "7K4XRQB8", V5, 0, 0x23, 255, 0},
      {"-12V on the first chip", "w83781d", "7K4XRQB8", VN12, 0, 0x25, 216, -11980},
      {"-12V with 266/56", "w83782d", "7K4XRQB8", VN12, 0, 0x25, 20, -11980},
      {"temperature 110", "w83782d", "7K4XRQB8", CPUTEMP, 1, 0x50, 110, 110},
      {"temperature 111", "w83782d", "7K4XRQB8", CPUTEMP, 1, 0x50, 111, 0},
      {"VIA core 2 raw 64", "via686a", "7K4XRQBA", VCORE2, 0, 0x23, 64, 3868},
      {"VIA core 2 raw 65", "via686a", "7K4XRQBA", VCORE2, 0, 0x23, 65, 836},
      {"VIA temperature 0xFF", "via686a", "7K4XRQBA", CPUTEMP, 0, 0x20, 0xFF, 0},
      {"VIA temperature", "via686a", "7K4XRQBA", CPUTEMP, 0, 0x20, 0xFF - 100, 34},
      {"SiS thermistor", "sis5595", "7K4XRQB8", CPUTEMP, 0, 0x24, 0, 71},
  };
  for (const Row& row : rows) {
    Rig rig(row.chip, row.biosId);
    rig.Set(row.bank, row.reg, row.raw);
    EXPECT_EQ(rig.Read(row.item), row.expected) << row.what;
  }
  Rig divisor("w83782d");
  divisor.Set(0, 0x47, 0xF0);  // CPU fan divisor field 3: divisor 8
  divisor.Set(0, 0x29, 135);
  EXPECT_EQ(divisor.Read(CPUFAN), 1250);
}

TEST(Acquisition, RangeRulesAndTheChangedFlag) {
  Rig rig("w83782d");
  rig.OnlyPresent({CPUTEMP, V5});
  ChannelRecord& cpu = rig.state[CPUTEMP];  // limits 95 / 90
  ChannelRecord& v5 = rig.state[V5];
  struct Row {
    uint8_t temp;
    int32_t outOfRange;
  };
  for (const Row& row : {Row{94, 0}, Row{95, 1}, Row{96, 1}, Row{90, 0}}) {
    rig.Set(1, 0x50, row.temp);
    cpu.changed = 0;
    const int32_t before = cpu.outOfRange;
    AcquireReadings(rig.state, *rig.ports);
    EXPECT_EQ(cpu.outOfRange, row.outOfRange) << int(row.temp);
    EXPECT_EQ(cpu.changed, before != row.outOfRange ? 1 : 0) << int(row.temp);
  }
  // At or above the upper limit but below the lower one: in range, yet marked changed.
  cpu.alarm.upper = 40;
  cpu.alarm.lower = 50;
  rig.Set(1, 0x50, 45);
  cpu.changed = 0;
  AcquireReadings(rig.state, *rig.ports);
  EXPECT_EQ(cpu.outOfRange, 0);
  EXPECT_EQ(cpu.changed, 1);

  rig.Set(0, 0x23, 187);  // 5056 mV: both limits are in range
  v5.alarm.upper = 5056;
  AcquireReadings(rig.state, *rig.ports);
  EXPECT_EQ(v5.outOfRange, 0);
  v5.alarm.upper = 5055;
  AcquireReadings(rig.state, *rig.ports);
  EXPECT_EQ(v5.outOfRange, 1);
  v5.alarm = {6000, 5056};
  AcquireReadings(rig.state, *rig.ports);
  EXPECT_EQ(v5.outOfRange, 0);

  // Absent channels keep their words.
  ChannelRecord& sys = rig.state[SYSTEMP];
  sys.value = 12;
  sys.outOfRange = 1;
  AcquireReadings(rig.state, *rig.ports);
  EXPECT_EQ(sys.value, 12);
  EXPECT_EQ(sys.outOfRange, 1);
}

TEST(BeepControl, BitsByChipAndBoard) {
  Rig rig("w83782d", "7K4XRQB9");  // board model 2
  Rig model9("w83782d", "ZZZZZZZZ");
  for (Rig* r : {&rig, &model9}) {
    MonitorState& s = r->state;
    s[SYSTEMP].alarm.enabled = 1;
    s[SYSTEMP].outOfRange = 1;
    s[CPUTEMP].alarm.enabled = 1;
    s[CPUTEMP].outOfRange = 0;
    s[RESTEMP].alarm.enabled = 1;
    s[RESTEMP].outOfRange = 1;
    s[VB].alarm.enabled = 1;
    s[V5SB].alarm.enabled = 0;
    s[VN5].alarm.enabled = 0;
    r->Set(0, 0x57, 0x07);
    r->Set(4, 0x53, 0x01);
    r->Set(0, 0x41, 0xFF);
    r->Set(0, 0x42, 0xFF);
    ProgramBeepControl(s, *r->ports);
  }
  EXPECT_EQ(rig.board->PeekRegister(0, 0x57), 0x80 | 0x20 | 0x07);  // other bits untouched
  EXPECT_EQ(rig.board->PeekRegister(0, 0x56) & 0x30, 0x10);
  EXPECT_EQ(rig.board->PeekRegister(4, 0x53), 0x02);
  EXPECT_EQ(rig.board->PeekRegister(0, 0x41), 0);  // cleared by the final reads
  EXPECT_EQ(rig.board->PeekRegister(0, 0x42), 0);
  // Model 9: the voltage beep bits follow the rails' switches.
  EXPECT_EQ(model9.board->PeekRegister(0, 0x57) & 0x07, 0x03);
  EXPECT_EQ(model9.board->PeekRegister(0, 0x56) & 0x08, 0x08);

  Rig first("w83781d");
  first.state[SYSTEMP].alarm.enabled = 1;
  first.state[CPUTEMP].alarm.enabled = 0;
  first.state.params.bAlarm = 0;
  first.Set(0, 0x56, 0x20);
  first.Set(0, 0x57, 0x80);
  ProgramBeepControl(first.state, *first.ports);
  EXPECT_EQ(first.board->PeekRegister(0, 0x56) & 0x20, 0);
  EXPECT_EQ(first.board->PeekRegister(0, 0x57) & 0x80, 0);

  for (const char* chip : {"sis5595", "via686a"}) {
    Rig quiet(chip, "7K4XRQBA");
    quiet.board->EnableTrace(true);
    ProgramBeepControl(quiet.state, *quiet.ports);
    EXPECT_TRUE(quiet.board->Trace().empty()) << chip;
  }
}

}  // namespace
}  // namespace velmo::core
