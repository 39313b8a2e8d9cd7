// Ownership of the chip by a kernel hwmon device: the claim each driver's device makes, merged
// with those of /proc/ioports; behind the guard nothing claimed is touched (the I2C case claims
// no port at all); a helper serving a board with "hwmon": true refuses the ports likewise.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "DriverTrees.h"
#include "drivers/common/HelperMain.h"
#include "monitor/hw/KernelPortClaims.h"
#include "monitor/hwmon/KernelOwnership.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;
using Claims = std::vector<hw::PortClaim>;

std::string Describe(const Claims& claims) {
  std::ostringstream text;
  for (const hw::PortClaim& c : claims)
    text << std::hex << c.first << "-" << c.last << " " << c.driver << " " << c.device << "\n";
  return text.str();
}

TEST(KernelOwnership, EachDriversDeviceOwnsTheChip) {
  for (const DriverTree& t : DriverTrees()) {
    SCOPED_TRACE(t.claim.device);
    const fs::path root = ExportTree(t.board, t.options, "owner");
    EXPECT_EQ(RunFunctionInTree(root, [] { return Describe(hwmon::ReadHwmonClaims()); }),
              Describe({t.claim}));
    EXPECT_EQ(Describe(hwmon::ReadHwmonClaims(root / "sys")), Describe({t.claim}));
  }
}

TEST(KernelOwnership, OtherDevicesOwnNothing) {
  using hwmon::BusKind;
  const hwmon::KernelChip others[] = {
      {"coretemp-isa-0000", "coretemp", BusKind::Platform, 0, 0, "/x"},
      {"it87-isa-0290", "it87", BusKind::Platform, 0, 0x290, "/x"},    // kin, not ours
      {"w83627hf-i2c-0-2d", "w83627hf", BusKind::I2c, 0, 0x2d, "/x"},  // not how it is driven
      {"via686a-pci-0038", "via686a", BusKind::Pci, 0, 0x38, "/x"},
      {"w83782d-virtual-0", "w83782d", BusKind::Other, 0, 0, "/x"},
  };
  for (const hwmon::KernelChip& c : others)
    EXPECT_FALSE(hwmon::OwnershipClaim(c)) << c.name;

  // A tree with a device that has attributes but no device link, next to nothing else.
  const fs::path root =
      fs::path(testing::TempDir()) / ("hwmon-virtual-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "sys/class/hwmon/hwmon0");
  std::ofstream(root / "sys/class/hwmon/hwmon0/name") << "w83627hf\n";
  std::ofstream(root / "sys/class/hwmon/hwmon0/temp1_input") << "40000\n";
  EXPECT_EQ(hwmon::ReadHwmonClaims(root / "sys"), Claims{});
  EXPECT_EQ(hwmon::ReadHwmonClaims(root / "no-sys"), Claims{});
}

TEST(KernelOwnership, HwmonClaimsJoinThoseOfIoports) {
  Claims claims = {{0x290, 0x297, "w83781d"}, {0x60, 0x60, "keyboard"}};
  hwmon::MergeClaims(claims, {{0x295, 0x296, "w83781d", "w83782d-isa-0290"},
                              {0x6000, 0x607f, "via686a", "via686a-isa-6000"}});
  EXPECT_EQ(Describe(claims),
            "290-297 w83781d w83782d-isa-0290\n60-60 keyboard \n"
            "6000-607f via686a via686a-isa-6000\n");
  // The message names the device and the module to remove.
  EXPECT_EQ(hw::DescribeClaim({0x295, 0x296, "w83781d", "w83782d-i2c-0-2d"}),
            "The kernel driver w83781d owns the monitor chip (w83782d-i2c-0-2d); Velmo leaves its "
            "ports 0x295-0x296 alone. \"modprobe -r w83781d\" (as root) frees them.");
}

// A board file like the shipped one, with "hwmon": true.
std::string HwmonBoard(const std::string& board) {
  std::ifstream in(BoardPath(board));
  std::stringstream text;
  text << in.rdbuf();
  std::string body = text.str();
  body.insert(body.rfind('}'), ", \"hwmon\": true\n");
  const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string path = testing::TempDir() + "/hwmon-board-" + test + "-" + board + "-" +
                           std::to_string(::getpid()) + ".json";
  std::ofstream(path) << body;
  return path;
}

TEST(KernelOwnership, HelperBoardWithMachineHwmonKeepsOffTheOwnedPorts) {
  for (const DriverTree& t : DriverTrees()) {
    SCOPED_TRACE(t.claim.device);
    const fs::path root = ExportTree(t.board, t.options, "helper");
    const std::string boardFile = HwmonBoard(t.board);
    // What the helper's bus answers on the claimed ports, the index latch, and whether the chip
    // saw any of it.
    const std::string seen = RunFunctionInTree(root, [&] {
      std::string error;
      drivers::HelperBus bus = drivers::LoadBoard(boardFile, &error);
      if (!bus.bus) return "no bus: " + error;
      bus.board->EnableTrace(true);
      bus.bus->Out(t.claim.first, 1, 0x4E);
      std::ostringstream text;
      text << std::hex << bus.bus->In(t.claim.first, 1) << " " << bus.bus->In(t.claim.last, 1)
           << " " << bus.board->Trace().size();
      // The south bridge whose monitor the kernel drives is hidden from PCI probes too.
      const std::string board = t.board;
      if (board == "via686a" || board == "sis5595") {
        bus.bus->Out(0xCF8, 4, board == "via686a" ? 0x80003800u : 0x80000800u);
        text << " " << bus.bus->In(0xCFC, 4);
      }
      return text.str();
    });
    const std::string board = t.board;
    EXPECT_EQ(seen, board == "via686a" || board == "sis5595" ? "ff ff 0 ffffffff" : "ff ff 0");
  }
  // The same board without the key never looks at the machine's hwmon.
  const DriverTree t = DriverTrees()[0];
  const fs::path root = ExportTree(t.board, t.options, "helper-plain");
  const std::string plain = RunFunctionInTree(root, [&] {
    std::string error;
    drivers::HelperBus bus = drivers::LoadBoard(BoardPath(t.board), &error);
    bus.bus->Out(0x295, 1, 0x4E);
    std::ostringstream text;
    text << std::hex << bus.bus->In(0x295, 1);
    return text.str();
  });
  EXPECT_EQ(plain, "4e");
}

TEST(KernelOwnership, PortioSaysWhichDeviceOwnsTheChip) {
  const DriverTree t = DriverTrees()[0];  // the I2C client: no /proc/ioports line at all
  const fs::path root = ExportTree(t.board, t.options, "portio");
  // portio serves until SIGTERM: a second is enough for its start-up lines.
  const ProgramRun run =
      RunInTree(root, {"env", "VELMO_DEVICE_DIR=" + root.string(), "timeout", "1",
                       VELMO_PORTIO_PROGRAM, "--board", HwmonBoard(t.board)});
  EXPECT_NE(run.err.find("portio: " + hw::DescribeClaim(t.claim) + "\n"), std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace velmo::test
