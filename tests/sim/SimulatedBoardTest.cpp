// The simulated board on the bus seam: the chips behind their ports, PCI configuration space,
// the BIOS bytes, the script clock and the access trace.
#include "sim/SimulatedBoard.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace velmo::sim {
namespace {

using Lines = std::vector<std::string>;

std::unique_ptr<SimulatedBoard> Board(const std::string& text) {
  std::string error;
  auto board = SimulatedBoard::Parse(text, "test.json", &error);
  EXPECT_NE(board, nullptr) << error;
  return board;
}

// Register access through the index/data pair, as the monitor's driver mode does it.
uint8_t ReadReg(hw::Bus& bus, uint8_t reg) {
  bus.Out(0x295, 1, reg);
  return static_cast<uint8_t>(bus.In(0x296, 1));
}
void WriteReg(hw::Bus& bus, uint8_t reg, uint8_t value) {
  bus.Out(0x295, 1, reg);
  bus.Out(0x296, 1, value);
}
uint32_t ReadPci(hw::Bus& bus, uint32_t address, unsigned width) {
  bus.Out(0xCF8, 4, (address | 0x80000000u) & ~3u);
  return bus.In(static_cast<uint16_t>(0xCFC + (address & (width == 4   ? 0
                                                          : width == 2 ? 2
                                                                       : 3))),
                width);
}

TEST(WinbondChip, BankSelectChoosesBankAndVendorByte) {
  auto board = Board(R"({"chip": "w83782d", "registers": {"0x50": 1, "3:0x50": 33}})");
  hw::Bus& bus = *board;
  struct Row {
    uint8_t select;  // written to 0x4E
    uint8_t vendor;  // then read from 0x4F
    uint8_t reg50;   // and from 0x50
  };
  const Row rows[] = {
      {0x00, 0xA3, 1},  {0x80, 0x5C, 1},  {0x01, 0xA3, 45},
      {0x82, 0x5C, 40}, {0x03, 0xA3, 33}, {0x05, 0xA3, 186},  // 5VSB lives in bank 5
      {0xFB, 0x5C, 33},  // bits 3-6 do not take part in the bank number
  };
  for (const Row& row : rows) {
    WriteReg(bus, 0x4E, row.select);
    EXPECT_EQ(ReadReg(bus, 0x4E), row.select) << "0x4E is the same in every bank";
    EXPECT_EQ(ReadReg(bus, 0x4F), row.vendor) << "select " << int{row.select};
    EXPECT_EQ(ReadReg(bus, 0x50), row.reg50) << "select " << int{row.select};
  }
  // A write lands in the selected bank only; the vendor register ignores writes.
  WriteReg(bus, 0x4E, 0x06);
  WriteReg(bus, 0x50, 0x66);
  WriteReg(bus, 0x4F, 0x00);
  EXPECT_EQ(board->PeekRegister(6, 0x50), 0x66);
  EXPECT_EQ(board->PeekRegister(0, 0x50), 1);
  EXPECT_EQ(ReadReg(bus, 0x4F), 0xA3);
}

TEST(MonitorChips, ChipIdVendorAndPowerOnReadings) {
  struct Row {
    const char* chip;
    uint8_t id;       // register 0x58 in bank 0
    uint16_t vendor;  // 0x4F read as low byte, then high byte
    uint8_t fanCount;
  };
  const Row rows[] = {
      {"w83781d", 0x10, 0x5CA3, 135},  {"w83782d", 0x30, 0x5CA3, 135},
      {"w83627hf", 0x21, 0x5CA3, 135}, {"sis5595", 0xFF, 0xFFFF, 135},
      {"via686a", 0xFF, 0xFFFF, 0xFF},  // answers at its PCI-configured block only
      {"none", 0xFF, 0xFFFF, 0xFF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.chip);
    auto board = Board(std::string(R"({"chip": ")") + row.chip + "\"}");
    hw::Bus& bus = *board;
    WriteReg(bus, 0x4E, 0x00);
    EXPECT_EQ(ReadReg(bus, 0x58), row.id);
    const unsigned low = ReadReg(bus, 0x4F);
    WriteReg(bus, 0x4E, 0x80);
    EXPECT_EQ(low | ReadReg(bus, 0x4F) << 8, row.vendor);
    // Fan 1 counts 135 with a divisor field of 1 (divisor 2): 5000 RPM.
    EXPECT_EQ(ReadReg(bus, 0x28), row.fanCount);
    if (row.fanCount == 135) {
      EXPECT_EQ(ReadReg(bus, 0x47) >> 4 & 3, 1);
    }
  }
}

TEST(MonitorChips, InterruptStatusClearsOnReading) {
  for (const char* chip : {"w83781d", "w83627hf", "sis5595"}) {
    SCOPED_TRACE(chip);
    auto board = Board(std::string(R"({"chip": ")") + chip +
                       R"(", "registers": {"0x41": "0x12", "0x42": "0x80", "0x43": 7}})");
    hw::Bus& bus = *board;
    EXPECT_EQ(board->PeekRegister(0, 0x41), 0x12) << "peeking has no side effect";
    EXPECT_EQ(ReadReg(bus, 0x41), 0x12);
    EXPECT_EQ(ReadReg(bus, 0x41), 0x00);
    EXPECT_EQ(ReadReg(bus, 0x42), 0x80);
    EXPECT_EQ(ReadReg(bus, 0x42), 0x00);
    EXPECT_EQ(ReadReg(bus, 0x43), 7);
    EXPECT_EQ(ReadReg(bus, 0x43), 7);
  }
}

