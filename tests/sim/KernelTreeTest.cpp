// The kernel's view of a simulated chip: per driver, the folder layout libsensors walks, the
// complete tree against a golden listing, and the values of each formula worked out by hand from
// the registers set below.
#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/KernelTree.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/Golden.h"

namespace velmo::sim {
namespace {

namespace fs = std::filesystem;

// One board per driver, with registers chosen so each formula meets its edge cases.
struct DriverBoard {
  const char* name;
  const char* text;
  KernelTreeOptions options;
  const char* device;     // below root
  const char* subsystem;  // basename of the device's subsystem link
  const char* chipName;   // the name file
};

KernelTreeOptions Isa() {
  KernelTreeOptions o;
  o.i2c = false;
  o.hwmonIndex = 2;
  return o;
}

const DriverBoard kBoards[] = {
    {"w83782d",
     R"({"chip": "w83782d", "registers": {
       "0x20": 140, "0x2B": 150, "0x2C": 130, "5:0x50": 186, "5:0x54": 200,
       "0x28": 135, "0x29": 0, "0x2A": 255, "0x47": "0x5F", "0x4B": "0xC4", "0x5D": "0x20",
       "0x3D": 100, "0x27": "0xF6", "0x39": 60, "0x3A": 55, "1:0x50": 45, "1:0x51": "0x80",
       "2:0x50": "0xFF", "2:0x51": "0x80", "2:0x55": 80, "2:0x56": 0,
       "4:0x59": "0x11", "4:0x5A": "0x20", "4:0x5B": "0x02",
       "0x56": "0x40", "0x57": "0x80", "4:0x53": "0x01"}})",
     {},
     "sys/devices/pci0000:00/0000:00:07.3/i2c-0/0-002d",
     "i2c",
     "w83782d"},
    {"w83781d",
     R"({"chip": "w83781d", "registers": {"0x2A": 135, "0x4B": "0xC4", "0x41": "0x20",
       "0x42": "0x08", "0x56": "0x20", "0x57": 0, "0x25": 216}})",
     [] {
       KernelTreeOptions o;
       o.i2cBus = 1;
       o.i2cAddress = 0x29;
       return o;
     }(),
     "sys/devices/pci0000:00/0000:00:07.3/i2c-1/1-0029", "i2c", "w83781d"},
    {"w83782d-isa", R"({"chip": "w83782d"})", Isa(), "sys/devices/platform/w83781d.656", "platform",
     "w83782d"},
    {"w83627hf",
     R"({"chip": "w83627hf", "registers": {"5:0x51": 188, "5:0x57": 150}})",
     {},
     "sys/devices/platform/w83627hf.656",
     "platform",
     "w83627hf"},
    {"via686a",
     R"({"chip": "via686a", "via686a": {"base": "0x6001", "enabled": true}, "registers": {
       "0x20": 178, "0x1F": 168, "0x22": 184, "0x23": 121, "0x24": 203, "0x25": 197,
       "0x26": 195, "0x29": 0, "0x2A": 255, "0x47": "0x90", "0x3C": 135,
       "0x41": "0x10", "0x42": "0x88"}})",
     {},
     "sys/devices/platform/via686a.24576",
     "platform",
     "via686a"},
    {"sis5595",
     R"({"chip": "sis5595", "registers": {"0x20": 188, "0x24": "0xD9", "0x33": 30, "0x34": 25,
       "0x28": 0, "0x29": 135, "0x47": "0x50", "0x42": "0x80"}})",
     {},
     "sys/devices/platform/sis5595.656",
     "platform",
     "sis5595"},
};

std::unique_ptr<SimulatedBoard> Board(const char* text) {
  std::string error;
  auto board = SimulatedBoard::Parse(text, "inline.json", &error);
  EXPECT_NE(board, nullptr) << error;
  return board;
}

// A folder of its own per test and board: ctest may run the tests side by side.
fs::path FreshRoot(const std::string& name) {
  const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
  const fs::path root = fs::path(testing::TempDir()) /
                        ("kernel-tree-" + test + "-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(root);
  return root;
}

std::string Read(const fs::path& p) {
  return test::ReadFile(p.string());
}

// Every entry below root, sorted: "path/" folders, "path -> target" links, "path mode value"
// files (mode in octal, value without its newline).
std::string Listing(const fs::path& root) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
    const fs::path rel = it->path().lexically_relative(root);
    if (it->is_symlink()) {
      lines.push_back(rel.string() + " -> " + fs::read_symlink(it->path()).string());
    } else if (it->is_directory()) {
      lines.push_back(rel.string() + "/");
    } else {
      struct stat st {};
      ::stat(it->path().c_str(), &st);
      std::string value = Read(it->path());
      if (!value.empty() && value.back() == '\n') value.pop_back();
      char mode[8];
      std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
      lines.push_back(rel.string() + " " + mode + " " + value);
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& l : lines)
    text += l + "\n";
  return text;
}

