// What the portio and mapmem programs share around their device logic: the bus they serve,
// logging to standard error (the journal), readiness notification and the serve-until-SIGTERM loop.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "drivers/common/DeviceServer.h"
#include "monitor/base/Warning.h"
#include "monitor/hw/Bus.h"

namespace velmo::sim {
class SimulatedBoard;
}

namespace velmo::drivers {

struct HelperBus {
  std::unique_ptr<hw::Bus> bus;
  sim::SimulatedBoard* board = nullptr;  // the same object when a board file is served
};

// The simulated board in the file `boardPath`. A null bus and `error` set when it cannot be read.
// A board with "hwmon": true is served behind a hw::ClaimGuardBus of the machine's hwmon owners.
HelperBus LoadBoard(const std::string& boardPath, std::string* error);

// Writes "<program>: <text>" lines to standard error.
base::WarningSink StderrLog(const std::string& program);

// Tells systemd (NOTIFY_SOCKET, Type=notify) that the service is ready; no-op without it.
void NotifyReady();

// Drops every capability but CAP_SYS_RAWIO (and that too unless `keepRawIo`). False when the
// kernel refuses.
bool DropCapabilities(bool keepRawIo);

// How long a helper started by its socket waits for a client before it ends (systemd starts it
// again at the next connection).
inline constexpr std::chrono::seconds kDefaultIdleExit{60};

// Serves the device `device` of the device directory: on the listening socket systemd passed
// (socket activation), else on a socket of its own. Drops the capabilities that setting it up
// needed (keeping CAP_SYS_RAWIO when `keepRawIo`) and serves `handler` until SIGTERM or SIGINT,
// or, on a passed socket and with a positive `idleExit`, until no client has been connected for
// that long. Returns the process exit code: 0 after a signal or when idle, 1 when the device
// cannot be set up.
int ServeDevice(const char* device, RequestHandler& handler, bool keepRawIo,
                const base::WarningSink& log, std::chrono::seconds idleExit = kDefaultIdleExit);

}  // namespace velmo::drivers
