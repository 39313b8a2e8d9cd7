// portio: the helper service that serves I/O-port requests of the monitor on the PortIo device.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "drivers/common/HelperMain.h"
#include "drivers/portio/PortIoDevice.h"
#include "monitor/hw/LinuxBus.h"
#include "monitor/protocol/DriverProtocol.h"
#include "sim/SimulatedBoard.h"

int main(int argc, char** argv) {
  using namespace velmo::drivers;
  CLI::App app{"Velmo port I/O helper: serves the monitor's port requests on the PortIo device"};
  std::string board;
  app.add_option("--board", board, "Serve this simulated board file instead of the real machine");
  int64_t idleExit = kDefaultIdleExit.count();
  app.add_option("--idle-exit", idleExit,
                 "Started by its socket: end after this many seconds without a client (0: never)")
      ->check(CLI::Range(int64_t{0}, int64_t{86400}));
  CLI11_PARSE(app, argc, argv);

  const velmo::base::WarningSink log = StderrLog("portio");
  std::string error;
  HelperBus bus;
  if (board.empty()) {
    if (auto machine = velmo::hw::OpenMachineBus(&error)) {
      // A kernel driver that owns the chip keeps it: its ports are served as absent ones.
      if (!machine->Kernel().reason.empty()) log(machine->Kernel().reason);
      for (const velmo::hw::PortClaim& claim : machine->Claims())
        log(velmo::hw::DescribeClaim(claim));
      bus.bus = std::move(machine);
    }
  } else {
    bus = LoadBoard(board, &error);
    if (auto* guard = dynamic_cast<velmo::hw::ClaimGuardBus*>(bus.bus.get())) {
      for (const velmo::hw::PortClaim& claim : guard->Claims())
        log(velmo::hw::DescribeClaim(claim));
    }
  }
  if (!bus.bus) {
    log(error);
    return 1;
  }
  const uint16_t viaBase = PortAllowList::ProbeViaBase(*bus.bus);
  PortAllowList allow = PortAllowList::ForMonitor(viaBase);
  if (viaBase) {
    const bool taken = allow.Names(viaBase);
    char text[96];
    std::snprintf(text, sizeof text, "VIA 686A monitor block at 0x%x %s", viaBase,
                  taken ? "allowed" : "refused: it would cover other ports");
    log(text);
  }
  PortIoDevice::AdvanceClock advance;
  if (bus.board) advance = [board = bus.board](uint32_t seconds) { board->Advance(seconds); };
  PortIoDevice device(*bus.bus, std::move(allow), advance);
  // iopl or /dev/port is already in hand: nothing privileged is needed any more.
  return ServeDevice(velmo::protocol::kPortIoDevice, device, false, log,
                     std::chrono::seconds(idleExit));
}