TEST(PciSpace, ByteLanesAbsentFunctionsAndTheEnableBit) {
  auto board = Board(R"({"chip": "via686a", "pci": {"0:1.0": "0x00081039"}})");
  hw::Bus& bus = *board;
  struct Row {
    uint32_t address;  // without the enable bit
    unsigned width;
    uint32_t value;
  };
  const Row rows[] = {
      {0x00003800, 4, 0x06861106}, {0x00003800, 1, 0x06},  // address & 3 = 0: byte at 0xCFC
      {0x00003803, 1, 0x06},       {0x00003802, 2, 0x0686},     {0x00003801, 1, 0x11},
      {0x00003C70, 2, 0x6001},     {0x00003C74, 1, 0x01},       {0x00003C74, 4, 0x00000001},
      {0x00003C00, 4, 0x30571106}, {0x00003C40, 4, 0},           // other registers read 0
      {0x00000800, 4, 0x00081039}, {0x00001000, 4, 0xFFFFFFFF},  // 0:2.0 is absent
      {0x00001003, 1, 0xFF},       {0x00013800, 4, 0xFFFFFFFF},  // so is bus 1
  };
  for (const Row& row : rows)
    EXPECT_EQ(ReadPci(bus, row.address, row.width), row.value) << std::hex << row.address;
  // The lanes by port: byte at 0xCFF and word at 0xCFE are the top of the selected dword.
  bus.Out(0xCF8, 4, 0x80003800);
  EXPECT_EQ(bus.In(0xCFF, 1), 0x06u);
  EXPECT_EQ(bus.In(0xCFE, 2), 0x0686u);
  EXPECT_EQ(bus.In(0xCFD, 1), 0x11u);
  EXPECT_EQ(bus.In(0xCF8, 4), 0x80003800u) << "the latch reads back";
  // With the enable bit clear the data ports read all ones.
  bus.Out(0xCF8, 4, 0x00003800);
  EXPECT_EQ(bus.In(0xCFC, 4), 0xFFFFFFFFu);
  EXPECT_EQ(bus.In(0xCFE, 2), 0xFFFFu);
}

