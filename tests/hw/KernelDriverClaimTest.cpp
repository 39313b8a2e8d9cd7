// A kernel driver that owns the monitor chip: the claims read from a /proc/ioports file, the
// message, and identification on a board behind the guard, which touches nothing claimed and
// finds no chip. (The guard stands here in front of simulated boards; the programs put it only
// in front of the real machine.)
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/core/Identification.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/KernelPortClaims.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/RecordingBus.h"

namespace velmo::hw {
namespace {

using Claims = std::vector<PortClaim>;

// The machine's file as a fake, in a file of its own.
std::string FakeIoports(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + "/ioports-" + name;
  std::ofstream(path) << text;
  return path;
}

// The ports a board trace touched (lines "in W 0xPORT 0xV" / "out W 0xPORT 0xV"), and whether a
// configuration read went to a function in `hidden` (bus/device/function bits).
struct Touched {
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // first, last
  bool hiddenFunctionRead = false;
};
Touched Scan(const std::vector<std::string>& trace, const std::vector<uint32_t>& hidden) {
  Touched t;
  uint32_t latch = 0;
  for (const std::string& line : trace) {
    char dir[4] = {};
    unsigned width = 0, port = 0, value = 0;
    if (std::sscanf(line.c_str(), "%3s %u %x %x", dir, &width, &port, &value) != 4) continue;
    t.ranges.emplace_back(port, port + width - 1);
    if (std::string(dir) == "out" && port == 0xCF8) latch = value;
    if (std::string(dir) == "in" && port >= 0xCFC && port <= 0xCFF) {
      for (uint32_t f : hidden)
        t.hiddenFunctionRead = t.hiddenFunctionRead || (latch & 0x00FFFF00) == f;
    }
  }
  return t;
}

TEST(KernelDriverClaims, EachChipsDriverKeepsItsChip) {
  struct Row {
    const char* board;
    const char* ioports;
    Claims claims;
    std::vector<uint32_t> hiddenFunctions;
  };
  const Row rows[] = {
      {"w83781d",
       "0000-0cf7 : PCI Bus 0000:00\n  0000-001f : dma1\n  0290-0297 : w83781d\n"
       "0cf8-0cff : PCI conf1\n",
       {{0x290, 0x297, "w83781d"}},
       {}},
      // The w83781d driver serves the w83782d too.
      {"w83782d", "0290-0297 : w83781d\n", {{0x290, 0x297, "w83781d"}}, {}},
      {"w83627hf",
       "0000-0cf7 : PCI Bus 0000:00\n  0290-029f : pnp 00:07\n    0295-0296 : w83627hf\n",
       {{0x295, 0x296, "w83627hf"}},
       {}},
      {"sis5595", "  0290-0297 : sis5595\n", {{0x290, 0x297, "sis5595"}}, {0x000800}},
      // The VIA block lies where PCI put it; its driver's region is found by name.
      {"via686a",
       "6000-607f : 0000:00:07.4\n  6000-607f : via686a\n",
       {{0x6000, 0x607f, "via686a"}},
       {0x003800}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.board);
    const Claims claims = ReadChipPortClaims(FakeIoports(row.board, row.ioports));
    EXPECT_EQ(claims, row.claims);

    std::string error;
    auto owned =
        sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + row.board + ".json", &error);
    ASSERT_TRUE(owned) << error;
    sim::SimulatedBoard& board = *owned;
    board.EnableTrace(true);
    ClaimGuardBus guard(std::move(owned), claims);
    test::RecordingHost host;
    DirectBackend backend(guard);
    PortAccess ports(backend, host);
    EXPECT_EQ(core::DetectMonitorChip(ports), 0);
    EXPECT_TRUE(host.messages.empty());

    const Touched touched = Scan(board.Trace(), row.hiddenFunctions);
    for (const auto& [first, last] : touched.ranges) {
      for (const PortClaim& c : claims)
        EXPECT_FALSE(first <= c.last && c.first <= last) << test::Hex(first);
    }
    EXPECT_FALSE(touched.hiddenFunctionRead);
  }
}

TEST(KernelDriverClaims, ResourceHoldersAreNoDrivers) {
  // The same boards with only buses, PnP, ACPI and PCI functions over their ports: found.
  const std::string holders =
      "0000-0cf7 : PCI Bus 0000:00\n  0290-029f : pnp 00:07\n  0295-0296 : ACPI EC\n"
      "0cf8-0cff : PCI conf1\n6000-607f : 0000:00:07.4\n  6000-607f : reserved\n"
      "0000-0000 : w83627hf\n";  // as read without CAP_SYS_ADMIN: every range hidden
  const std::string path = FakeIoports("holders", holders);
  EXPECT_EQ(ReadChipPortClaims(path), Claims{});
  for (const char* name : {"w83781d", "w83782d", "w83627hf", "sis5595", "via686a"}) {
    std::string error;
    auto board =
        sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + name + ".json", &error);
    ASSERT_TRUE(board) << error;
    ClaimGuardBus guard(std::move(board), ReadChipPortClaims(path));
    test::RecordingHost host;
    DirectBackend backend(guard);
    PortAccess ports(backend, host);
    EXPECT_NE(core::DetectMonitorChip(ports), 0) << name;
  }
  EXPECT_EQ(ReadChipPortClaims(testing::TempDir() + "/no-such-ioports"), Claims{});
}

TEST(KernelDriverClaims, OtherDriversElsewhereAndOverThePair) {
  const Claims claims = ChipPortClaims(
      ParseIoports("0060-0060 : keyboard\n0290-0297 : it87\n0378-037a : parport0\n"
                   "  0294-0295 : some_driver\n03f8-03ff : serial\n  d000-d07f : nct6775\n"));
  EXPECT_EQ(
      claims,
      (Claims{{0x290, 0x297, "it87"}, {0x294, 0x295, "some_driver"}, {0xd000, 0xd07f, "nct6775"}}));
}

TEST(KernelDriverClaims, TheMessageNamesDriverPortsAndRemedy) {
  EXPECT_EQ(DescribeClaim({0x295, 0x296, "w83627hf"}),
            "The kernel driver w83627hf owns the monitor chip's ports 0x295-0x296; Velmo leaves "
            "them alone. \"modprobe -r w83627hf\" (as root) frees them.");
}

}  // namespace
}  // namespace velmo::hw
