// Loading and saving the channel records, application parameters and chip code in the
// settings key of the registry file.
#pragma once

#include <cstdint>
#include <string>

namespace velmo::hw {
class PortAccess;
}

namespace velmo::core {

class RegistryStore;
struct MonitorState;

// "Software\Korvath\Velmo\Ver 3.10", built from its three string resources.
std::string SettingsKeyPath();
// Stores one REG_BINARY value under HKEY_LOCAL_MACHINE\subkey; true when it was written.
bool WriteBinaryRegistryValue(RegistryStore& registry, const std::string& subkey,
                              const std::string& valueName, const uint8_t* data, uint32_t size);

// Selects the chip profile and overlays the stored values. Returns 1 when the key was read to
// its end, 0 otherwise (no key, an over-long value, or chip code 0). A stored chip code that
// differs from the detected one (or none) reselects the profile and saves at once.
int LoadSettings(MonitorState& state, hw::PortAccess& ports, RegistryStore& registry);
// Writes the 14 channel records and the 6 integers, in their fixed order, as one save.
// Failures are silent.
void SaveSettings(const MonitorState& state, RegistryStore& registry);

}  // namespace velmo::core
