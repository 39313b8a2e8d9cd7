// Restart and power-off requests to systemd-logind over the system D-Bus.
#pragma once

#include <string>

#include "monitor/base/Error.h"
#include "monitor/core/FrameHost.h"

namespace velmo::app {

class PowerControl {
 public:
  virtual ~PowerControl() = default;
  // Sends the request, or says why it could not be sent or why logind refused it.
  virtual base::Expected<void> Request(core::PowerRequest request) = 0;
};

// org.freedesktop.login1.Manager.Reboot / PowerOff, non-interactive.
class LogindPower : public PowerControl {
 public:
  base::Expected<void> Request(core::PowerRequest request) override;
};

}  // namespace velmo::app
