#include "monitor/core/Extensions.h"

#include <optional>
#include <vector>

#include "monitor/base/LittleEndian.h"
#include "monitor/core/Resources.h"
#include "monitor/core/SettingsStore.h"
#include "monitor/core/registry/RegistryFile.h"

namespace velmo::core {
namespace {

std::optional<uint32_t> DwordOf(const std::vector<RegistryValue>& values, const char* name) {
  for (const RegistryValue& v : values) {
    if (v.name != name) continue;
    if (v.type != REG_DWORD || v.data.size() != 4) return std::nullopt;
    return base::LoadLe32(v.data.data());
  }
  return std::nullopt;
}

}  // namespace

std::string ExtensionsKeyPath() {
  return std::string(kRegistryRoot) + "\\" + SettingsKeyPath() + "\\" + kExtensionsSubkey;
}

Extensions LoadExtensions(RegistryStore& registry) {
  Extensions extensions;
  std::vector<RegistryValue> values;
  if (!registry.ReadKey(ExtensionsKeyPath(), &values)) return extensions;
  if (const auto on = DwordOf(values, kValueDesktopNotification))
    extensions.desktopNotification = *on != 0;
  return extensions;
}

}  // namespace velmo::core
