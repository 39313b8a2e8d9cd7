#include "monitor/app/MonitorAssembly.h"

#include "monitor/app/KernelChannelSource.h"
#include "monitor/app/ProgramHost.h"
#include "monitor/core/Monitor.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::app {

MonitorAssembly::MonitorAssembly() = default;
MonitorAssembly::~MonitorAssembly() = default;

std::optional<MonitorAssembly::Failure> MonitorAssembly::Assemble(const Options& options,
                                                                  ProgramHost& host) {
  if (!AcquireInstanceLock(lock_, host)) return Failure{1, true};
  const BackendStatus status = OpenBackend(options, host, hardware_);
  if (status != BackendStatus::kOpen)
    return Failure{ExitCodeOf(status), status == BackendStatus::kServicesFailed};
  ports_ = std::make_unique<hw::PortAccess>(*hardware_.backend, host);
  registry_ = std::make_unique<core::RegistryFile>(
      options.registry.empty() ? core::RegistryFile::DefaultPath() : options.registry);
  registry_->SetWarningSink([&host](const std::string& text) { host.Warn(text); });
  if (hardware_.machineHwmon) {
    kernelSensors_ = std::make_unique<KernelChannelSource>(
        hardware_.sensors.get(), [&host](const std::string& text) { host.Warn(text); });
  }
  monitor_ = std::make_unique<core::Monitor>(*ports_, *registry_, host,
                                             core::UninstallPaths::FromEnvironment(), launcher_,
                                             kernelSensors_.get());
  return std::nullopt;
}

}  // namespace velmo::app
