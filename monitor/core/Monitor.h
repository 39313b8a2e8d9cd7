// The monitoring core put together over a back-end and a settings store: the state, the frame and
// the extensions it runs after every tick. Both programs and the GUI tests build it this way.
#pragma once

#include "monitor/core/ExtensionRunner.h"
#include "monitor/core/ExtensionSettings.h"
#include "monitor/core/MainFrame.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {

class Monitor {
 public:
  // The extension settings are read from `registry` now; what is wrong with them goes to the
  // host's warnings.
  // `kernelSensors` (may be null) is what the frame runs on where no chip is identified, unless
  // the settings turn that off (KernelSensors 0).
  Monitor(hw::PortAccess& ports, RegistryStore& registry, FrameHost& host, UninstallPaths paths,
          CommandLauncher& launcher, KernelSensorSource* kernelSensors = nullptr);
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  CMainFrame& Frame() { return frame_; }
  MonitorState& State() { return state_; }
  const ExtensionSettings& Extensions() const { return extensions_.Settings(); }

 private:
  MonitorState state_;
  CMainFrame frame_;
  ExtensionRunner extensions_;
};

}  // namespace velmo::core
