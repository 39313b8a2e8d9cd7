#include "monitor/core/Monitor.h"

namespace velmo::core {

Monitor::Monitor(hw::PortAccess& ports, RegistryStore& registry, FrameHost& host,
                 UninstallPaths paths, CommandLauncher& launcher, KernelSensorSource* kernelSensors)
    : frame_(state_, ports, registry, host, std::move(paths)),
      extensions_(LoadExtensionSettings(registry, [&host](const std::string& t) { host.Warn(t); }),
                  launcher, [&host](const std::string& t) { host.Warn(t); }) {
  frame_.SetExtensions(&extensions_);
  if (extensions_.Settings().kernelSensors != 0) frame_.SetKernelSensors(kernelSensors);
}

}  // namespace velmo::core
