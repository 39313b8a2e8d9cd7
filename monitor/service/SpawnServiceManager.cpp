#include "monitor/service/SpawnServiceManager.h"

#include <filesystem>

#include "monitor/base/Subprocess.h"
#include "monitor/hw/DriverBackend.h"
#include "monitor/protocol/DriverProtocol.h"

namespace velmo::service {

SpawnServiceManager::SpawnServiceManager(std::vector<std::string> helperArgs,
                                         std::vector<std::string> helperDirs)
    : helperArgs_(std::move(helperArgs)), helperDirs_(std::move(helperDirs)) {}

bool SpawnServiceManager::Exists(const std::string& name) {
  return !FindHelper(name, helperDirs_).empty();
}

bool SpawnServiceManager::IsRunning(const std::string& name) {
  return ServiceDeviceAnswers(name);
}

bool SpawnServiceManager::Start(const std::string& name) {
  const std::string program = FindHelper(name, helperDirs_);
  if (program.empty()) return false;
  std::vector<std::string> args = {program};
  args.insert(args.end(), helperArgs_.begin(), helperArgs_.end());
  const std::string dir = protocol::DeviceDir();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return base::SpawnDetached(std::move(args), dir + "/" + name + ".log").has_value();
}

}  // namespace velmo::service
