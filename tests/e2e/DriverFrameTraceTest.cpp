// The port accesses of the frame's whole life in driver mode, as the board served by the portio
// program sees them, against golden traces: creation, one tick and the restart action, on every
// shipped board. The helpers are the real programs on a temporary device directory; the trace
// is the board's own trace file, from the moment both helpers serve. VELMO_UPDATE_GOLDEN=1
// rewrites the files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DriverBackend.h"
#include "monitor/hw/PortAccess.h"
#include "tests/support/HelperRig.h"
#include "tests/support/RecordingFrameHost.h"

namespace velmo::core {
namespace {

const std::string kPortio = std::string(VELMO_BINARY_DIR) + "/drivers/portio/portio";
const std::string kMapmem = std::string(VELMO_BINARY_DIR) + "/drivers/mapmem/mapmem";

// The shipped board with a trace file of its own, for both helpers.
std::string BoardWithTrace(const test::TempDir& dir, const std::string& name,
                           const std::string& tracePath) {
  std::ifstream in(std::string(VELMO_BOARD_DIR) + "/" + name + ".json");
  nlohmann::json board = nlohmann::json::parse(in, nullptr, true, /*ignore_comments=*/true);
  board["trace"] = tracePath;
  return dir.Write(name + ".json", board.dump());
}

TEST(DriverFrameTrace, CreationTickAndRestartOnEveryShippedBoard) {
  const bool update = std::getenv("VELMO_UPDATE_GOLDEN") != nullptr;
  for (const char* name :
       {"demo", "w83781d", "w83781d-model3", "w83782d", "w83627hf", "sis5595", "via686a"}) {
    SCOPED_TRACE(name);
    test::TempDir dir;
    test::DeviceDirScope scope(dir.Path());
    const std::string tracePath = dir.File("ports.log");
    const std::string board = BoardWithTrace(dir, name, tracePath);
    test::HelperProcess portio(kPortio, {"--board", board}, dir.Path(), dir.File("portio.log"));
    test::HelperProcess mapmem(kMapmem, {"--board", board}, dir.Path(), dir.File("mapmem.log"));
    ASSERT_TRUE(portio.WaitReady(protocol::kPortIoDevice));
    ASSERT_TRUE(mapmem.WaitReady(protocol::kMapMemDevice));
    // What portio read for itself at start (the VIA block probe) is not the monitor's.
    const size_t start = test::ReadText(tracePath).size();

    test::RecordingFrameHost host;
    hw::DriverBackend backend;
    hw::PortAccess ports(backend, host);
    MemoryRegistry registry;
    // Settings of another chip: the load selects the profile a second time.
    registry.model.OpenKey("HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10")
        .Set({"HmType", REG_BINARY, {0x63, 0, 0, 0}});
    MonitorState state;
    UninstallPaths paths;
    paths.programPath = "/nonexistent/velmond";
    CMainFrame frame(state, ports, registry, host, paths);
    ASSERT_EQ(frame.OnCreate(), 0);
    frame.OnTimer();
    frame.OnAlarmAction(3);  // restart: the trip limits, then the exit path
    EXPECT_EQ(host.Lines("message:"), std::vector<std::string>{});

    const std::string trace = test::ReadText(tracePath).substr(start);
    const std::string golden =
        std::string(VELMO_TEST_DATA_DIR) + "/frame/driver/" + name + ".trace";
    if (update) std::ofstream(golden) << trace;
    EXPECT_EQ(trace, test::ReadText(golden));
  }
}

}  // namespace
}  // namespace velmo::core
