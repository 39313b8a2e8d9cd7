#include "monitor/service/DriverService.h"

#include <thread>

namespace velmo::service {

namespace {

constexpr const char* kCaption = "Velmond";
constexpr int kStartPolls = 10;
constexpr std::chrono::milliseconds kPollInterval{1000};

}  // namespace

void RealSleeper::Sleep(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

bool StartDriverService(ServiceManager& manager, Sleeper& sleeper, hw::HwHost& host,
                        const std::string& name) {
  if (manager.Serving(name)) return true;
  if (!manager.Open()) {
    host.ShowMessage("Could not open Service Control Manager", kCaption);
    return false;
  }
  if (!manager.Exists(name) && !manager.Create(name)) {
    host.ShowMessage("Could not Create Service ", kCaption);
    return false;
  }
  if (manager.IsRunning(name)) return true;
  if (!manager.Start(name)) {
    host.ShowMessage("Could not start service.", kCaption);
    return false;
  }
  for (int poll = 0; poll < kStartPolls; ++poll) {
    sleeper.Sleep(kPollInterval);
    if (manager.IsRunning(name)) return true;
  }
  host.ShowMessage("Could not start Driver", kCaption);
  return false;
}

bool StartDriverServices(ServiceManager& manager, Sleeper& sleeper, hw::HwHost& host) {
  if (!StartDriverService(manager, sleeper, host, "portio")) {
    host.ShowMessage("Could not find the Velmo driver", kCaption);
    return false;
  }
  if (!StartDriverService(manager, sleeper, host, "mapmem")) {
    host.ShowMessage("Could not find the MapMem driver", kCaption);
    return false;
  }
  return true;
}

}  // namespace velmo::service