TEST(KernelTree, EachDriverShowsTheLayoutLibsensorsWalks) {
  for (const DriverBoard& b : kBoards) {
    SCOPED_TRACE(b.name);
    auto board = Board(b.text);
    ASSERT_NE(board, nullptr);
    const fs::path root = FreshRoot(b.name);
    ExportKernelTree(*board, root, b.options);
    EXPECT_EQ(KernelDevicePath(*board, b.options), fs::path(b.device));

    const std::string hwmon = "hwmon" + std::to_string(b.options.hwmonIndex);
    const fs::path classEntry = root / "sys/class/hwmon" / hwmon;
    const fs::path device = root / b.device;
    ASSERT_TRUE(fs::is_symlink(classEntry));
    // The class entry resolves into the device's own hwmon folder, whose `device` link leads
    // back to the folder that holds the attributes.
    EXPECT_EQ(fs::canonical(classEntry), fs::canonical(device / "hwmon" / hwmon));
    EXPECT_EQ(fs::canonical(classEntry / "device"), fs::canonical(device));
    EXPECT_EQ(fs::read_symlink(device / "subsystem").filename(), b.subsystem);
    EXPECT_EQ(fs::read_symlink(classEntry / "subsystem").filename(), "hwmon");
    EXPECT_EQ(Read(device / "name"), std::string(b.chipName) + "\n");
    EXPECT_FALSE(fs::exists(classEntry / "name"));  // the old way: attributes on the device
    EXPECT_FALSE(fs::exists(classEntry / "temp1_input"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(device / "temp1_input")));
    if (std::string(b.subsystem) == "i2c") {
      const fs::path adapter = device.parent_path();
      EXPECT_EQ(Read(adapter / "name"), "SMBus PIIX4 adapter at 5000\n");
      EXPECT_EQ(fs::canonical(root / "sys/class/i2c-adapter" / adapter.filename()),
                fs::canonical(adapter));
    }
    test::ExpectGolden(std::string(VELMO_TEST_DATA_DIR) + "/kernel-tree/" + b.name + ".tree",
                       Listing(root));
  }
}

