// Settings of the extensions beyond the monitor's own behaviour: the values of the Extensions
// subkey of the settings key. The settings store never enumerates this subkey, so the key's own
// values stay as they are, and a save (which rewrites only the key's values) keeps these.
#pragma once

#include <string>

namespace velmo::core {

class RegistryStore;

inline constexpr const char* kExtensionsSubkey = "Extensions";
// REG_DWORD: 0 turns the desktop notification of a starting alarm off; any other value, or none,
// leaves it on.
inline constexpr const char* kValueDesktopNotification = "DesktopNotification";

struct Extensions {
  bool desktopNotification = true;
  bool operator==(const Extensions&) const = default;
};

// HKEY_LOCAL_MACHINE\Software\Korvath\Velmo\Ver 3.10\Extensions
std::string ExtensionsKeyPath();
// The extensions' settings; the defaults for a missing key, a missing value or a value of
// another type or size.
Extensions LoadExtensions(RegistryStore& registry);

}  // namespace velmo::core
