#include "monitor/core/SensorsJson.h"

#include <cstdio>
#include <string>

#include "monitor/core/ChannelLabels.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/boards/ChipTable.h"

namespace velmo::core {

namespace {

const char* ChipName(int32_t hmType) {
  const ChipInfo* chip = FindChip(hmType);
  return chip ? chip->sensorsName : "unknown";
}

// sensors prints three decimals; so do we, as numbers.
double Rounded(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", v);
  return std::strtod(text, nullptr);
}

}  // namespace

nlohmann::ordered_json SensorsJson(const MonitorState& state, uint32_t chipIoBase) {
  char name[40];
  std::snprintf(name, sizeof name, "%s-isa-%04x", ChipName(state.hmType),
                chipIoBase ? chipIoBase : 0x290u);
  nlohmann::ordered_json chip = nlohmann::ordered_json::object();
  chip["Adapter"] = "ISA adapter";
  for (int item = 0; item < kChannelCount; ++item) {
    const ChannelRecord& r = state[item];
    const std::string feature = SensorsFeature(r, item, state.hmType);
    if (r.present == 0 || feature.empty()) continue;
    nlohmann::ordered_json sub = nlohmann::ordered_json::object();
    // As sensors does for an input it cannot read: the limits and alarm stay, the input goes.
    if (state.HasValue(item)) sub[feature + "_input"] = Rounded(InBaseUnits(item, r.value));
    // A channel without a range (both limits 0) has no limits to show; the alarm flag is the
    // monitor's: an enabled channel out of its range.
    const bool ranged = r.alarm.upper != 0 || r.alarm.lower != 0;
    const double alarm = r.alarm.enabled != 0 && r.outOfRange != 0 ? 1 : 0;
    if (IsVoltage(item)) {
      if (ranged) {
        sub[feature + "_min"] = Rounded(InBaseUnits(item, r.alarm.lower));
        sub[feature + "_max"] = Rounded(InBaseUnits(item, r.alarm.upper));
      }
      sub[feature + "_alarm"] = alarm;
    } else if (IsTemperature(item)) {
      if (ranged) {
        sub[feature + "_max"] = Rounded(r.alarm.upper);
        sub[feature + "_max_hyst"] = Rounded(r.alarm.lower);
      }
      sub[feature + "_alarm"] = alarm;
    }
    chip[ChannelLabel(item, state.mbModel)] = std::move(sub);
  }
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out[name] = std::move(chip);
  return out;
}

}  // namespace velmo::core
