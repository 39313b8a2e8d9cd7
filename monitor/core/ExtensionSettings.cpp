#include "monitor/core/ExtensionSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "monitor/base/LittleEndian.h"
#include "monitor/base/TextCodec.h"
#include "monitor/core/ChannelTable.h"
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
                                 {"DesktopNotification", &ExtensionSettings::desktopNotification},
                                 {"KernelSensors", &ExtensionSettings::kernelSensors}};
  auto ignored = [&warn](const RegistryValue& v, const char* expected) {
    if (warn) warn("extension value \"" + v.name + "\" ignored: not " + expected);
  };
  for (const RegistryValue& v : values) {
    for (int item = 0; item < kChannelCount; ++item) {
      if (v.name != std::string("Sensor_") + ChannelName(item)) continue;
      if (v.type == REG_SZ || v.type == REG_EXPAND_SZ)
        out.channelSensors[static_cast<size_t>(item)] = Utf8Of(v.data);
      else
        ignored(v, "a string (REG_SZ)");
    }
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
  if (!out.alarmCommand.empty() || !out.alarmEndCommand.empty()) {
    const auto origin = registry.LastReadOrigin();
    const std::string why =
        origin ? WhyProgramsFromFileDoNotRun(origin->uid, origin->mode, ::geteuid()) : "";
    if (!why.empty()) {
      out.alarmCommand.clear();
      out.alarmEndCommand.clear();
      if (warn) warn("AlarmCommand and AlarmEndCommand are off: " + origin->path + " " + why);
    }
  }
  if (!out.metricsDir.empty() && out.metricsDir.front() != '/') {
    if (warn)
      warn("MetricsDir \"" + out.metricsDir +
           "\" ignored: not an absolute folder; no metrics file is written");
    out.metricsDir.clear();
  }
  return out;
}

std::string WhyProgramsFromFileDoNotRun(uint32_t owner, uint32_t mode, uint32_t euid) {
  if (owner != euid) {
    return "belongs to uid " + std::to_string(owner) + ", and velmond runs as " +
           (euid == 0 ? std::string("root") : "uid " + std::to_string(euid)) +
           "; a settings file's commands run only as its owner";
  }
  if (mode & (S_IWGRP | S_IWOTH)) return "can be written by other users; its commands do not run";
  return {};
}

}  // namespace velmo::core
