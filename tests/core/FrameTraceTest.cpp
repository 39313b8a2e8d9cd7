// The port accesses of the frame's whole life on every shipped board, against golden traces:
// creation (identification, profile selection, a load that finds another chip's settings and
// selects the profile again, the first acquisition), one tick, and the restart action with its
// trip-limit writes. VELMO_UPDATE_GOLDEN=1 rewrites the files.
#include <gtest/gtest.h>

#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/Golden.h"
#include "tests/support/RecordingFrameHost.h"

namespace velmo::core {
namespace {

TEST(FrameTrace, CreationTickAndRestartOnEveryShippedBoard) {
  for (const char* name :
       {"demo", "w83781d", "w83781d-model3", "w83782d", "w83627hf", "sis5595", "via686a"}) {
    SCOPED_TRACE(name);
    std::string error;
    auto board =
        sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + name + ".json", &error);
    ASSERT_TRUE(board) << error;
    test::RecordingFrameHost host;
    hw::DirectBackend backend(*board);
    hw::PortAccess ports(backend, host);
    MemoryRegistry registry;
    // Settings of another chip: the load selects the profile a second time.
    registry.model.OpenKey("HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10")
        .Set({"HmType", REG_BINARY, {0x63, 0, 0, 0}});
    MonitorState state;
    UninstallPaths paths;
    paths.programPath = "/nonexistent/velmond";
    CMainFrame frame(state, ports, registry, host, paths);
    board->EnableTrace(true);
    ASSERT_EQ(frame.OnCreate(), 0);
    frame.OnTimer();
    frame.OnAlarmAction(3);  // restart: the trip limits, then the exit path
    std::string trace;
    for (const std::string& line : board->Trace())
      trace += line + "\n";
    test::ExpectGolden(std::string(VELMO_TEST_DATA_DIR) + "/frame/" + name + ".trace", trace);
  }
}

}  // namespace
}  // namespace velmo::core
