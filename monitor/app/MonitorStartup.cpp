#include "monitor/app/MonitorStartup.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "monitor/core/InstanceLock.h"
#include "monitor/core/Resources.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/DriverBackend.h"
#include "monitor/hw/KernelPortClaims.h"
#include "monitor/hw/LinuxBus.h"
#include "monitor/hwmon/KernelSource.h"
#include "monitor/hwmon/SensorsLibrary.h"
#include "monitor/service/DriverService.h"
#include "monitor/service/ServiceManagerChoice.h"
#include "sim/SimulatedBoard.h"

namespace velmo::app {

MonitorBackend::MonitorBackend() = default;
MonitorBackend::~MonitorBackend() = default;
MonitorBackend::MonitorBackend(MonitorBackend&&) noexcept = default;
MonitorBackend& MonitorBackend::operator=(MonitorBackend&&) noexcept = default;

bool AcquireInstanceLock(core::InstanceLock& lock, hw::HwHost& host) {
  const auto acquired = lock.Acquire();
  if (!acquired) {
    // Not another instance: say what failed instead of claiming one runs.
    std::cerr << "velmond: cannot take the single-instance lock: " << acquired.error().message
              << '\n';
    return false;
  }
  switch (acquired.value()) {
    case core::InstanceLock::Lock::kAcquired:
      return true;
    case core::InstanceLock::Lock::kHeld:
      host.ShowMessage("Velmo has been running !", core::kAppTitle);
      return false;
  }
  return false;
}

int ExitCodeOf(BackendStatus status) {
  switch (status) {
    case BackendStatus::kOpen:
      return 0;
    case BackendStatus::kBoardUnreadable:
      return 2;
    case BackendStatus::kServicesFailed:
    case BackendStatus::kPortsUnavailable:
      return 1;
  }
  return 1;
}

BackendStatus OpenBackend(const Options& options, hw::HwHost& host, MonitorBackend& out) {
  const bool useDriver = options.driver || (!options.direct && options.board.empty() &&
                                            !hw::LinuxBus::HasRawPortAccess());
  if (useDriver) {
    // The services run before the frame exists; with a board file they serve that board.
    std::vector<std::string> helperArgs;
    if (!options.board.empty())
      helperArgs = {"--board", std::filesystem::absolute(options.board).string()};
    const auto manager = service::MakeServiceManager(helperArgs);
    service::RealSleeper sleeper;
    if (!service::StartDriverServices(*manager, sleeper, host))
      return BackendStatus::kServicesFailed;
    auto driver = std::make_unique<hw::DriverBackend>();
    if (!options.board.empty()) {
      out.advanceClock = [d = driver.get()](uint32_t seconds) {
        d->AdvanceSimulatedClock(seconds);
      };
    }
    out.backend = std::move(driver);
  } else if (!options.board.empty()) {
    std::string error;
    out.board = sim::SimulatedBoard::Load(options.board, &error);
    if (!out.board) {
      std::cerr << "velmond: " << error << '\n';
      return BackendStatus::kBoardUnreadable;
    }
    out.advanceClock = [b = out.board.get()](uint32_t seconds) { b->Advance(seconds); };
    out.backend = std::make_unique<hw::DirectBackend>(*out.board);
  } else {
    std::string error;
    out.realBus = hw::OpenMachineBus(&error);
    if (!out.realBus) {
      std::cerr << "velmond: " << error << '\n';
      return BackendStatus::kPortsUnavailable;
    }
    out.backend = std::make_unique<hw::DirectBackend>(*out.realBus);
  }
  out.source = useDriver ? "the portio helper" : "the ports";
  // The machine's hwmon decides whether a kernel driver keeps the chip; a simulated board takes
  // part only when its file hands it the machine's hwmon.
  std::optional<hwmon::HwmonDevice> kernelChip;
  bool machineHwmon = options.board.empty();
  if (out.board) {
    machineHwmon = out.board->UsesMachineHwmon();
  } else if (!options.board.empty()) {
    // The helpers serve the board; this process only needs the file's word on the hwmon.
    std::string error;
    const auto board = sim::SimulatedBoard::Load(options.board, &error);
    machineHwmon = board && board->UsesMachineHwmon();
  }
  out.machineHwmon = machineHwmon;
  if (machineHwmon) {
    out.sensors = std::make_unique<hwmon::SensorsLibrary>(
        [](const std::string& line) { std::cerr << "velmond: " << line << '\n'; });
    kernelChip = hwmon::KernelOwnedChipOnMachine(*out.sensors);
    // A kernel-kept chip is read through its driver's files: libsensors is done with.
    if (kernelChip) out.sensors.reset();
  }
  if (kernelChip) {
    out.source = hwmon::DescribeKernelSource(*kernelChip);
    hwmon::KernelSource kernel = hwmon::MakeKernelSource(
        *out.backend, std::move(*kernelChip),
        [](const std::string& line) { std::cerr << "velmond: " << line << '\n'; });
    out.underneath = std::move(out.backend);
    out.attributeFiles = std::move(kernel.files);
    out.backend = std::move(kernel.backend);
    std::cerr << "velmond: reading the chip through " << out.source << '\n';
  } else if (out.realBus) {
    // A kernel driver that owns the chip without a device this source reads keeps it:
    // identification then finds none.
    if (!out.realBus->Kernel().reason.empty())
      std::cerr << "velmond: " << out.realBus->Kernel().reason << '\n';
    for (const hw::PortClaim& claim : out.realBus->Claims()) {
      // Advice to unload a kin's driver would cost the user the sensors the monitor can still
      // run on; it is only said.
      if (hw::ClaimedByMonitorChipDriver(claim))
        host.ShowMessage(hw::DescribeClaim(claim), core::kAppTitle);
      else
        std::cerr << "velmond: " << hw::DescribeClaim(claim) << '\n';
    }
  }
  return BackendStatus::kOpen;
}

}  // namespace velmo::app
