#include "monitor/hwmon/FeaturesJson.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace velmo::hwmon {

namespace {

// `sensors -j` prints "%.3f"; the number that text stands for.
double Printed(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", v);
  return std::strtod(text, nullptr);
}

}  // namespace

nlohmann::ordered_json SensorsJsonOfFeatures(const std::vector<SensorFeature>& features) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const SensorFeature& f : features) {
    if (!out.contains(f.chip)) {
      nlohmann::ordered_json chip = nlohmann::ordered_json::object();
      if (!f.adapter.empty()) chip["Adapter"] = f.adapter;
      out[f.chip] = std::move(chip);
    }
    const bool temperature = f.kind == FeatureKind::kTemperature;
    const std::pair<const char*, const std::optional<double>*> parts[] = {
        {"_input", &f.value},
        {temperature ? "_max" : "_min", temperature ? &f.maximum : &f.minimum},
        {temperature ? "_min" : "_max", temperature ? &f.minimum : &f.maximum},
        {"_crit", &f.critical},
    };
    nlohmann::ordered_json sub = nlohmann::ordered_json::object();
    for (const auto& [suffix, value] : parts) {
      if (*value) sub[f.name + suffix] = Printed(**value);
    }
    // As `sensors -j`: a label seen twice on a chip keeps the later feature.
    out[f.chip][f.label] = std::move(sub);
  }
  return out;
}

}  // namespace velmo::hwmon
