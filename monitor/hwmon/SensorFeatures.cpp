#include "monitor/hwmon/SensorFeatures.h"

#include <sensors/sensors.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "monitor/hwmon/SensorsLibrary.h"

namespace velmo::hwmon {

namespace {

std::optional<FeatureKind> KindOf(sensors_feature_type type) {
  switch (type) {
    case SENSORS_FEATURE_FAN:
      return FeatureKind::kFan;
    case SENSORS_FEATURE_IN:
      return FeatureKind::kVoltage;
    case SENSORS_FEATURE_TEMP:
      return FeatureKind::kTemperature;
    default:
      return std::nullopt;
  }
}

struct Subfeatures {
  sensors_subfeature_type input, minimum, maximum, critical;
};

Subfeatures SubfeaturesOf(FeatureKind kind) {
  switch (kind) {
    case FeatureKind::kFan:
      return {SENSORS_SUBFEATURE_FAN_INPUT, SENSORS_SUBFEATURE_FAN_MIN, SENSORS_SUBFEATURE_FAN_MAX,
              SENSORS_SUBFEATURE_UNKNOWN};
    case FeatureKind::kVoltage:
      return {SENSORS_SUBFEATURE_IN_INPUT, SENSORS_SUBFEATURE_IN_MIN, SENSORS_SUBFEATURE_IN_MAX,
              SENSORS_SUBFEATURE_IN_CRIT};
    case FeatureKind::kTemperature:
      break;
  }
  return {SENSORS_SUBFEATURE_TEMP_INPUT, SENSORS_SUBFEATURE_TEMP_MIN, SENSORS_SUBFEATURE_TEMP_MAX,
          SENSORS_SUBFEATURE_TEMP_CRIT};
}

// The number of a readable subfeature; -1 when it is absent or not readable.
int ReadableSubfeature(const sensors_chip_name* chip, const sensors_feature* feature,
                       sensors_subfeature_type type) {
  if (type == SENSORS_SUBFEATURE_UNKNOWN) return -1;
  const sensors_subfeature* sub = nullptr;
  if (!GuardedCall(&sub, sensors_get_subfeature, chip, feature, type) || sub == nullptr ||
      (sub->flags & SENSORS_MODE_R) == 0)
    return -1;
  return sub->number;
}

// A subfeature's value (its `compute` line applied); none for -1 or when the read fails.
std::optional<double> ReadValue(const sensors_chip_name* chip, int number) {
  if (number < 0) return std::nullopt;
  double value = 0;
  int status = -1;
  if (!GuardedCall(&status, sensors_get_value, chip, number, &value) || status != 0 ||
      !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<double> Read(const sensors_chip_name* chip, const sensors_feature* feature,
                           sensors_subfeature_type type) {
  return ReadValue(chip, ReadableSubfeature(chip, feature, type));
}

}  // namespace

std::vector<SensorFeature> LibsensorsFeatureSource::Features() {
  std::vector<SensorFeature> out;
  // Each input found here is where a tick reads it, until the library rescans.
  std::lock_guard lock(cacheMutex_);
  ForgetOldInputs();
  for (const KernelChip& chip : library_.Chips()) {
    const sensors_chip_name* native = library_.Native(chip);
    if (native == nullptr) continue;
    const char* adapter = nullptr;
    if (!GuardedCall(&adapter, sensors_get_adapter_name, &native->bus)) adapter = nullptr;
    int next = 0;
    const sensors_feature* f = nullptr;
    while (GuardedCall(&f, sensors_get_features, native, &next) && f != nullptr) {
      const std::optional<FeatureKind> kind = KindOf(f->type);
      if (!kind) continue;
      SensorFeature feature;
      feature.chip = chip.name;
      feature.prefix = chip.prefix;
      feature.name = f->name != nullptr ? f->name : "";
      feature.kind = *kind;
      char* label = nullptr;
      if (GuardedCall(&label, sensors_get_label, native, f) && label != nullptr) {
        feature.label = label;
        std::free(label);  // libsensors hands over a malloc'd copy
      } else {
        feature.label = feature.name;
      }
      const Subfeatures sub = SubfeaturesOf(*kind);
      // A failed read is no value: never 0, never the previous one.
      const int input = ReadableSubfeature(native, f, sub.input);
      cache_[std::make_pair(feature.chip, feature.name)] = Input{native, input};
      feature.value = ReadValue(native, input);
      feature.minimum = Read(native, f, sub.minimum);
      feature.maximum = Read(native, f, sub.maximum);
      feature.critical = Read(native, f, sub.critical);
      if (adapter != nullptr) feature.adapter = adapter;
      out.push_back(std::move(feature));
    }
  }
  return out;
}

std::optional<double> SensorFeatureSource::ReadInput(const std::string& chip,
                                                     const std::string& feature) {
  for (const SensorFeature& f : Features()) {
    if (f.chip == chip && f.name == feature) return f.value;
  }
  return std::nullopt;
}

void LibsensorsFeatureSource::ForgetOldInputs() {
  if (cacheGeneration_ == library_.Generation()) return;
  cache_.clear();
  cacheGeneration_ = library_.Generation();
}

std::optional<LibsensorsFeatureSource::Input> LibsensorsFeatureSource::Resolve(
    const std::string& chip, const std::string& feature) {
  std::lock_guard lock(cacheMutex_);
  ForgetOldInputs();
  const auto key = std::make_pair(chip, feature);
  if (const auto found = cache_.find(key); found != cache_.end()) return found->second;
  for (const KernelChip& c : library_.Chips()) {
    if (c.name != chip) continue;
    const sensors_chip_name* native = library_.Native(c);
    if (native == nullptr) return std::nullopt;
    int next = 0;
    const sensors_feature* f = nullptr;
    while (GuardedCall(&f, sensors_get_features, native, &next) && f != nullptr) {
      if (f->name == nullptr || feature != f->name) continue;
      const std::optional<FeatureKind> kind = KindOf(f->type);
      if (!kind) return std::nullopt;
      const Input input{native, ReadableSubfeature(native, f, SubfeaturesOf(*kind).input)};
      cache_[key] = input;
      return input;
    }
    return std::nullopt;
  }
  return std::nullopt;  // not found: looked up again at the next read (no cache of misses)
}

std::optional<double> LibsensorsFeatureSource::ReadInput(const std::string& chip,
                                                         const std::string& feature) {
  const std::optional<Input> input = Resolve(chip, feature);
  if (!input) return std::nullopt;
  return ReadValue(static_cast<const sensors_chip_name*>(input->chip), input->number);
}

void LibsensorsFeatureSource::Rescan() {
  library_.Rescan();
}

LibsensorsFeatureSource::~LibsensorsFeatureSource() {
  if (classDir_ != nullptr) ::closedir(classDir_);
}

std::vector<std::string> LibsensorsFeatureSource::DeviceNames() {
  std::lock_guard lock(classMutex_);
  if (classDir_ == nullptr) {
    classDir_ = ::opendir("/sys/class/hwmon");
    if (classDir_ == nullptr) return {};
  } else {
    ::rewinddir(classDir_);  // the entries as they are now
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(classDir_)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace velmo::hwmon
