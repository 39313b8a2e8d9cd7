// The settings of the extensions (features beyond the monitor's own), in the subkey Extensions of
// the settings key: REG_SZ and REG_DWORD values the settings store never enumerates (it reads only
// its own key), so they change none of its 20 values; a save keeps them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "monitor/base/Warning.h"

namespace velmo::core {

class RegistryStore;

// HKEY_LOCAL_MACHINE\Software\Korvath\Velmo\Ver 3.10\Extensions
std::string ExtensionsKeyPath();

struct ExtensionSettings {
  std::string alarmCommand;         // AlarmCommand (REG_SZ): run when an alarm starts; "" off
  std::string alarmEndCommand;      // AlarmEndCommand (REG_SZ): run when it ends; "" off
  std::string metricsDir;           // MetricsDir (REG_SZ): where velmo.prom goes; "" off
  int32_t showHistory = 0;          // ShowHistory (REG_DWORD): the History tab, min/max; 0 off
  int32_t desktopNotification = 1;  // DesktopNotification (REG_DWORD): 0 turns it off
  // KernelSensors (REG_DWORD): where no chip of the maker is found, run on the kernel's sensors;
  // 0 gives the removal question instead.
  int32_t kernelSensors = 1;
  // Sensor_<CHANNEL> (REG_SZ, "Sensor_CPUTEMP"): the kernel sensor feeding that channel, as
  // "chip-pattern feature" ("k10temp-* Tccd1"), or "none"; "" keeps the default mapping.
  std::array<std::string, 15> channelSensors{};

  bool operator==(const ExtensionSettings&) const = default;
};

// The values found, the defaults for the others (also for a missing or unreadable key). A value
// of the wrong type or size is ignored with a warning. Commands run only from a file of this
// process's user that nobody else can write (run as root, only from root's): otherwise they are
// off, said in one warning. A MetricsDir that is not absolute is ignored with a warning.
ExtensionSettings LoadExtensionSettings(RegistryStore& registry,
                                        const base::WarningSink& warn = {});

// Why programs named in a file of `owner` with `mode` must not run for a process of `euid`;
// empty when they may.
std::string WhyProgramsFromFileDoNotRun(uint32_t owner, uint32_t mode, uint32_t euid);

}  // namespace velmo::core