TEST(Via686a, BlockAnswersAtTheConfiguredBaseOnlyWhileEnabled) {
  auto board = Board(R"({"chip": "via686a", "via686a": {"base": "0x6081"},
                         "registers": {"0x29": 140, "0x7F": 9}})");
  hw::Bus& bus = *board;
  EXPECT_EQ(bus.In(0x6080 + 0x29, 1), 140u) << "the low 7 bits of the base are not decoded";
  EXPECT_EQ(bus.In(0x6080 + 0x7F, 1), 9u);
  EXPECT_EQ(bus.In(0x6080 + 0x80, 1), 0xFFu) << "128 registers";
  EXPECT_EQ(bus.In(0x6000 + 0x29, 1), 0xFFu);
  EXPECT_EQ(bus.In(0x6080 + 0x28, 2), 140u << 8) << "a word is two registers";
  bus.Out(0x6080 + 0x40, 1, 0x55);
  EXPECT_EQ(board->PeekRegister(3, 0x40), 0x55) << "no banks";
  EXPECT_EQ(ReadReg(bus, 0x29), 0xFF) << "nothing at 0x295/0x296";
  // Clearing the enable bit in configuration space switches the block off; setting it back on.
  bus.Out(0xCF8, 4, 0x80003C74);
  bus.Out(0xCFC, 1, 0);
  EXPECT_EQ(bus.In(0x6080 + 0x29, 1), 0xFFu);
  bus.Out(0xCFC, 1, 1);
  EXPECT_EQ(bus.In(0x6080 + 0x29, 1), 140u);

  auto disabled = Board(R"({"chip": "via686a", "via686a": {"base": "0x6001", "enabled": false}})");
  EXPECT_EQ(disabled->In(0x6000 + 0x29, 1), 0xFFu);
  EXPECT_EQ(ReadPci(*disabled, 0x3800, 4), 0x06861106u) << "the bridge is there all the same";
}

TEST(Ports, NothingAnswersElsewhere) {
  auto board = Board(R"({"chip": "w83782d"})");
  hw::Bus& bus = *board;
  EXPECT_EQ(bus.In(0x300, 1), 0xFFu);
  EXPECT_EQ(bus.In(0x300, 2), 0xFFFFu);
  EXPECT_EQ(bus.In(0x300, 4), 0xFFFFFFFFu);
  EXPECT_EQ(bus.In(0xEB, 1), 0xFFu);
  EXPECT_EQ(bus.In(0xFFFF, 4), 0xFFFFFFFFu);
  EXPECT_EQ(bus.In(0x295, 3), 0xFFFFFFFFu) << "an unsupported width touches nothing";
  bus.Out(0xFFFE, 4, 0);
  bus.Out(0xEB, 1, 0);
  // A word at the index port is index then data, as the ISA bus splits it.
  bus.Out(0x295, 2, 0x3A28);
  EXPECT_EQ(board->PeekRegister(0, 0x28), 0x3A);
  EXPECT_EQ(bus.In(0x295, 2), 0x3A28u);
  EXPECT_EQ(board->PortAccessCount(), 10u);
}

TEST(BiosBytes, TextBytesAndTheAreaAround) {
  struct Row {
    const char* fields;
    std::string bytes;
  };
  const Row rows[] = {
      {R"("bios_id": "7K4XRQB8")", "7K4XRQB8"},
      {R"("bios_id": "7K4")", std::string("7K4\0\0\0\0\0", 8)},
      {R"("bios_id": "7K4XRQB8", "bios_bytes": [55, 75, 52, 0, 82, 81, 66, 56])",
       std::string("7K4\0RQB8", 8)},
      {"", std::string(8, '\0')},
  };
  for (const Row& row : rows) {
    auto board =
        Board(std::string(R"({"chip": "none")") + (*row.fields ? ", " : "") + row.fields + "}");
    uint8_t bytes[8];
    std::string error;
    ASSERT_TRUE(board->ReadPhysical(0xFECE0, bytes, 8, &error)) << error;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 8), row.bytes) << row.fields;
  }

  auto board = Board(R"({"chip": "none", "bios_id": "ABCDEFGH"})");
  std::vector<uint8_t> page(4096, 0xEE);
  std::string error;
  ASSERT_TRUE(board->ReadPhysical(0xFE000, page.data(), page.size(), &error));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&page[0xCE0]), 8), "ABCDEFGH");
  EXPECT_EQ(page[0xCDF], 0);
  EXPECT_EQ(page[0xCE8], 0);
  uint8_t eight[8];
  ASSERT_TRUE(board->ReadPhysical(0xFECDC, eight, 8, &error));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(eight), 8), std::string("\0\0\0\0ABCD", 8));

  // Outside the BIOS area: refused, with a reason, and the buffer untouched.
  for (uint64_t address : {uint64_t{0}, uint64_t{0xEFFFF}, uint64_t{0xFFFFC}, ~uint64_t{0}}) {
    uint8_t dest[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    error.clear();
    EXPECT_FALSE(board->ReadPhysical(address, dest, 8, &error)) << address;
    EXPECT_NE(error.find("no memory at physical"), std::string::npos) << error;
    EXPECT_EQ(dest[0], 1);
  }
}

