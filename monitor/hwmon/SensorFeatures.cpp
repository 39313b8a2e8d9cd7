#include "monitor/hwmon/SensorFeatures.h"

#include <sensors/sensors.h>

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

sensors_subfeature_type InputOf(FeatureKind kind) {
  switch (kind) {
    case FeatureKind::kFan:
      return SENSORS_SUBFEATURE_FAN_INPUT;
    case FeatureKind::kVoltage:
      return SENSORS_SUBFEATURE_IN_INPUT;
    case FeatureKind::kTemperature:
      break;
  }
  return SENSORS_SUBFEATURE_TEMP_INPUT;
}

}  // namespace

std::vector<SensorFeature> LibsensorsFeatureSource::Features() {
  std::vector<SensorFeature> out;
  for (const KernelChip& chip : library_.Chips()) {
    const sensors_chip_name* native = library_.Native(chip);
    if (native == nullptr) continue;
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
      const sensors_subfeature* input = nullptr;
      if (GuardedCall(&input, sensors_get_subfeature, native, f, InputOf(*kind)) &&
          input != nullptr && (input->flags & SENSORS_MODE_R) != 0) {
        double value = 0;
        int status = -1;
        // A failed read is no value: never 0, never the previous one.
        if (GuardedCall(&status, sensors_get_value, native, input->number, &value) && status == 0 &&
            std::isfinite(value)) {
          feature.value = value;
        }
      }
      const sensors_subfeature* minimum = nullptr;
      if (*kind == FeatureKind::kFan &&
          GuardedCall(&minimum, sensors_get_subfeature, native, f, SENSORS_SUBFEATURE_FAN_MIN) &&
          minimum != nullptr && (minimum->flags & SENSORS_MODE_R) != 0) {
        double value = 0;
        int status = -1;
        if (GuardedCall(&status, sensors_get_value, native, minimum->number, &value) &&
            status == 0 && std::isfinite(value)) {
          feature.minimum = value;
        }
      }
      out.push_back(std::move(feature));
    }
  }
  return out;
}

}  // namespace velmo::hwmon
