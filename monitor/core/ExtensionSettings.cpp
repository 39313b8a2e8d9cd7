#include "monitor/core/ExtensionSettings.h"

#include <vector>

#include "monitor/base/LittleEndian.h"
#include "monitor/base/TextCodec.h"
#include "monitor/core/Resources.h"
#include "monitor/core/SettingsStore.h"
#include "monitor/core/registry/RegistryFile.h"

namespace velmo::core {

namespace {

// The text of a string value: UTF-16LE up to its terminating NUL.
std::string Utf8Of(const std::vector<uint8_t>& data) {
  size_t units = data.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    if (data[2 * i] == 0 && data[2 * i + 1] == 0) {
      units = i;
      break;
    }
  }
  std::string text;
  base::ForEachUtf16CodePoint(data.data(), units,
                              [&text](char32_t cp) { base::AppendUtf8(text, cp); });
  return text;
}

}  // namespace

std::string ExtensionsKeyPath() {
  return std::string(kRegistryRoot) + "\\" + SettingsKeyPath() + "\\Extensions";
}

ExtensionSettings LoadExtensionSettings(RegistryStore& registry, const base::WarningSink& warn) {
  ExtensionSettings out;
  std::vector<RegistryValue> values;
  if (!registry.ReadKey(ExtensionsKeyPath(), &values)) return out;
  struct Text {
    const char* name;
    std::string ExtensionSettings::*member;
  };
  struct Number {
    const char* name;
    int32_t ExtensionSettings::*member;
  };
  constexpr Text kTexts[] = {{"AlarmCommand", &ExtensionSettings::alarmCommand},
                             {"AlarmEndCommand", &ExtensionSettings::alarmEndCommand},
                             {"MetricsDir", &ExtensionSettings::metricsDir}};
  constexpr Number kNumbers[] = {{"ShowHistory", &ExtensionSettings::showHistory},
                                 {"DesktopNotification", &ExtensionSettings::desktopNotification}};
  auto ignored = [&warn](const RegistryValue& v, const char* expected) {
    if (warn) warn("extension value \"" + v.name + "\" ignored: not " + expected);
  };
  for (const RegistryValue& v : values) {
    for (const Text& t : kTexts) {
      if (v.name != t.name) continue;
      if (v.type == REG_SZ || v.type == REG_EXPAND_SZ)
        out.*t.member = Utf8Of(v.data);
      else
        ignored(v, "a string (REG_SZ)");
    }
    for (const Number& n : kNumbers) {
      if (v.name != n.name) continue;
      if (v.type == REG_DWORD && v.data.size() == 4)
        out.*n.member = static_cast<int32_t>(base::LoadLe32(v.data.data()));
      else
        ignored(v, "a number (REG_DWORD)");
    }
  }
  return out;
}

}  // namespace velmo::core