// Values worked out from the registers of kBoards with the drivers' formulas.
TEST(KernelTree, ValuesFollowTheDriversFormulas) {
  struct Row {
    const char* board;
    const char* file;
    const char* value;
  };
  const Row rows[] = {
      // Winbond pin voltages: reg x 16 mV.
      {"w83782d", "in0_input", "2240"},  // 140 x 16
      {"w83782d", "in0_max", "2400"},    // 0x2B 150 x 16
      {"w83782d", "in0_min", "2080"},    // 0x2C 130 x 16
      {"w83782d", "in7_input", "2976"},  // bank 5 0x50 186 x 16
      {"w83782d", "in7_max", "3200"},    // bank 5 0x54 200 x 16
      // Fans: 1350000 / (count x div); divisor bits 0x47 and the third bit in 0x5D.
      {"w83782d", "fan1_div", "32"},     // 0x47 bits 4-5 = 1, 0x5D bit 5 -> 0b101
      {"w83782d", "fan1_input", "312"},  // 1350000 / (135 x 32) = 312.5
      {"w83782d", "fan2_input", "-1"},   // count 0
      {"w83782d", "fan3_input", "0"},    // count 255
      {"w83782d", "fan3_div", "8"},      // 0x4B bits 6-7 = 3
      {"w83782d", "fan3_min", "1687"},   // 0x3D 100: 1350000 / 800 = 1687.5
      // Temperatures: temp1 signed whole degrees, temp2/3 9-bit.
      {"w83782d", "temp1_input", "-10000"},    // 0xF6
      {"w83782d", "temp1_max", "60000"},       // 0x39
      {"w83782d", "temp1_max_hyst", "55000"},  // 0x3A
      {"w83782d", "temp2_input", "45500"},     // 45, half degree bit set
      {"w83782d", "temp3_input", "-500"},      // 0xFF then 0x80: -1 + 0.5
      {"w83782d", "temp3_max", "80000"},
      // Alarms from bank 4 0x59-0x5B: bits 0, 4, 13, 17.
      {"w83782d", "alarms", "139281"},  // 0x22011
      {"w83782d", "in0_alarm", "1"},
      {"w83782d", "temp1_alarm", "1"},
      {"w83782d", "temp3_alarm", "1"},
      {"w83782d", "in8_alarm", "1"},
      {"w83782d", "in1_alarm", "0"},
      // Beeps: 0x56 | 0x57 << 8 | bank 4 0x53 << 16; bit 15 is beep_enable, not in the mask.
      {"w83782d", "beep_mask", "65600"},  // 0x40 | 0x10000
      {"w83782d", "beep_enable", "1"},
      {"w83782d", "fan1_beep", "1"},
      {"w83782d", "in7_beep", "1"},
      {"w83782d", "in0_beep", "0"},
      // The W83781D: fan3's divisor fixed at 2, alarms from 0x41/0x42, temp3 on temp2's bit.
      {"w83781d", "fan3_div", "2"},
      {"w83781d", "fan3_input", "5000"},  // 1350000 / (135 x 2), whatever 0x4B holds
      {"w83781d", "alarms", "2080"},      // 0x20 | 0x08 << 8
      {"w83781d", "temp2_alarm", "1"},
      {"w83781d", "temp3_alarm", "1"},
      {"w83781d", "fan3_alarm", "1"},
      {"w83781d", "temp3_beep", "1"},  // 0x56 bit 5
      {"w83781d", "beep_enable", "0"},
      {"w83781d", "in5_input", "3456"},   // the -12 V pin: 216 x 16, no rail scaling
      {"w83627hf", "in8_input", "3008"},  // bank 5 0x51 188 x 16
      {"w83627hf", "in8_min", "2400"},    // bank 5 0x57 150 x 16
      // VIA: mV = (25 reg + 133) x f x 1000 / 2628, to the nearest.
      {"via686a", "in0_input", "2251"},     // 4733 x 1.25 / 2.628 = 2251.2
      {"via686a", "in1_input", "1502"},     // 3158 x 1.25 / 2.628 = 1502.1
      {"via686a", "in2_input", "3309"},     // 5208 x 1.67 / 2.628 = 3309.5 (3309.498)
      {"via686a", "in3_input", "5004"},     // 5058 x 2.6 / 2.628 = 5004.1
      {"via686a", "in4_input", "12005"},    // 5008 x 6.3 / 2.628 = 12005.5 (12005.48)
      {"via686a", "in0_min", "63"},         // register 0: 133 x 1.25 / 2.628 = 63.3
      {"via686a", "fan1_input", "0"},       // count 0 reads 0 on the VIA
      {"via686a", "fan2_div", "4"},         // 0x47 bits 6-7 = 2
      {"via686a", "fan2_min", "2500"},      // 0x3C 135: 1350000 / 540
      {"via686a", "temp1_input", "45000"},  // 178: 45 C on the monitor's VIA curve
      {"via686a", "temp3_input", "40000"},  // 0x1F 168: 40 C
      {"via686a", "alarms", "34832"},       // 0x10 | 0x88 << 8
      {"via686a", "temp1_alarm", "1"},      // bit 4
      {"via686a", "temp2_alarm", "1"},      // bit 11
      {"via686a", "temp3_alarm", "1"},      // bit 15
      {"via686a", "in4_alarm", "0"},        // bit 8
      // SiS: reg x 16 mV; temp1 = signed reg x 830 + 52120 m C.
      {"sis5595", "in0_input", "3008"},
      {"sis5595", "temp1_input", "19750"},     // 0xD9 = -39: -32370 + 52120
      {"sis5595", "temp1_max", "77020"},       // 0x33 30: 24900 + 52120
      {"sis5595", "temp1_max_hyst", "72870"},  // 0x34 25: 20750 + 52120
      {"sis5595", "fan1_input", "-1"},
      {"sis5595", "fan2_input", "5000"},
      {"sis5595", "temp1_alarm", "1"},  // bit 15
      {"sis5595", "alarms", "32768"},
  };
  for (const DriverBoard& b : kBoards) {
    auto board = Board(b.text);
    ASSERT_NE(board, nullptr);
    const fs::path root = FreshRoot(b.name);
    ExportKernelTree(*board, root, b.options);
    for (const Row& row : rows) {
      if (std::string(row.board) != b.name) continue;
      EXPECT_EQ(Read(root / b.device / row.file), std::string(row.value) + "\n")
          << row.board << " " << row.file;
    }
  }
}

