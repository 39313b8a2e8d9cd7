// The start-up both hosts share before the frame exists: the single-instance lock, then the
// hardware back-end (the helper services started first when it is the driver).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "monitor/app/Velmond.h"

namespace velmo::core {
class InstanceLock;
}
namespace velmo::hw {
class HwHost;
class ClaimGuardBus;
class PortBackend;
}  // namespace velmo::hw
namespace velmo::sim {
class SimulatedBoard;
}
namespace velmo::hwmon {
class AttributeFiles;
class SensorsLibrary;
}  // namespace velmo::hwmon

namespace velmo::app {

// Takes the single-instance lock; false when another instance holds it (after the host has shown
// "Velmo has been running !") or when the lock cannot be taken at all (said on standard error).
bool AcquireInstanceLock(core::InstanceLock& lock, hw::HwHost& host);

// The hardware the frame talks to, and what keeps it alive.
struct MonitorBackend {
  MonitorBackend();
  ~MonitorBackend();
  MonitorBackend(MonitorBackend&&) noexcept;
  MonitorBackend& operator=(MonitorBackend&&) noexcept;

  std::unique_ptr<sim::SimulatedBoard> board;
  std::unique_ptr<hw::ClaimGuardBus> realBus;
  // With a kernel driver keeping the chip: the back-end underneath the kernel source (PCI and
  // BIOS), and the driver's files.
  std::unique_ptr<hw::PortBackend> underneath;
  std::unique_ptr<hwmon::AttributeFiles> attributeFiles;
  std::unique_ptr<hw::PortBackend> backend;
  // Which source reads the chip, for the programs to say: "the ports", "the portio helper",
  // or the kernel driver's device.
  std::string source;
  // The machine's hwmon belongs to this run (the real machine, or a board file that says so):
  // without a chip the monitor may run on the kernel's sensors.
  bool machineHwmon = false;
  // libsensors as started to look for a kernel-kept chip; kept, where none is, for the kernel's
  // sensors (starting it is most of a one-shot run's cost).
  std::unique_ptr<hwmon::SensorsLibrary> sensors;
  // Advances a simulated board's clock by whole seconds; empty on the real machine.
  std::function<void(uint32_t)> advanceClock;
};

enum class BackendStatus {
  kOpen,
  kServicesFailed,    // the helper services could not be started; the host has said why
  kBoardUnreadable,   // the board file cannot be read (said on standard error)
  kPortsUnavailable,  // this machine's ports cannot be opened (said on standard error)
};
// The process exit code for a status other than kOpen.
int ExitCodeOf(BackendStatus status);

// The back-end: the helper services unless this process may touch the ports itself (a simulated
// board in this process counts as such); --direct and --driver decide outright.
BackendStatus OpenBackend(const Options& options, hw::HwHost& host, MonitorBackend& out);

}  // namespace velmo::app
