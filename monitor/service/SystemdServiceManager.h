// The helper services as systemd units, driven through systemctl.
#pragma once

#include <string>
#include <vector>

#include "monitor/service/DriverService.h"
#include "monitor/service/HelperPrograms.h"

namespace velmo::service {

// systemd through systemctl: is-active, start, show; a missing unit is written to `unitDir` with
// its socket unit (root only), followed by daemon-reload and enable (which enables the socket).
class SystemdServiceManager : public ServiceManager {
 public:
  explicit SystemdServiceManager(std::string systemctl = "systemctl",
                                 std::string unitDir = "/etc/systemd/system",
                                 std::vector<std::string> helperDirs = DefaultHelperDirs());
  bool Serving(const std::string& name) override { return ServiceDeviceAnswers(name); }
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

}  // namespace velmo::service
