// The helper services where no service manager runs (containers, tests, the demo): programs
// spawned as detached processes.
#pragma once

#include <string>
#include <vector>

#include "monitor/service/DriverService.h"
#include "monitor/service/HelperPrograms.h"

namespace velmo::service {

// A service exists when its program is found, runs when its socket accepts a connection, and
// starts as a detached process (its own session, re-parented to init) given `helperArgs` (for
// instance {"--board", FILE}). Its standard error goes to <device dir>/<name>.log.
class SpawnServiceManager : public ServiceManager {
 public:
  explicit SpawnServiceManager(std::vector<std::string> helperArgs = {},
                               std::vector<std::string> helperDirs = DefaultHelperDirs());
  bool Serving(const std::string& name) override { return ServiceDeviceAnswers(name); }
  bool Open() override { return true; }
  bool Exists(const std::string& name) override;
  bool Create(const std::string&) override { return false; }  // nothing to register with
  bool IsRunning(const std::string& name) override;
  bool Start(const std::string& name) override;

 private:
  std::vector<std::string> helperArgs_;
  std::vector<std::string> helperDirs_;
};

}  // namespace velmo::service
