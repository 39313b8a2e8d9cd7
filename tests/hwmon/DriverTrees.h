// One exported kernel tree per driver of the monitor chips (the shipped boards), with what
// libsensors and the ownership check are expected to make of it.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "monitor/hw/KernelPortClaims.h"
#include "monitor/hwmon/KernelChip.h"
#include "sim/KernelTree.h"
#include "sim/SimulatedBoard.h"

namespace velmo::test {

struct DriverTree {
  const char* board;  // boards/<board>.json
  sim::KernelTreeOptions options;
  hwmon::KernelChip chip;  // as libsensors finds it
  hw::PortClaim claim;
};

inline sim::KernelTreeOptions TreeOptions(bool i2c, unsigned index) {
  sim::KernelTreeOptions o;
  o.i2c = i2c;
  o.hwmonIndex = index;
  return o;
}

inline std::vector<DriverTree> DriverTrees() {
  using hwmon::BusKind;
  return {
      {"w83782d",
       TreeOptions(true, 0),
       {"w83782d-i2c-0-2d", "w83782d", BusKind::I2c, 0, 0x2d,
        "/sys/devices/pci0000:00/0000:00:07.3/i2c-0/0-002d"},
       {0x295, 0x296, "w83781d", "w83782d-i2c-0-2d"}},
      {"w83781d",
       TreeOptions(true, 4),
       {"w83781d-i2c-0-2d", "w83781d", BusKind::I2c, 0, 0x2d,
        "/sys/devices/pci0000:00/0000:00:07.3/i2c-0/0-002d"},
       {0x295, 0x296, "w83781d", "w83781d-i2c-0-2d"}},
      {"w83782d",
       TreeOptions(false, 1),
       {"w83782d-isa-0290", "w83782d", BusKind::Platform, 0, 0x290,
        "/sys/devices/platform/w83781d.656"},
       {0x295, 0x296, "w83781d", "w83782d-isa-0290"}},
      {"w83627hf",
       TreeOptions(true, 0),
       {"w83627hf-isa-0290", "w83627hf", BusKind::Platform, 0, 0x290,
        "/sys/devices/platform/w83627hf.656"},
       {0x295, 0x296, "w83627hf", "w83627hf-isa-0290"}},
      {"via686a",
       TreeOptions(true, 2),
       {"via686a-isa-6000", "via686a", BusKind::Platform, 0, 0x6000,
        "/sys/devices/platform/via686a.24576"},
       {0x6000, 0x607f, "via686a", "via686a-isa-6000"}},
      {"sis5595",
       TreeOptions(true, 0),
       {"sis5595-isa-0290", "sis5595", BusKind::Platform, 0, 0x290,
        "/sys/devices/platform/sis5595.656"},
       {0x295, 0x296, "sis5595", "sis5595-isa-0290"}},
  };
}

inline std::string BoardPath(const std::string& board) {
  return std::string(VELMO_BOARD_DIR) + "/" + board + ".json";
}

// Exports a shipped board's tree under a fresh folder named for the test and `tag` (ctest may
// run the tests side by side).
inline std::filesystem::path ExportTree(const std::string& board,
                                        const sim::KernelTreeOptions& options,
                                        const std::string& tag) {
  std::string error;
  auto b = sim::SimulatedBoard::Load(BoardPath(board), &error);
  if (!b) throw std::runtime_error(error);
  const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::filesystem::path root =
      std::filesystem::path(testing::TempDir()) /
      ("hwmon-" + test + "-" + tag + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(root);
  sim::ExportKernelTree(*b, root, options);
  return root;
}

// One line per chip, every field, for comparisons made in the parent.
inline std::string Describe(const hwmon::KernelChip& c) {
  return c.name + " " + c.prefix + " " + std::to_string(static_cast<int>(c.bus)) + " " +
         std::to_string(c.busNumber) + " " + std::to_string(c.address) + " " + c.path.string() +
         "\n";
}

inline std::string Describe(const std::vector<hwmon::KernelChip>& chips) {
  std::string text;
  for (const hwmon::KernelChip& c : chips)
    text += Describe(c);
  return text;
}

}  // namespace velmo::test
