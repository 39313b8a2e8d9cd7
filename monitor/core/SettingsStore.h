// Loading and saving the channel records, application parameters and chip code in the
// settings key of the registry. Only the store is touched: no hardware.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "monitor/base/Warning.h"

namespace velmo::core {

class RegistryStore;
struct MonitorState;

// "Software\Korvath\Velmo\Ver 3.10", built from its three string resources.
std::string SettingsKeyPath();
// Stores one REG_BINARY value under HKEY_LOCAL_MACHINE\subkey; true when it was written.
bool WriteBinaryRegistryValue(RegistryStore& registry, const std::string& subkey,
                              const std::string& valueName, const uint8_t* data, uint32_t size);

// What a load found.
enum class SettingsLoad {
  kNotRead,    // no key, or an unreadable store
  kSameChip,   // read to the end; the records belong to the detected chip
  kOtherChip,  // read to the end; the records belong to another chip (or none is stored)
};
// Where the settings code tells what it could not take or do (one line each).

// Overlays the stored values on the channel records and parameters, in the key's order. The
// caller starts from the chip profile and, for kOtherChip, selects it again and saves. A value
// under one of the settings' names that cannot be taken (wrong type, too short) is ignored, and
// so is a value too long for the load's buffers (it cannot be a setting), each with a warning.
SettingsLoad LoadSettings(MonitorState& state, RegistryStore& registry,
                          const base::WarningSink& warn = {});
// Writes the 14 channel records and the 6 integers, in their fixed order, as one save. False
// when they could not be written; registry.LastError() says why.
bool SaveSettings(const MonitorState& state, RegistryStore& registry);

}  // namespace velmo::core
