// Board files: the error texts for malformed files, the accepted notations, robustness against
// mutated input, and what the shipped boards answer to the monitor's probes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/RecordingBus.h"

namespace velmo::sim {
namespace {

const std::string kBadBoards = std::string(VELMO_TEST_DATA_DIR) + "/boards/";
const std::string kBoards = std::string(VELMO_BOARD_DIR) + "/";

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(BoardFile, MalformedFilesAreRefusedWithTheFieldAndWhatWasExpected) {
  struct Row {
    const char* file;
    const char* expected;
  };
  const Row rows[] = {
      {"not-json.json", ": not JSON: "},
      {"top-level-array.json", ": expected a JSON object at the top"},
      {"missing-chip.json", ": chip: missing; expected w83781d, w83782d"},
      {"unknown-chip.json", ": chip: unknown chip \"w83783s\"; expected w83781d"},
      {"chip-not-text.json", ": chip: expected a text"},
      {"unknown-field.json", ": regsiters: unknown field; expected description, bios_id"},
      {"malformed-register-key.json", ": registers: key \"2:0x5G\" is not \"0xRR\" or \"B:0xRR\""},
      {"register-key-without-0x.json", ": registers: key \"28\" is not \"0xRR\" or \"B:0xRR\""},
      {"bank-above-7.json", ": registers: key \"8:0x50\": bank 8 is above 7"},
      {"register-above-ff.json", ": registers: key \"0x100\": register 0x100 is above 0xff"},
      {"via-register-above-7f.json", ": registers: key \"0x80\": register 0x80 is above 0x7f"},
      {"bank-on-via.json", ": registers: key \"1:0x20\": via686a has no register banks"},
      {"vendor-register.json", ": registers: key \"0x4F\": register 0x4f of w83782d cannot be set"},
      {"sis-chip-id.json", ": registers: key \"0x58\": register 0x58 of sis5595 cannot be set"},
      {"registers-on-none.json", ": registers: chip none has no registers"},
      {"value-above-255.json", ": registers: key \"0x28\": value 256 is above 255"},
      {"value-negative.json", ": registers: key \"0x28\": value -1 is negative"},
      {"value-bad-hex.json",
       ": registers: key \"0x28\": expected a number 0..255 or a \"0x..\" string, not \"0xZZ\""},
      {"value-float.json", ": registers: key \"0x28\": expected a number 0..255"},
      {"registers-array.json", ": registers: expected an object"},
      {"bad-pci-address.json", ": pci: key \"0:40.0\" is not \"bus:device.function\""},
      {"pci-address-no-function.json", ": pci: key \"0:7\" is not \"bus:device.function\""},
      {"pci-value-above-dword.json",
       ": pci: key \"0:7.0\": value \"0x100000000\" is above 4294967295"},
      {"script-without-at.json", ": script[1]: entry has no \"at\" (seconds since start)"},
      {"script-at-text.json", ": script[0].at: expected a number or a \"0x..\" string"},
      {"script-not-array.json", ": script: expected an array"},
      {"script-bad-register.json", ": script[0].registers: key \"9:0x50\": bank 9 is above 7"},
      {"bios-id-too-long.json", ": bios_id: \"7K4XRQB8X\" has 9 bytes; expected at most 8"},
      {"bios-id-number.json", ": bios_id: expected a text of at most 8 characters"},
      {"bios-bytes-short.json", ": bios_bytes: expected an array of exactly 8 numbers 0..255"},
      {"bios-bytes-value.json", ": bios_bytes[7]: value 300 is above 255"},
      {"via-enabled-text.json", ": via686a.enabled: expected true or false"},
      {"via-base-above-ffff.json", ": via686a.base: value 65536 is above 65535"},
      {"trace-in-missing-folder.json", ": trace: cannot open \""},
      {"trace-empty.json", ": trace: expected a file path"},
      {"hwmon-not-bool.json", ": hwmon: expected true or false"},
      {"no-such-file.json", ": cannot read: No such file or directory"},
      {"", ": cannot read: Is a directory"},  // the folder itself
  };
  size_t checked = 0;
  for (const Row& row : rows) {
    const std::string path = kBadBoards + row.file;
    std::string error;
    EXPECT_EQ(SimulatedBoard::Load(path, &error), nullptr) << row.file;
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << "names the file: " << error;
    EXPECT_NE(error.find(row.expected), std::string::npos)
        << row.file << "\n  got: " << error << "\n  expected: " << row.expected;
    ++checked;
  }
  // Every bad board in the folder has a row.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kBadBoards))
    files += entry.path().extension() == ".json";
  EXPECT_EQ(files + 2, checked);
}

// Deep nesting anywhere a value is expected is refused as such; a rejected value or a huge key is
// never put whole into the error text.
TEST(BoardFile, DeepNestingAndHugeValuesAreRefusedWithoutRecursion) {
  const std::string deep = std::string(70000, '[') + std::string(70000, ']');
  const std::string rows[] = {
      R"({"chip":"w83782d","registers":{"0x20":)" + deep + "}}",
      R"({"chip":"w83782d","bios_bytes":)" + deep + "}",
      R"({"chip":"w83782d","pci":{"0:7.0":)" + deep + "}}",
      R"({"chip":"w83782d","script":[{"at":1,"registers":{"0x20":)" + deep + "}}]}",
  };
  for (const std::string& text : rows) {
    std::string error;
    EXPECT_EQ(SimulatedBoard::Parse(text, "deep.json", &error), nullptr);
    EXPECT_EQ(error, "deep.json: nested deeper than 16 levels");
  }
  // Nesting within the bound reaches the field checks, which describe a container by its kind.
  std::string error;
  EXPECT_EQ(
      SimulatedBoard::Parse(R"({"chip":"w83782d","registers":{"0x20":[[[1]]]}})", "b.json", &error),
      nullptr);
  EXPECT_EQ(error,
            "b.json: registers: key \"0x20\": expected a number 0..255 or a \"0x..\" string, "
            "not an array");
  const std::string longKey(100000, 'k');
  EXPECT_EQ(SimulatedBoard::Parse("{\"chip\":\"w83782d\",\"" + longKey + "\":1}", "k.json", &error),
            nullptr);
  EXPECT_LT(error.size(), 200u);
  EXPECT_EQ(SimulatedBoard::Parse("{\"chip\":\"w83782d\",\"registers\":{\"0x20\":\"" +
                                      std::string(100000, 'x') + "\"}}",
                                  "v.json", &error),
            nullptr);
  EXPECT_LT(error.size(), 200u);
  // The JSON parser quotes the text it read last; that is cut short too.
  EXPECT_EQ(SimulatedBoard::Parse("{\"chip\": \"" + std::string(100000, 'y'), "j.json", &error),
            nullptr);
  EXPECT_EQ(error.rfind("j.json: not JSON: ", 0), 0u);
  EXPECT_LT(error.size(), 300u);
}

TEST(BoardFile, ErrorTextUsesTheGivenName) {
  std::string error;
  EXPECT_EQ(SimulatedBoard::Parse(R"({"chip": "w83782d", "registers": {"2:0x5G": 1}})",
                                  "board.json", &error),
            nullptr);
  EXPECT_EQ(error, R"(board.json: registers: key "2:0x5G" is not "0xRR" or "B:0xRR")");
}

TEST(BoardFile, AcceptsCommentsHexStringsAndBothKeyForms) {
  std::string error;
  auto board = SimulatedBoard::Parse(R"(
    // a line comment
    {
      "chip": "w83627hf", /* a block comment */
      "bios_bytes": ["0x37", 75, 52, 88, 72, 81, 66, "0X43"],
      "pci": {"0:7.0": "0x05861106", "1f:1f.7": 1},
      "registers": {"0x28": "0x7f", "0x4e": "0x81", "7:0xFF": 9, "0:0x29": 12, "0x0": 0}
    })",
                                     "inline.json", &error);
  ASSERT_NE(board, nullptr) << error;
  EXPECT_EQ(board->ChipName(), "w83627hf");
  EXPECT_EQ(board->PeekRegister(0, 0x28), 0x7f);
  EXPECT_EQ(board->PeekRegister(0, 0x29), 12);
  EXPECT_EQ(board->PeekRegister(7, 0xff), 9);
  EXPECT_EQ(board->PeekRegister(5, 0x4e), 0x81);  // one bank-select register for all banks
  uint8_t bytes[8] = {};
  ASSERT_TRUE(board->ReadPhysical(0xFECE0, bytes, 8, &error));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 8), "7K4XHQBC");
  board->Out(0xCF8, 4, 0x80003800);
  EXPECT_EQ(board->In(0xCFC, 4), 0x05861106u);
  board->Out(0xCF8, 4, 0x801FFF00);  // bus 0x1f, device 0x1f, function 7
  EXPECT_EQ(board->In(0xCFC, 4), 1u);
  EXPECT_FALSE(board->UsesMachineHwmon());  // only a board that says so
}