TEST(KernelTree, WhichChannelsAndWhichFilesMayBeWritten) {
  struct Row {
    const char* board;
    const char* file;
    bool exists;
    unsigned mode;
  };
  const Row rows[] = {
      {"w83782d", "in8_input", true, 0444}, {"w83782d", "in8_max", true, 0644},
      {"w83782d", "beep_mask", true, 0644}, {"w83782d", "temp3_beep", true, 0644},
      {"w83781d", "in7_input", false, 0},   {"w83781d", "temp3_beep", true, 0444},
      {"via686a", "beep_enable", false, 0}, {"via686a", "in5_input", false, 0},
      {"via686a", "fan3_input", false, 0},  {"via686a", "temp3_max_hyst", true, 0644},
      {"sis5595", "in4_input", false, 0},   {"sis5595", "temp2_input", false, 0},
      {"sis5595", "fan1_div", true, 0644},  {"sis5595", "name", true, 0444},
  };
  for (const DriverBoard& b : kBoards) {
    auto board = Board(b.text);
    ASSERT_NE(board, nullptr);
    const fs::path root = FreshRoot(b.name);
    ExportKernelTree(*board, root, b.options);
    for (const Row& row : rows) {
      if (std::string(row.board) != b.name) continue;
      const fs::path file = root / b.device / row.file;
      struct stat st {};
      EXPECT_EQ(::stat(file.c_str(), &st) == 0, row.exists) << row.board << " " << row.file;
      if (row.exists) {
        EXPECT_EQ(st.st_mode & 0777, row.mode) << row.board << " " << row.file;
      }
    }
  }
}

TEST(KernelTree, ExportingLeavesTheChipAndItsTraceAlone) {
  auto board = Board(kBoards[1].text);  // the W83781D: its alarm registers clear on reading
  ASSERT_NE(board, nullptr);
  board->EnableTrace(true);
  ExportKernelTree(*board, FreshRoot("untouched"), kBoards[1].options);
  EXPECT_TRUE(board->Trace().empty());
  EXPECT_EQ(board->PortAccessCount(), 0u);
  EXPECT_EQ(board->PeekRegister(0, 0x41), 0x20);
  EXPECT_EQ(board->PeekRegister(0, 0x42), 0x08);
}

TEST(KernelTree, ReexportFollowsTheRegistersAndRenumbers) {
  auto board = Board(R"({"chip": "w83627hf"})");
  ASSERT_NE(board, nullptr);
  const fs::path root = FreshRoot("reexport");
  const fs::path device = root / "sys/devices/platform/w83627hf.656";
  ExportKernelTree(*board, root);
  EXPECT_EQ(Read(device / "temp1_input"), "38000\n");
  fs::remove(device / "fan1_input");  // as a test of a vanished file would
  board->PokeRegister(0, 0x27, 70);
  KernelTreeOptions renumbered;
  renumbered.hwmonIndex = 5;
  std::ifstream before(device / "temp1_input");  // a reader in the middle of the re-export
  ExportKernelTree(*board, root, renumbered);
  std::string old;
  std::getline(before, old);
  EXPECT_EQ(old, "38000");  // the whole old value, not a truncated file
  EXPECT_EQ(Read(device / "temp1_input"), "70000\n");
  EXPECT_EQ(Read(device / "fan1_input"), "5000\n");
  std::vector<std::string> entries;
  for (const auto& e : fs::directory_iterator(root / "sys/class/hwmon"))
    entries.push_back(e.path().filename().string());
  EXPECT_EQ(entries, std::vector<std::string>{"hwmon5"});
  EXPECT_FALSE(fs::exists(device / "hwmon/hwmon0"));
}

TEST(KernelTree, NoDeviceWithoutAChipOrWithTheViaMonitorOff) {
  for (const char* text :
       {R"({"chip": "none"})", R"({"chip": "via686a", "via686a": {"enabled": false}})"}) {
    SCOPED_TRACE(text);
    auto board = Board(text);
    ASSERT_NE(board, nullptr);
    const fs::path root = FreshRoot("no-device");
    ExportKernelTree(*board, root);
    EXPECT_TRUE(KernelDevicePath(*board).empty());
    EXPECT_TRUE(fs::is_empty(root / "sys/class/hwmon"));
    EXPECT_TRUE(fs::is_directory(root / "sys/devices"));  // there to be mounted all the same
  }
}

}  // namespace
}  // namespace velmo::sim
