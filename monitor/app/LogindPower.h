// Restart and power-off requests to systemd-logind over the system D-Bus.
#pragma once

#include <string>

#include "monitor/core/FrameHost.h"

namespace velmo::app {

class PowerControl {
 public:
  virtual ~PowerControl() = default;
  // Sends the request; false with `error` set when it could not be sent or logind refused it.
  virtual bool Request(core::PowerRequest request, std::string* error) = 0;
};

// org.freedesktop.login1.Manager.Reboot / PowerOff, non-interactive.
class LogindPower : public PowerControl {
 public:
  bool Request(core::PowerRequest request, std::string* error) override;
};

}  // namespace velmo::app
