// Which service manager brings the helpers up on this machine.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "monitor/service/DriverService.h"

namespace velmo::service {

// systemd when it runs (/run/systemd/system exists) and `helperArgs` is empty (the real
// machine); otherwise the spawning manager with `helperArgs`.
std::unique_ptr<ServiceManager> MakeServiceManager(const std::vector<std::string>& helperArgs);

}  // namespace velmo::service
