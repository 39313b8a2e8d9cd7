// mapmem: the helper service that hands the monitor a read-only copy of the BIOS identification
// window on the MAPMEM0 device.
#include <CLI/CLI.hpp>

#include "drivers/common/HelperMain.h"
#include "drivers/mapmem/MapMemDevice.h"
#include "drivers/mapmem/PhysicalMemoryBus.h"
#include "monitor/protocol/DriverProtocol.h"

int main(int argc, char** argv) {
  using namespace velmo::drivers;
  CLI::App app{"Velmo memory-mapping helper: serves the BIOS identification window on MAPMEM0"};
  std::string board, address, size;
  app.add_option("--board", board, "Serve this simulated board file instead of the real machine");
  int64_t idleExit = kDefaultIdleExit.count();
  app.add_option("--idle-exit", idleExit,
                 "Started by its socket: end after this many seconds without a client (0: never)")
      ->check(CLI::Range(int64_t{0}, int64_t{86400}));
  app.add_option("--device-address", address, "Physical address of the window (default 0xFECE0)")
      ->envname("MAPMEM_DEVICE_ADDRESS");
  app.add_option("--device-size", size, "Length of the window in bytes (default 0x20)")
      ->envname("MAPMEM_DEVICE_SIZE");
  CLI11_PARSE(app, argc, argv);

  const velmo::base::WarningSink log = StderrLog("mapmem");
  const velmo::base::Expected<MapMemWindow> window = MapMemWindow::FromSettings(address, size);
  if (!window) {
    log(window.error().message);
    return 2;
  }
  std::string error;
  // The real machine: physical memory only; this helper never touches a port.
  HelperBus bus;
  if (board.empty())
    bus.bus = std::make_unique<PhysicalMemoryBus>();
  else
    bus = LoadBoard(board, &error);
  if (!bus.bus) {
    log(error);
    return 1;
  }
  MapMemDevice device(*bus.bus, *window, log);
  // /dev/mem is opened for each first MAP of a connection.
  return ServeDevice(velmo::protocol::kMapMemDevice, device, board.empty(), log,
                     std::chrono::seconds(idleExit));
}