TEST(BoardFile, HwmonKeyHandsTheMachineSensorsToTheBoard) {
  for (bool on : {true, false}) {
    std::string error;
    auto board = SimulatedBoard::Parse(
        std::string(R"({"chip": "w83782d", "hwmon": )") + (on ? "true" : "false") + "}",
        "inline.json", &error);
    ASSERT_NE(board, nullptr) << error;
    EXPECT_EQ(board->UsesMachineHwmon(), on);
  }
}

// Mutated board texts must never crash the parser or a board built from them.
TEST(BoardFile, MutatedTextsNeverCrash) {
  std::vector<std::string> seeds;
  for (const char* name : {"demo.json", "via686a.json", "sis5595.json", "w83781d.json"})
    seeds.push_back(ReadText(kBoards + name));
  seeds.push_back(R"({"chip":"w83782d","bios_bytes":[1,2,3,4,5,6,7,8],"pci":{"0:1.0":"0x1"},)"
                  R"("via686a":{"base":"0xff81","enabled":true},"script":[{"at":0,)"
                  R"("registers":{"7:0x4e":"0x87"}}]})");
  const std::string alphabet = "{}[]:,.\"0x7fF-:/*\\ \nabtruenl9";
  std::mt19937 rng(20010511);
  auto pick = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  size_t loaded = 0, refused = 0;
  for (int i = 0; i < 600; ++i) {
    std::string text = seeds[pick(seeds.size())];
    const int edits = 1 + static_cast<int>(pick(4));
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const size_t at = pick(text.size());
      switch (pick(5)) {
        case 0:  // replace a byte by anything, including NUL and high bytes
          text[at] = static_cast<char>(pick(256));
          break;
        case 1:  // replace a byte by a JSON-ish character
          text[at] = alphabet[pick(alphabet.size())];
          break;
        case 2:  // cut a piece out
          text.erase(at, pick(12) + 1);
          break;
        case 3:  // duplicate a piece
          text.insert(at, text.substr(pick(text.size()), pick(16) + 1));
          break;
        case 4:  // grow a number
          text.insert(at, "99999999999999999999");
          break;
      }
    }
    std::string error;
    auto board = SimulatedBoard::Parse(text, "mutant.json", &error);
    if (!board) {
      EXPECT_EQ(error.rfind("mutant.json: ", 0), 0u) << error;
      ++refused;
      continue;
    }
    ++loaded;
    // Exercise what a monitor would do with it.
    hw::Bus& bus = *board;
    for (uint8_t reg : {0x4E, 0x4F, 0x58, 0x41, 0x28, 0x50}) {
      bus.Out(0x295, 1, reg);
      bus.In(0x296, 1);
    }
    bus.Out(0xCF8, 4, 0x80003C70);
    const uint32_t base = bus.In(0xCFC, 2) & 0xFF80;
    bus.In(static_cast<uint16_t>(base + 0x29), 1);
    uint8_t bytes[8];
    board->ReadPhysical(0xFECE0, bytes, 8, &error);
    board->Advance(UINT32_MAX);
    board->Advance(UINT32_MAX);
  }
  EXPECT_GT(loaded, 30u);
  EXPECT_GT(refused, 30u);
}

