// What the setup writes and what the monitor's uninstall deletes agree: the uninstall of a
// monitor started for the user removes exactly the autostart entry and the program's files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "setup/install/SetupSteps.h"
#include "sim/SimulatedBoard.h"
#include "tests/setup/SetupRig.h"
#include "tests/support/EnvScope.h"
#include "tests/support/RecordingFrameHost.h"

namespace velmo::setup {
namespace {

// A board the monitor identifies, so that the frame is created.
const char* kBoard = R"({"bios_id": "7K4XRQB8", "chip": "w83782d"})";

TEST(UninstallAgreement, UninstallRemovesExactlyTheEntryAndTheProgramTheSetupWrote) {
  test::SetupRig rig;
  RunInstallation(rig.Context());
  const test::Tree installed = test::Snapshot(rig.dir.Path());
  ASSERT_TRUE(installed.count("/root/bin/velmond"));
  ASSERT_TRUE(installed.count("/root/lib/velmo/velmond-gui"));
  ASSERT_TRUE(installed.count("/config/autostart/velmond.desktop"));

  // The monitor as the autostart entry starts it: the user's environment, the setup's prefix.
  const test::EnvScope env({{"XDG_CONFIG_HOME", rig.dir / "config"},
                            {"HOME", rig.dir / "home"},
                            {"VELMO_PREFIX", rig.Root()}});
  std::string error;
  auto board = sim::SimulatedBoard::Parse(kBoard, "board.json", &error);
  ASSERT_TRUE(board) << error;
  test::RecordingFrameHost host;
  hw::DirectBackend backend(*board);
  hw::PortAccess ports(backend, host);
  core::MemoryRegistry registry;
  core::MonitorState state;
  core::CMainFrame frame(state, ports, registry, host, core::UninstallPaths::FromEnvironment());
  ASSERT_EQ(frame.OnCreate(), 0);
  host.answers = {true};
  frame.OnCommand(core::kCmdUninstall);

  EXPECT_EQ(host.Lines("message"),
            std::vector<std::string>{"message:Velmond:Velmo has been uninstalled!"});
  test::Tree expected = installed;
  expected.erase("/root/bin/velmond");
  expected.erase("/root/lib/velmo/velmond-gui");
  expected.erase("/config/autostart/velmond.desktop");
  EXPECT_EQ(test::Paths(test::Snapshot(rig.dir.Path())), test::Paths(expected));
}

}  // namespace
}  // namespace velmo::setup
