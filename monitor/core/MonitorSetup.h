// Preparing the monitor for a board: identification, then the channel table (the chip profile,
// the stored settings over it, the board adjustments). The frame's creation and the tools that
// show a board's readings (page viewer, benchmarks, tests) all go through these.
#pragma once

#include <array>
#include <string>

#include "monitor/base/Warning.h"
#include "monitor/core/SettingsStore.h"

namespace velmo::hw {
class PortAccess;
}

namespace velmo::core {

class RegistryStore;
struct MonitorState;

// Reads the board text and probes for the monitor chip: sets mbModel and hmType.
void IdentifyHardware(MonitorState& state, hw::PortAccess& ports, std::string* boardText = nullptr);

class KernelSensorSource;

// Where no chip (or no board) was identified: starts `source` and, when the kernel has sensors,
// takes the chip and board codes of the kernel's sensors and their channel table's profile.
// False, with nothing changed, when it has none.
bool RunOnKernelSensors(MonitorState& state, KernelSensorSource& source,
                        const std::array<std::string, 15>& choices = {});

// Selects the chip profile and loads the stored settings over it; settings of another chip (or
// of none) select the profile again and are saved at once. Returns 1 when the key was read to its
// end, 0 otherwise (no key or chip code 0). What could not be taken or saved goes to `warn`.
int LoadChipSettings(MonitorState& state, hw::PortAccess& ports, RegistryStore& registry,
                     const base::WarningSink& warn = {});

// The channel table of the identified chip: the profile with the stored settings when a store
// is given (else the profile alone), then the board adjustments.
void PrepareChannelTable(MonitorState& state, hw::PortAccess& ports, RegistryStore* registry,
                         const base::WarningSink& warn = {});

// IdentifyHardware and PrepareChannelTable; false, with nothing prepared, when no chip or no
// board was identified.
bool SetUpMonitor(MonitorState& state, hw::PortAccess& ports, RegistryStore* registry = nullptr,
                  std::string* boardText = nullptr);

}  // namespace velmo::core
