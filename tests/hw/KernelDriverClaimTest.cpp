// A kernel driver that owns the monitor chip: the claims read from a /proc/ioports file, the
// message, and identification on a board behind the guard, which touches nothing claimed and
// finds no chip. (The guard stands here in front of simulated boards; the programs put it only
// in front of the real machine.)
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

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
  // Only freeing a known chip's ports is worth a message box: a kin's chip stays the kernel's.
  for (const char* driver : {"w83781d", "w83627hf", "via686a", "sis5595"})
    EXPECT_TRUE(ClaimedByMonitorChipDriver({0x295, 0x296, driver})) << driver;
  for (const char* driver : {"nct6775", "it87", "w83627ehf", "lm78", ""})
    EXPECT_FALSE(ClaimedByMonitorChipDriver({0x295, 0x296, driver})) << driver;
}

// A sysfs tree as a fixture: drivers with a bound device, hwmon devices with their names.
std::string FakeSys(const std::string& name, const std::vector<std::string>& boundDrivers,
                    const std::vector<std::string>& hwmonNames) {
  namespace fs = std::filesystem;
  const std::string sys = testing::TempDir() + "/sys-" + name;
  fs::remove_all(sys);
  for (const char* bus : {"platform", "isa", "pci"})
    fs::create_directories(sys + "/bus/" + bus + "/drivers");
  fs::create_directories(sys + "/class/hwmon");
  fs::create_directories(sys + "/bus/platform/drivers/coretemp");  // loaded, bound to nothing
  for (const std::string& entry : boundDrivers) {                  // "bus/driver"
    const std::string dir = sys + "/bus/" + entry.substr(0, entry.find('/')) + "/drivers/" +
                            entry.substr(entry.find('/') + 1);
    fs::create_directories(dir);
    fs::create_directory_symlink("../../../../devices/platform/" + entry + ".656",
                                 dir + "/dev.656");
    std::ofstream(dir + "/uevent") << "";
  }
  for (size_t i = 0; i < hwmonNames.size(); ++i) {
    const std::string dir = sys + "/class/hwmon/hwmon" + std::to_string(i);
    fs::create_directories(dir);
    std::ofstream(dir + "/name") << hwmonNames[i] << "\n";
  }
  return sys;
}

// Runs identification on `board` behind a guard built from `claims`: the chip code found, and
// whether any access touched 0x295/0x296.
std::pair<int, bool> IdentifyBehind(const std::string& board, const KernelClaims& claims) {
  std::string error;
  auto owned =
      sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + board + ".json", &error);
  if (!owned) return {-1, true};
  sim::SimulatedBoard& sim = *owned;
  sim.EnableTrace(true);
  ClaimGuardBus guard(std::move(owned), claims);
  test::RecordingHost host;
  DirectBackend backend(guard);
  PortAccess ports(backend, host);
  const int chip = core::DetectMonitorChip(ports);
  bool pair = false;
  for (const auto& [first, last] : Scan(sim.Trace(), {}).ranges)
    pair = pair || (first <= 0x296 && 0x295 <= last);
  return {chip, pair};
}

