// The kernel source on hand-made trees: the chip is identified and read from the driver's files
// while its ports stay untouched, the readings equal those of the same registers read directly,
// reads that fail never end the monitor nor show old values, and beep and restart writes go to
// the driver's files or are skipped with one line.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <sstream>

#include "monitor/core/Acquisition.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/boards/BoardCodes.h"
#include "monitor/hw/ChipRegisters.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "monitor/hwmon/KernelChipBackend.h"
#include "sim/SimulatedBoard.h"
#include "tests/hwmon/MiniTree.h"
#include "tests/support/RecordingBus.h"

namespace velmo::hwmon {
namespace {

using core::MonitorState;
using test::MiniTree;

std::unique_ptr<sim::SimulatedBoard> Board(const std::string& file) {
  std::string error;
  auto board = sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + file, &error);
  EXPECT_TRUE(board) << error;
  return board;
}

// Fails chosen attributes with an errno, as a driver's read can fail; the rest are the files.
class FaultyFiles : public AttributeFiles {
 public:
  std::map<std::string, int> readErrors;  // attribute name -> errno
  int writeError = 0;
  std::vector<std::string> writes;
  AttributeRead Read(const std::string& path) override {
    const auto it = readErrors.find(std::filesystem::path(path).filename().string());
    if (it != readErrors.end()) return {0, it->second};
    return real.Read(path);
  }
  int Write(const std::string& path, int64_t value) override {
    writes.push_back(std::filesystem::path(path).filename().string() + "=" + std::to_string(value));
    return writeError != 0 ? writeError : real.Write(path, value);
  }
  SysfsAttributeFiles real;
};

// The kernel source over a simulated board's PCI and BIOS bytes, with the board's chip left to
// the tree; the board's trace shows every port access that got past the kernel source.
struct Rig {
  Rig(const std::string& boardFile, const MiniTree& tree)
      : board(Board(boardFile)), kernel(MakeKernel(tree)) {
    board->EnableTrace(true);
  }
  std::unique_ptr<KernelChipBackend> MakeKernel(const MiniTree& tree) {
    const auto found = FindKernelChips(tree.Root());
    EXPECT_EQ(found.size(), 1u);
    return std::make_unique<KernelChipBackend>(
        direct, found.at(0), tree.Root(), files,
        [this](const std::string& l) { lines.push_back(l); });
  }
  bool Prepare() { return core::SetUpMonitor(state, ports); }
  void Tick() {
    core::AcquireReadings(state, ports);
    core::ProgramBeepControl(state, ports);
  }
  // Trace lines are "in|out WIDTH PORT VALUE".
  bool ChipPortsTouched() const {
    for (const std::string& line : board->Trace()) {
      std::istringstream words(line);
      std::string kind, width, port;
      words >> kind >> width >> port;
      if (kind != "in" && kind != "out") continue;
      const unsigned long p = std::stoul(port, nullptr, 16);
      if (p == 0x295 || p == 0x296 || (p >= 0x6000 && p < 0x6080)) return true;
    }
    return false;
  }
  int ChannelAt(uint8_t valueRegister) const {
    for (int item = 0; item < core::kChannelCount; ++item)
      if (state[item].present && state[item].valueRegister == valueRegister) return item;
    return -1;
  }

