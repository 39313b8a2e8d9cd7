// The start-up rule of the portio and mapmem helper services before the monitor uses them, over a
// service manager: systemd where it runs (SystemdServiceManager.h), else spawned programs
// (SpawnServiceManager.h).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "monitor/hw/HwHost.h"

namespace velmo::service {

// The service manager as the start-up sees it. Service names are "portio" and "mapmem".
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // True when the service's device accepts a connection now: then it exists and runs, wherever
  // its program lives and whoever started it.
  virtual bool Serving(const std::string& name) = 0;
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
// starting it; a service already serving its device needs nothing more. On failure shows one of
// "Could not open Service Control Manager", "Could not Create Service ", "Could not start service."
// or "Could not start Driver" (caption "Velmond") and returns false.
bool StartDriverService(ServiceManager& manager, Sleeper& sleeper, hw::HwHost& host,
                        const std::string& name);

// "portio", then "mapmem"; a failure adds "Could not find the Velmo driver" or "Could not find
// the MapMem driver" and stops there (mapmem is not tried after portio failed).
bool StartDriverServices(ServiceManager& manager, Sleeper& sleeper, hw::HwHost& host);

}  // namespace velmo::service
