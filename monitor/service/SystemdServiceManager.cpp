#include "monitor/service/SystemdServiceManager.h"

#include <unistd.h>

#include "monitor/base/AtomicFile.h"
#include "monitor/base/Subprocess.h"
#include "monitor/base/Text.h"
#include "monitor/service/HelperUnit.h"

namespace velmo::service {

namespace {

std::string Unit(const std::string& name) {
  return name + ".service";
}

}  // namespace

SystemdServiceManager::SystemdServiceManager(std::string systemctl, std::string unitDir,
                                             std::vector<std::string> helperDirs)
    : systemctl_(std::move(systemctl)),
      unitDir_(std::move(unitDir)),
      helperDirs_(std::move(helperDirs)) {}

bool SystemdServiceManager::Open() {
  // Answered by the manager itself over D-Bus: fails where systemd does not run.
  std::string version;
  return base::RunCommand({systemctl_, "show", "--property=Version", "--value"}, &version) == 0 &&
         !base::Trim(version, " \n").empty();
}

bool SystemdServiceManager::Exists(const std::string& name) {
  std::string state;
  return base::RunCommand({systemctl_, "show", "--property=LoadState", "--value", Unit(name)},
                          &state) == 0 &&
         base::Trim(state, " \n") == "loaded";
}

bool SystemdServiceManager::Create(const std::string& name) {
  if (::geteuid() != 0) return false;  // only root may add a system unit
  const std::string program = FindHelper(name, helperDirs_);
  if (program.empty()) return false;
  base::AtomicWriteOptions options;
  options.newFileMode = 0644;
  options.keepExistingMode = false;
  // The socket first: the service requires it, and enabling the service enables the socket.
  if (!base::WriteFileAtomically(unitDir_ + "/" + name + ".socket", SocketUnitText(name),
                                 options) ||
      !base::WriteFileAtomically(unitDir_ + "/" + Unit(name), UnitFileText(name, program), options))
    return false;
  return base::RunCommand({systemctl_, "daemon-reload"}) == 0 &&
         base::RunCommand({systemctl_, "enable", Unit(name)}) == 0;
}

bool SystemdServiceManager::IsRunning(const std::string& name) {
  return base::RunCommand({systemctl_, "is-active", "--quiet", Unit(name)}) == 0;
}

bool SystemdServiceManager::Start(const std::string& name) {
  return base::RunCommand({systemctl_, "start", Unit(name)}) == 0;
}

}  // namespace velmo::service
