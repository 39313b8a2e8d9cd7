#include "monitor/service/ServiceManagerChoice.h"

#include <filesystem>

#include "monitor/service/SpawnServiceManager.h"
#include "monitor/service/SystemdServiceManager.h"

namespace velmo::service {

std::unique_ptr<ServiceManager> MakeServiceManager(const std::vector<std::string>& helperArgs) {
  std::error_code ec;
  if (helperArgs.empty() && std::filesystem::is_directory("/run/systemd/system", ec))
    return std::make_unique<SystemdServiceManager>();
  return std::make_unique<SpawnServiceManager>(helperArgs);
}

}  // namespace velmo::service