  std::unique_ptr<sim::SimulatedBoard> board;
  hw::DirectBackend direct{*board};
  FaultyFiles files;
  std::vector<std::string> lines;
  std::unique_ptr<KernelChipBackend> kernel;
  test::RecordingHost host;
  hw::PortAccess ports{*kernel, host};
  MonitorState state;
};

// boards/w83782d.json's registers as the w83781d driver shows them.
std::map<std::string, std::string> W83782dAttributes() {
  return {{"in0_input", "2240"},    {"in1_input", "2240"},    {"in2_input", "3296"},
          {"in3_input", "2992"},    {"in4_input", "3168"},    {"in5_input", "320"},
          {"in6_input", "320"},     {"in7_input", "2976"},    {"in8_input", "3008"},
          {"temp1_input", "38000"}, {"temp2_input", "45500"}, {"temp3_input", "40000"},
          {"fan1_input", "5000"},   {"fan2_input", "5000"},   {"fan3_input", "5000"},
          {"fan1_div", "2"},        {"fan2_div", "2"},        {"fan3_div", "2"},
          {"beep_enable", "0"},     {"beep_mask", "0"}};
}

// What the Winbond drivers show for a board's registers (pin millivolts, millidegrees, RPM).
std::map<std::string, std::string> WinbondAttributes(const std::string& boardFile) {
  const auto board = Board(boardFile);
  std::map<std::string, std::string> a = W83782dAttributes();
  auto peek = [&board](unsigned bank, uint8_t reg) { return board->PeekRegister(bank, reg); };
  for (unsigned i = 0; i < 7; ++i)
    a["in" + std::to_string(i) + "_input"] = std::to_string(peek(0, 0x20 + i) * 16);
  a["in7_input"] = std::to_string(peek(5, 0x50) * 16);
  a["in8_input"] = std::to_string(peek(5, 0x51) * 16);
  a["temp1_input"] = std::to_string(static_cast<int8_t>(peek(0, 0x27)) * 1000);
  for (unsigned bank : {1u, 2u})
    a["temp" + std::to_string(bank + 1) + "_input"] = std::to_string(
        static_cast<int8_t>(peek(bank, 0x50)) * 1000 + ((peek(bank, 0x51) & 0x80) ? 500 : 0));
  const unsigned divs[] = {1u << ((peek(0, 0x47) >> 4) & 3), 1u << ((peek(0, 0x47) >> 6) & 3),
                           board->ChipName() == "w83781d" ? 2u : 1u << ((peek(0, 0x4B) >> 6) & 3)};
  for (unsigned f = 0; f < 3; ++f) {
    const unsigned count = peek(0, static_cast<uint8_t>(0x28 + f));
    const int rpm = count == 255 ? 0
                    : count == 0 ? -1
                                 : 1350000 / static_cast<int>(count * divs[f]);
    a["fan" + std::to_string(f + 1) + "_input"] = std::to_string(rpm);
    a["fan" + std::to_string(f + 1) + "_div"] = std::to_string(divs[f]);
  }
  return a;
}

MonitorState DirectReadings(const std::string& boardFile) {
  auto board = Board(boardFile);
  hw::DirectBackend direct(*board);
  test::RecordingHost host;
  hw::PortAccess ports(direct, host);
  MonitorState state;
  EXPECT_TRUE(core::SetUpMonitor(state, ports));
  core::AcquireReadings(state, ports);
  return state;
}

TEST(KernelSource, EachWinbondDriverNamesItsChipAndReadsLikeThePorts) {
  struct Row {
    const char* name;
    const char* device;
    const char* board;
    int32_t hmType;
  };
  const Row rows[] = {
      {"w83782d", "pci0000:00/0000:00:07.3/i2c-0/0-002d", "w83782d.json", core::kHmW83782d},
      {"w83627hf", "platform/w83627hf.656", "w83627hf.json", core::kHmW83627hf},
      {"w83781d", "platform/w83781d.656", "w83781d.json", core::kHmW83781d},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MiniTree tree(row.name, row.device);
    tree.Write(WinbondAttributes(row.board));
    Rig rig(row.board, tree);
    ASSERT_TRUE(rig.Prepare());
    EXPECT_EQ(rig.state.hmType, row.hmType);
    rig.Tick();
    const MonitorState direct = DirectReadings(row.board);
    for (int item = 0; item < core::kChannelCount; ++item) {
      SCOPED_TRACE(core::ChannelName(item));
      EXPECT_EQ(rig.state[item].present, direct[item].present);
      if (direct[item].present) {
        EXPECT_EQ(rig.state[item].value, direct[item].value);
      }
    }
    EXPECT_FALSE(rig.ChipPortsTouched());
    EXPECT_TRUE(rig.lines.empty());
  }
}

TEST(KernelSource, DriverValuesNoRegisterHoldsAreShownAsTheDriverReportsThem) {
  // A divisor of 16 does not fit the chip's two-bit field the monitor decodes; the VIA driver's
  // temperatures come through a table of its own.
  MiniTree winbond("w83627hf", "platform/w83627hf.656");
  auto attributes = W83782dAttributes();
  attributes["fan1_div"] = "16";
  attributes["fan1_input"] = "1250";
  attributes["fan2_input"] = "5001";  // no count gives it at divisor 2
  winbond.Write(attributes);
  Rig rig("w83627hf.json", winbond);
  ASSERT_TRUE(rig.Prepare());
  rig.Tick();
  ASSERT_GE(rig.ChannelAt(0x28), 0);
  EXPECT_EQ(rig.state[rig.ChannelAt(0x28)].value, 1250);
  EXPECT_EQ(rig.state[rig.ChannelAt(0x29)].value, 5001);

  MiniTree via("via686a", "platform/via686a.24576");
  via.Write({{"in0_input", "2245"},
             {"in1_input", "2500"},
             {"in2_input", "3310"},
             {"in3_input", "5040"},
             {"in4_input", "12100"},
             {"temp1_input", "45300"},
             {"temp2_input", "-2600"},
             {"temp3_input", "30000"},
             {"fan1_input", "4500"},
             {"fan2_input", "0"},
             {"fan1_div", "2"},
             {"fan2_div", "2"}});
  Rig viaRig("via686a.json", via);
  ASSERT_TRUE(viaRig.Prepare());
  EXPECT_EQ(viaRig.state.hmType, core::kHmVia686a);
  viaRig.Tick();
  EXPECT_EQ(viaRig.state[core::CPUTEMP].value, 45);
  EXPECT_EQ(viaRig.state[core::SYSTEMP].value, -3);
  EXPECT_EQ(viaRig.state[core::CHAFAN].value, 0);
  EXPECT_EQ(viaRig.state[core::CPUFAN].value, 4500);
  // 2245 mV is no register's value at the driver's scale: the driver's millivolts stand.
  EXPECT_EQ(viaRig.state[core::VCORE].value, 2245);
  EXPECT_NEAR(viaRig.state[core::V12].value, 12100, 70);
  EXPECT_FALSE(viaRig.ChipPortsTouched());
}

TEST(KernelSource, TheSouthBridgesMonitorIsIdentifiedFromTheDriversDevice) {
  // A bus that shows no PCI function at all, as a guard that hides an owned bridge does.
  struct Row {
    const char* name;
    const char* device;
    int32_t hmType;
    uint32_t chipIoBase;
  };
  const Row rows[] = {{"via686a", "platform/via686a.24576", core::kHmVia686a, 0x6000},
                      {"sis5595", "platform/sis5595.656", core::kHmSis5595, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MiniTree tree(row.name, row.device);
    tree.Write({{"in0_input", "2992"}, {"fan1_input", "5000"}, {"fan1_div", "2"}});
    test::RecordingBus bus;
    bus.memory = {'7', 'K', '4', 'X', 'R', 'Q', 'B', 'A'};
    hw::DirectBackend direct(bus);
    SysfsAttributeFiles files;
    KernelChipBackend kernel(direct, FindKernelChips(tree.Root()).at(0), tree.Root(), files, {});
    test::RecordingHost host;
    hw::PortAccess ports(kernel, host);
    MonitorState state;
    ASSERT_TRUE(core::SetUpMonitor(state, ports));
    EXPECT_EQ(state.hmType, row.hmType);
    EXPECT_EQ(ports.ChipIoBase(), row.chipIoBase);
    core::AcquireReadings(state, ports);
    EXPECT_EQ(state[core::CPUFAN].value + state[core::CHAFAN].value, 5000);
    for (const std::string& line : bus.trace)
      EXPECT_EQ(line.find(" 0x29"), std::string::npos) << line;  // neither 0x295 nor 0x296
  }
}

TEST(KernelSource, AVanishedOrRenumberedDeviceFailsItsReadingsUntilFoundByItsAddress) {
  MiniTree tree("w83782d", "pci0000:00/0000:00:07.3/i2c-0/0-002d");
  tree.Write(W83782dAttributes(), 0);
  Rig rig("w83782d.json", tree);
  ASSERT_TRUE(rig.Prepare());
  rig.Tick();
  EXPECT_EQ(rig.state[core::V5].value, 5056);

  tree.Remove();  // the driver unloaded
  for (int tick = 0; tick < 2; ++tick) {
    rig.Tick();
    // Read as failed port reads are: no reading, never the last one shown as new.
    EXPECT_EQ(rig.state[core::V5].value, 0);
    EXPECT_EQ(rig.state[core::V5].outOfRange, 1);
    EXPECT_EQ(rig.state[core::CPUTEMP].value, 0);
    EXPECT_EQ(rig.state[core::CPUFAN].value, 0);
    EXPECT_TRUE(rig.kernel->DeviceLost());
  }
  EXPECT_EQ(rig.lines.size(), 1u) << "the loss is said once";
  EXPECT_TRUE(rig.host.endCodes.empty());

  // Back after a reboot as another hwmonN, with a reading that changed meanwhile; another chip
  // of the same driver at another address is not taken for it.
  MiniTree other("w83782d", "pci0000:00/0000:00:07.3/i2c-0/0-002e");
  auto attributes = W83782dAttributes();
  attributes["in3_input"] = "3008";
  tree.Write(attributes, 3);
  rig.Tick();
  EXPECT_FALSE(rig.kernel->DeviceLost());
  EXPECT_EQ(rig.kernel->Device().classEntry.filename(), "hwmon3");
  EXPECT_EQ(rig.state[core::V5].value, (169 * 188 * 16) / 100);
  EXPECT_EQ(rig.state[core::V5].outOfRange, 0);
  ASSERT_EQ(rig.lines.size(), 2u);
  EXPECT_NE(rig.lines[1].find("is back"), std::string::npos);
}

TEST(KernelSource, AFailingAttributeFailsOnlyItsChannelForThatTick) {
  MiniTree tree("w83627hf", "platform/w83627hf.656");
  tree.Write(W83782dAttributes());
  Rig rig("w83627hf.json", tree);
  ASSERT_TRUE(rig.Prepare());
  for (int error : {EIO, EAGAIN, EACCES}) {
    SCOPED_TRACE(error);
    rig.files.readErrors = {{"in3_input", error}, {"temp2_input", error}, {"fan2_input", error}};
    rig.Tick();
    EXPECT_EQ(rig.state[core::V5].value, 0);
    EXPECT_EQ(rig.state[core::CPUTEMP].value, 0);  // bank 1: temp2
    EXPECT_EQ(rig.state[core::CPUFAN].value, 0);   // 0x29: fan2
    EXPECT_EQ(rig.state[core::V12].value, 12038);
    EXPECT_EQ(rig.state[core::SYSTEMP].value, 40);
    EXPECT_FALSE(rig.kernel->DeviceLost());
    rig.files.readErrors.clear();
    rig.Tick();
    EXPECT_EQ(rig.state[core::V5].value, 5056);
    EXPECT_EQ(rig.state[core::CPUTEMP].value, 45);
  }
  // A single missing attribute (an older driver) is not a lost device.
  std::filesystem::remove(tree.DeviceDir() / "in8_input");
  rig.Tick();
  EXPECT_EQ(rig.state[core::VB].value, 0);
  EXPECT_FALSE(rig.kernel->DeviceLost());
  EXPECT_TRUE(rig.lines.empty());
}

TEST(KernelSource, AnAttributeTheUserMayNotReadFailsItsChannel) {
  MiniTree tree("w83627hf", "platform/w83627hf.656");
  tree.Write(W83782dAttributes());
  std::filesystem::permissions(tree.DeviceDir() / "in3_input", std::filesystem::perms::none);
  // Another user's process: root would read the file whatever its mode.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(10);
    Rig rig("w83627hf.json", tree);
    if (!rig.Prepare()) _exit(11);
    rig.Tick();
    if (rig.state[core::V5].value != 0) _exit(12);
    if (rig.state[core::V12].value != 12038) _exit(13);
    if (rig.kernel->DeviceLost()) _exit(14);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(KernelSource, BeepSwitchesGoToTheDriversBeepFiles) {
  // Model 9 board text: the voltage beep bits are programmed too.
  for (bool maskFile : {true, false}) {
    SCOPED_TRACE(maskFile ? "beep_mask" : "one file per bit");
    MiniTree tree("w83782d", "pci0000:00/0000:00:07.3/i2c-0/0-002d");
    auto attributes = W83782dAttributes();
    attributes["temp2_input"] = "99000";  // the CPU sensor over its 95 C limit
    if (!maskFile) {
      attributes.erase("beep_mask");
      for (const char* f : {"in0_beep", "in1_beep", "in2_beep", "in3_beep", "in4_beep", "in5_beep",
                            "in6_beep", "in7_beep", "in8_beep", "temp1_beep", "temp2_beep",
                            "temp3_beep", "fan1_beep", "fan2_beep", "fan3_beep"})
        attributes[f] = "0";
      attributes["fan1_beep"] = "1";  // a bit the monitor never touches stays as it is
    }
    tree.Write(attributes);
    Rig rig("w83782d.json", tree);
    ASSERT_TRUE(rig.Prepare());
    rig.Tick();
    EXPECT_EQ(tree.Get("beep_enable"), "1");
    // w83782d: CPU temperature (0x56 bit 5, temp2) beeps while in alarm; VBAT and 5VSB (bank 4
    // 0x53) follow their enabled flags, VBAT enabled, 5VSB absent but enabled in the profile.
    if (maskFile) {
      EXPECT_EQ(tree.Get("beep_mask"), std::to_string((1 << 5) | (1 << 16) | (1 << 17)));
    } else {
      EXPECT_EQ(tree.Get("temp2_beep"), "1");
      EXPECT_EQ(tree.Get("in8_beep"), "1");
      EXPECT_EQ(tree.Get("temp3_beep"), "0");
      EXPECT_EQ(tree.Get("fan1_beep"), "1");
    }
    // The alarm switch off: only the global enable changes, and nothing is written again after.
    rig.state.params.bAlarm = 0;
    rig.files.writes.clear();
    rig.Tick();
    EXPECT_EQ(tree.Get("beep_enable"), "0");
    EXPECT_EQ(rig.files.writes, std::vector<std::string>{"beep_enable=0"});
    rig.files.writes.clear();
    rig.Tick();
    EXPECT_TRUE(rig.files.writes.empty());
    EXPECT_TRUE(rig.lines.empty());
  }
}

TEST(KernelSource, WritesTheProcessMayNotMakeAreSkippedWithOneLineEach) {
  MiniTree tree("w83782d", "pci0000:00/0000:00:07.3/i2c-0/0-002d");
  tree.Write(W83782dAttributes());
  Rig rig("w83782d.json", tree);
  ASSERT_TRUE(rig.Prepare());
  rig.files.writeError = EACCES;
  for (int tick = 0; tick < 3; ++tick) {
    rig.state.params.bAlarm = tick % 2;  // a change to write on every tick
    rig.Tick();
  }
  const hw::TripLimitRegisters sensors[] = {{1, 0x55, 0x53}, {2, 0x55, 0x53}};
  hw::WriteRestartTripLimits(rig.ports, sensors);
  hw::WriteRestartTripLimits(rig.ports, sensors);
  ASSERT_EQ(rig.lines.size(), 2u);
  EXPECT_NE(rig.lines[0].find("beep"), std::string::npos);
  EXPECT_NE(rig.lines[0].find("Permission denied"), std::string::npos);
  EXPECT_NE(rig.lines[1].find("restart temperature limits"), std::string::npos);
  EXPECT_TRUE(rig.host.messages.empty());
  EXPECT_EQ(tree.Get("temp2_max"), "");  // nothing written
}

TEST(KernelSource, RestartTripLimitsGoToTheTemperatureLimitFiles) {
  MiniTree tree("w83782d", "pci0000:00/0000:00:07.3/i2c-0/0-002d");
  auto attributes = W83782dAttributes();
  for (const char* f : {"temp1_max", "temp1_max_hyst", "temp2_max", "temp2_max_hyst", "temp3_max",
                        "temp3_max_hyst"})
    attributes[f] = "60000";
  tree.Write(attributes);
  Rig rig("w83782d.json", tree);
  ASSERT_TRUE(rig.Prepare());
  const hw::TripLimitRegisters sensors[] = {{2, 0x55, 0x53}, {1, 0x55, 0x53}, {0, 0x39, 0x3A}};
  hw::WriteRestartTripLimits(rig.ports, sensors);
  for (const char* n : {"temp1", "temp2", "temp3"}) {
    EXPECT_EQ(tree.Get(std::string(n) + "_max"), "127000") << n;
    EXPECT_EQ(tree.Get(std::string(n) + "_max_hyst"), "126000") << n;
  }
  EXPECT_FALSE(rig.ChipPortsTouched());
}

}  // namespace
}  // namespace velmo::hwmon
