// Start-up of the portio and mapmem helper services before the monitor uses them: through
// systemd where it runs, else by spawning the helper programs as detached processes.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "monitor/hw/HwHost.h"

namespace velmo::hw {

// The service manager as the start-up sees it. Service names are "portio" and "mapmem".
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Reaches the manager; false when it cannot be used at all.
  virtual bool Open() = 0;
  virtual bool Exists(const std::string& name) = 0;
  // Registers a missing service (started automatically from then on); false when it cannot.
  virtual bool Create(const std::string& name) = 0;
  virtual bool IsRunning(const std::string& name) = 0;
  // Asks for the service to start; false when the request itself fails.
  virtual bool Start(const std::string& name) = 0;
};

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

class RealSleeper : public Sleeper {
 public:
  void Sleep(std::chrono::milliseconds duration) override;
};

// Makes sure the service `name` exists and runs, waiting up to ten polls one second apart after
// starting it. On failure shows one of "Could not open Service Control Manager", "Could not
// Create Service ", "Could not start service." or "Could not start Driver" (caption "Velmond")
// and returns false.
bool StartDriverService(ServiceManager& manager, Sleeper& sleeper, HwHost& host,
                        const std::string& name);

// "portio", then "mapmem"; a failure adds "Could not find the Velmo driver" or "Could not find
// the MapMem driver" and stops there (mapmem is not tried after portio failed).
bool StartDriverServices(ServiceManager& manager, Sleeper& sleeper, HwHost& host);

// The directories searched for the helper programs, in order: those of VELMO_HELPER_DIR
// (colon-separated), the monitor's own directory,
// <its directory>/../lib/velmo/drivers, /usr/local/lib/velmo/drivers.
std::vector<std::string> DefaultHelperDirs();
// The first executable `name` in `dirs`; empty when none.
std::string FindHelper(const std::string& name, const std::vector<std::string>& dirs);
// The device (socket) name a helper service serves: PortIo for portio, MAPMEM0 for mapmem.
const char* DeviceOfService(const std::string& name);

// The systemd unit of a helper service running `program`.
std::string UnitFileText(const std::string& name, const std::string& program);

// systemd through systemctl: is-active, start, show; a missing unit is written to `unitDir`
// (root only), followed by daemon-reload and enable.
class SystemdServiceManager : public ServiceManager {
 public:
  explicit SystemdServiceManager(std::string systemctl = "systemctl",
                                 std::string unitDir = "/etc/systemd/system",
                                 std::vector<std::string> helperDirs = DefaultHelperDirs());
  bool Open() override;
  bool Exists(const std::string& name) override;
  bool Create(const std::string& name) override;
  bool IsRunning(const std::string& name) override;
  bool Start(const std::string& name) override;

 private:
  std::string systemctl_;
  std::string unitDir_;
  std::vector<std::string> helperDirs_;
};

// No service manager: a service exists when its program is found, runs when its socket accepts
// a connection, and starts as a detached process (its own session, re-parented to init) given
// `helperArgs` (for instance {"--board", FILE}). Its standard error goes to <device
// dir>/<name>.log.
class SpawnServiceManager : public ServiceManager {
 public:
  explicit SpawnServiceManager(std::vector<std::string> helperArgs = {},
                               std::vector<std::string> helperDirs = DefaultHelperDirs());
  bool Open() override { return true; }
  bool Exists(const std::string& name) override;
  bool Create(const std::string&) override { return false; }  // nothing to register with
  bool IsRunning(const std::string& name) override;
  bool Start(const std::string& name) override;

 private:
  std::vector<std::string> helperArgs_;
  std::vector<std::string> helperDirs_;
};

// systemd when it runs (/run/systemd/system exists) and `helperArgs` is empty (the real
// machine); otherwise the spawning manager with `helperArgs`.
std::unique_ptr<ServiceManager> MakeServiceManager(const std::vector<std::string>& helperArgs);

}  // namespace velmo::hw
