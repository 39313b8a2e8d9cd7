// The program put together, once for both hosts: the single-instance lock, the hardware back-end
// (the helper services first when it is the driver), the ports, the settings file, and the
// monitoring core over them (state, frame, extensions).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "monitor/app/MonitorStartup.h"
#include "monitor/app/Options.h"
#include "monitor/core/AlarmCommands.h"
#include "monitor/core/InstanceLock.h"

namespace velmo::core {
class KernelSensorSource;
class Monitor;
class RegistryFile;
}  // namespace velmo::core
namespace velmo::hw {
class PortAccess;
}

namespace velmo::app {

class ProgramHost;

class MonitorAssembly {
 public:
  // Why the program could not be put together.
  struct Failure {
    int exitCode;
    // The lock or the helper services: the headless stream ends with an exit event.
    bool exitEvent;
  };

  MonitorAssembly();
  ~MonitorAssembly();
  MonitorAssembly(const MonitorAssembly&) = delete;
  MonitorAssembly& operator=(const MonitorAssembly&) = delete;

  // `host` outlives the assembly. nullopt when the monitor is ready for its frame's creation.
  std::optional<Failure> Assemble(const Options& options, ProgramHost& host);

  core::Monitor& Monitor() { return *monitor_; }
  // Advances a simulated board's clock by whole seconds; empty on the real machine.
  const std::function<void(uint32_t)>& AdvanceClock() const { return hardware_.advanceClock; }

 private:
  core::InstanceLock lock_;
  MonitorBackend hardware_;
  std::unique_ptr<hw::PortAccess> ports_;
  std::unique_ptr<core::RegistryFile> registry_;
  core::DetachedLauncher launcher_;
  std::unique_ptr<core::KernelSensorSource> kernelSensors_;
  std::unique_ptr<core::Monitor> monitor_;
};

}  // namespace velmo::app
