// The failures of a driver's tree between the frame's ticks, on the board's exported tree: the
// device renumbered and its readings changed, an attribute that vanishes, the whole device gone.
// The monitor runs on through all of them and shows fresh readings once the device is back.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "monitor/core/FrameHost.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "monitor/hwmon/KernelSource.h"
#include "sim/KernelTree.h"
#include "sim/SimulatedBoard.h"
#include "tests/hwmon/KernelTreeRuns.h"

namespace velmo::hwmon {
namespace {

TEST(ExportedTreeFailures, TheFrameCarriesOnAndReadsTheDeviceAgainWhereverItComesBack) {
  test::Workspace ws("failures");
  const auto root = ws.dir / "tree";
  std::string error;
  auto board = sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/w83627hf.json", &error);
  ASSERT_TRUE(board) << error;
  sim::KernelTreeOptions options;
  options.hwmonIndex = 1;
  sim::ExportKernelTree(*board, root, options);
  const auto device = FindKernelChips(root);
  ASSERT_EQ(device.size(), 1u);
  const std::filesystem::path attributes = root / sim::KernelDevicePath(*board, options);

  hw::DirectBackend direct(*board);
  std::vector<std::string> lines;
  KernelSource kernel = MakeKernelSource(
      direct, device[0], [&lines](const std::string& l) { lines.push_back(l); }, root);
  core::NullFrameHost host;
  hw::PortAccess ports(*kernel.backend, host);
  core::MonitorState state;
  core::MemoryRegistry registry;
  core::CMainFrame frame(state, ports, registry, host, core::UninstallPaths{});
  ASSERT_EQ(frame.OnCreate(), 0);
  const int32_t v5 = state[core::V5].value;
  ASSERT_GT(v5, 4000);

  // An attribute vanishes (a driver that stops offering it): that channel alone fails.
  std::filesystem::remove(attributes / "in3_input");
  frame.OnTimer();
  EXPECT_EQ(state[core::V5].value, 0);
  EXPECT_GT(state[core::V12].value, 10000);

  // The whole device gone, ticks go on without readings.
  std::filesystem::remove_all(root / "sys");
  for (int i = 0; i < 3; ++i) {
    frame.OnTimer();
    EXPECT_EQ(state[core::V12].value, 0);
    EXPECT_EQ(state[core::SYSTEMP].value, 0);
  }
  EXPECT_FALSE(frame.Destroyed());

  // Back as hwmon5 with a new +5 V reading: the next tick shows it.
  board->PokeRegister(0, 0x23, 190);
  options.hwmonIndex = 5;
  sim::ExportKernelTree(*board, root, options);
  frame.OnTimer();
  EXPECT_EQ(state[core::V5].value, (169 * 190 * 16) / 100);
  EXPECT_GT(state[core::V12].value, 10000);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("hwmon5"), std::string::npos);
}

}  // namespace
}  // namespace velmo::hwmon
