#include "monitor/core/MonitorSetup.h"

#include "monitor/core/ChipProfiles.h"
#include "monitor/core/Identification.h"
#include "monitor/core/KernelSensorProfile.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/ProfileSelection.h"
#include "monitor/core/boards/BoardCodes.h"
#include "monitor/core/boards/BoardTable.h"
#include "monitor/core/registry/RegistryFile.h"

namespace velmo::core {

void IdentifyHardware(MonitorState& state, hw::PortAccess& ports, std::string* boardText) {
  state.mbModel = IdentifyBoard(ports, boardText);
  state.hmType = DetectMonitorChip(ports);
}

int LoadChipSettings(MonitorState& state, hw::PortAccess& ports, RegistryStore& registry,
                     const base::WarningSink& warn) {
  if (!FindChip(state.hmType)) return 0;
  SelectChipProfile(state, ports);
  switch (LoadSettings(state, registry, warn)) {
    case SettingsLoad::kNotRead:
      return 0;
    case SettingsLoad::kSameChip:
      return 1;
    case SettingsLoad::kOtherChip:
      // The records belong to another chip: start again from this chip's profile, keep the
      // parameters, and store the result at once.
      SelectChipProfile(state, ports);
      if (!SaveSettings(state, registry) && warn)
        warn("settings not saved: " + registry.LastError());
      return 1;
  }
  return 0;
}

void PrepareChannelTable(MonitorState& state, hw::PortAccess& ports, RegistryStore* registry,
                         const base::WarningSink& warn) {
  if (registry)
    LoadChipSettings(state, ports, *registry, warn);
  else
    SelectChipProfile(state, ports);
  ApplyBoardAdjustments(state);
  // The sensors found at this start decide which channels exist, whatever was stored.
  if (const ChipInfo* chip = FindChip(state.hmType); chip && chip->kernelSensors)
    ApplyKernelChannels(state.readings, state.kernelChannels);
}

bool RunOnKernelSensors(MonitorState& state, KernelSensorSource& source,
                        const std::array<std::string, 15>& choices) {
  if (!source.Start(choices)) return false;
  state.hmType = kHmKernelSensors;
  state.mbModel = kModelGeneric;
  state.kernelChannels = source.Mapped();
  state.profiles.kernelSensors = KernelSensorProfile(state.kernelChannels);
  return true;
}

bool SetUpMonitor(MonitorState& state, hw::PortAccess& ports, RegistryStore* registry,
                  std::string* boardText) {
  IdentifyHardware(state, ports, boardText);
  if (!IsIdentified(state.hmType, state.mbModel)) return false;
  PrepareChannelTable(state, ports, registry);
  return true;
}

}  // namespace velmo::core