// What each shipped board answers to the monitor's probes (in the order the monitor runs them)
// and its board text.
TEST(ShippedBoards, AnswerTheProbesOfTheirChip) {
  struct Row {
    const char* file;
    const char* chip;
    const char* text;
    bool vendor, id30, id21, sis, via;
    uint32_t base;
  };
  const Row rows[] = {
      {"w83781d.json", "w83781d", "7K4XRQB8", true, false, false, false, false, 0},
      {"w83781d-model3.json", "w83781d", "7K4XNQBB", true, false, false, false, false, 0},
      {"w83782d.json", "w83782d", "7K41TQBA", true, true, false, false, false, 0},
      {"w83627hf.json", "w83627hf", "7K4XHQBC", true, false, true, false, false, 0},
      {"sis5595.json", "sis5595", "7K41RQB1", false, false, false, true, false, 0},
      {"via686a.json", "via686a", "7K4XRQBA", false, false, false, false, true, 0x6000},
      {"via686a-disabled.json", "via686a", "7K4XRQBA", false, false, false, false, false, 0},
      {"none.json", "none", "7K4XRQB8", false, false, false, false, false, 0},
      {"demo.json", "w83782d", "7K4XZQB1", true, true, false, false, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    std::string error;
    auto board = SimulatedBoard::Load(kBoards + row.file, &error);
    ASSERT_NE(board, nullptr) << error;
    EXPECT_EQ(board->ChipName(), row.chip);
    test::RecordingHost host;
    hw::DirectBackend direct(*board);
    hw::PortAccess ports(direct, host);
    uint8_t text[9] = {};
    ports.ReadBiosIdBytes(text);
    EXPECT_STREQ(reinterpret_cast<char*>(text), row.text);
    EXPECT_EQ(ports.ProbeChipVendor(), row.vendor);
    EXPECT_EQ(ports.ProbeChipId(0x30), row.id30);
    EXPECT_EQ(ports.ProbeChipId(0x21), row.id21);
    EXPECT_EQ(ports.ProbePciId(0x00000800, 0x00081039), row.sis);
    EXPECT_EQ(ports.DetectVia686aMonitor(), row.via);
    EXPECT_EQ(ports.ChipIoBase(), row.base);
  }
  // Every shipped board has a row.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kBoards))
    files += entry.path().extension() == ".json";
  EXPECT_EQ(files, std::size(rows));
}

// The demonstration board's CPU temperature (bank 1 register 0x50) leaves the 95 degree range
// and comes back.
TEST(ShippedBoards, DemoHeatsTheCpuPastItsLimitAndBack) {
  std::string error;
  auto board = SimulatedBoard::Load(kBoards + "demo.json", &error);
  ASSERT_NE(board, nullptr) << error;
  std::vector<int> temps;
  for (int t = 0; t <= 100; t += 5) {
    temps.push_back(board->PeekRegister(1, 0x50));
    board->Advance(5);
  }
  EXPECT_LT(temps.front(), 95);
  EXPECT_GE(*std::max_element(temps.begin(), temps.end()), 95);
  EXPECT_LT(temps.back(), 95);
}

}  // namespace
}  // namespace velmo::sim