TEST(Script, EntriesApplyInFileOrderWhenTheirTimeComes) {
  auto board = Board(R"({"chip": "w83782d", "registers": {"1:0x50": 45}, "script": [
      {"at": 10, "registers": {"1:0x50": 60}},
      {"at": 5, "registers": {"1:0x50": 50, "0x28": 200}},
      {"at": 10, "registers": {"1:0x50": 70}},
      {"at": 0, "registers": {"2:0x50": 41}},
      {"at": "0x1e", "registers": {"1:0x50": 96}}]})");
  struct Step {
    uint32_t advance;
    uint64_t now;
    uint8_t cpu;
  };
  const Step steps[] = {{0, 0, 45},  {4, 4, 45},   {1, 5, 50},    {4, 9, 50},
                        {1, 10, 70}, {19, 29, 70}, {100, 129, 96}};
  EXPECT_EQ(board->PeekRegister(2, 0x50), 41) << "time 0 is due at once";
  for (const Step& step : steps) {
    board->Advance(step.advance);
    EXPECT_EQ(board->Now(), step.now);
    EXPECT_EQ(board->PeekRegister(1, 0x50), step.cpu) << "at " << step.now;
  }
  EXPECT_EQ(board->PeekRegister(0, 0x28), 200);
  // An entry applies once: a later poke is not undone by further time.
  board->PokeRegister(1, 0x50, 45);
  board->Advance(1000);
  EXPECT_EQ(board->PeekRegister(1, 0x50), 45);
}

TEST(Trace, LinesForEveryAccessOnlyWhileEnabled) {
  auto board = Board(R"({"chip": "w83782d", "bios_id": "7K4XRQB8"})");
  hw::Bus& bus = *board;
  ReadReg(bus, 0x58);  // not traced yet
  EXPECT_TRUE(board->Trace().empty());
  board->EnableTrace(true);
  ReadReg(bus, 0x4E);
  bus.Out(0xEB, 1, 0);
  bus.Out(0xCF8, 4, 0x80003800);
  bus.In(0xCFE, 2);
  bus.Out(0x80, 2, 0x1ABCD);  // only the low two bytes are written
  uint8_t bytes[8];
  std::string error;
  board->ReadPhysical(0xFECE0, bytes, 8, &error);
  EXPECT_EQ(board->Trace(), (Lines{"out 1 0x295 0x4e", "in 1 0x296 0x80", "out 1 0xeb 0x0",
                                   "out 4 0xcf8 0x80003800", "in 2 0xcfe 0xffff",
                                   "out 2 0x80 0xabcd", "mem 0xfece0 8"}));
  board->ClearTrace();
  board->EnableTrace(false);
  bus.In(0x296, 1);
  EXPECT_TRUE(board->Trace().empty());
  EXPECT_EQ(board->PortAccessCount(), 9u);
}

TEST(Trace, FileBesideTheBoardIsAppendedAsAccessesHappen) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velmo-sim-trace-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string boardPath = (dir / "board.json").string();
  std::ofstream(boardPath) << R"({"chip": "w83781d", "trace": "ports.log"})";
  auto readLog = [&] {
    std::ifstream in(dir / "ports.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  std::string error;
  auto first = SimulatedBoard::Load(boardPath, &error);
  ASSERT_NE(first, nullptr) << error;
  ReadReg(*first, 0x58);
  EXPECT_EQ(readLog(), "out 1 0x295 0x58\nin 1 0x296 0x10\n") << "written at once";
  // A second user of the same board file (a helper process) appends to the same file.
  auto second = SimulatedBoard::Load(boardPath, &error);
  ASSERT_NE(second, nullptr) << error;
  uint8_t bytes[8];
  second->ReadPhysical(0xFECE0, bytes, 8, &error);
  first->Out(0xEB, 1, 0);
  EXPECT_EQ(readLog(), "out 1 0x295 0x58\nin 1 0x296 0x10\nmem 0xfece0 8\nout 1 0xeb 0x0\n");
  EXPECT_TRUE(first->Trace().empty()) << "the in-memory trace is separate";
  first.reset();
  second.reset();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmo::sim