// The helper units hide /proc/ioports (ProcSubset=pid) or show it zeroed (no CAP_SYS_ADMIN):
// the claims then come from the drivers bound under /sys, the hidden table is said, and with
// nothing readable at all the chip is left alone.
TEST(KernelDriverClaims, UnderTheHelpersSandboxSysfsTellsAndNothingKnownFailsClosed) {
  using State = KernelClaims::State;
  const std::string zeroed = FakeIoports(
      "zeroed", "0000-0000 : PCI Bus 0000:00\n  0000-0000 : dma1\n  0000-0000 : w83627hf\n");
  const std::string hidden = testing::TempDir() + "/no-such-ioports";
  struct Row {
    const char* what;
    std::string ioports;
    std::string sys;
    State state;
    std::vector<std::string> drivers;
    const char* reason;  // part of it; "" for none
    const char* board;
    bool chipFound;
  };
  const Row rows[] = {
      {"hidden table, driver bound on the platform bus",
       hidden,
       FakeSys("platform", {"platform/w83627hf"}, {}),
       State::kOwned,
       {"w83627hf"},
       "cannot be read here",
       "w83627hf",
       false},
      {"zeroed table, a hwmon device of the it87 family",
       zeroed,
       FakeSys("hwmon", {}, {"acpitz", "it8712"}),
       State::kOwned,
       {"it8712"},
       "every range as 0000-0000",
       "w83782d",
       false},
      {"zeroed table, the VIA driver bound on PCI",
       zeroed,
       FakeSys("via", {"pci/via686a"}, {}),
       State::kOwned,
       {"via686a"},
       "0000-0000",
       "via686a",
       false},
      {"zeroed table, no chip driver",
       zeroed,
       FakeSys("none", {}, {"coretemp", "nvme"}),
       State::kFree,
       {},
       "drivers bound under",
       "w83782d",
       true},
      {"nothing readable",
       zeroed,
       testing::TempDir() + "/no-such-sys",
       State::kUnknown,
       {},
       "left alone",
       "w83627hf",
       false},
      {"nothing readable, SiS",
       hidden,
       testing::TempDir() + "/no-such-sys",
       State::kUnknown,
       {},
       "left alone",
       "sis5595",
       false},
      {"nothing readable, VIA",
       hidden,
       testing::TempDir() + "/no-such-sys",
       State::kUnknown,
       {},
       "left alone",
       "via686a",
       false},
      {"one port of the pair claimed",
       FakeIoports("one-port", "0296-0296 : some_driver\n"),
       FakeSys("one-port", {}, {}),
       State::kOwned,
       {"some_driver"},
       "",
       "w83627hf",
       false},
      {"a visible table without claims",
       FakeIoports("free", "0060-0060 : keyboard\n"),
       FakeSys("free", {}, {}),
       State::kFree,
       {},
       "",
       "w83782d",
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const KernelClaims claims = ReadKernelClaims({row.ioports, row.sys});
    EXPECT_EQ(claims.state, row.state);
    std::vector<std::string> drivers;
    for (const PortClaim& c : claims.claims)
      drivers.push_back(c.driver);
    EXPECT_EQ(drivers, row.drivers);
    if (*row.reason) {
      EXPECT_NE(claims.reason.find(row.reason), std::string::npos) << claims.reason;
    } else {
      EXPECT_EQ(claims.reason, "");
    }
    const auto [chip, pairTouched] = IdentifyBehind(row.board, claims);
    EXPECT_EQ(chip != 0, row.chipFound);
    if (!row.chipFound && std::string(row.board) != "via686a") {
      EXPECT_FALSE(pairTouched);
    }
  }
}

// The same under the real paths, in a private mount namespace where /proc/ioports is zeroed and
// /sys shows a bound w83627hf driver, as the shipped units see the machine.
TEST(KernelDriverClaims, TheRealPathsInAPrivateMountNamespace) {
  ASSERT_EQ(::geteuid(), 0u) << "needs a private mount namespace: run as root";
  const std::string zeroed = FakeIoports("ns-zeroed", "0000-0000 : w83627hf\n");
  const std::string sys = FakeSys("ns", {"platform/w83627hf"}, {});
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
      ::_exit(10);
    if (::mount(zeroed.c_str(), kIoportsPath, nullptr, MS_BIND, nullptr) != 0) ::_exit(11);
    if (::mount(sys.c_str(), "/sys", nullptr, MS_BIND, nullptr) != 0) ::_exit(12);
    const KernelClaims claims = ReadKernelClaims();
    const bool ok = claims.state == KernelClaims::State::kOwned && claims.claims.size() == 1 &&
                    claims.claims[0].driver == "w83627hf" &&
                    claims.reason.find("/proc/ioports shows every range as 0000-0000") == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10-12: the namespace could not be set up";
}

TEST(KernelDriverClaims, ANulInADriverNameDoesNotCutTheLine) {
  const std::string line = DescribeClaim({0x295, 0x296, std::string("w83\0evil\n", 9)});
  EXPECT_EQ(line.find('\0'), std::string::npos);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_NE(line.find("w83\\x00evil\\x0a owns"), std::string::npos) << line;
  EXPECT_NE(line.find("frees them."), std::string::npos);
}

}  // namespace
}  // namespace velmo::hw
