#include "monitor/core/AlarmText.h"

#include <cstdio>

#include "monitor/core/MonitorState.h"

namespace velmo::core {

namespace {

using NoValueFlags = std::array<bool, kChannelCount>;

// A present channel marked as having no reading; an absent one prints its record as before.
bool Missing(const SensorReadings& readings, const NoValueFlags& noValue, int item) {
  const auto i = static_cast<size_t>(item);
  return readings[i].present != 0 && noValue[i];
}

std::string Compose(const SensorReadings& readings, const NoValueFlags& noValue, int channel) {
  char text[160];
  const bool sentence = (channel >= V5 && channel <= V5SB) || IsTemperature(channel);
  if (sentence && Missing(readings, noValue, channel)) channel = -1;
  if (channel >= V5 && channel <= V5SB) {
    const int32_t v = readings[static_cast<size_t>(channel)].value;
    // The remainder keeps the sign of v, so it is negated for v <= 0: -500 mV prints 0.500.
    const int32_t whole = v / 1000;
    const int32_t part = v > 0 ? v % 1000 : -(v % 1000);
    std::snprintf(text, sizeof text,
                  "The %d.%d V Power-Line has exceeded Normal Operating Tolerance.", whole, part);
  } else if (IsTemperature(channel)) {
    const char* sensor = channel == RESTEMP ? "VGA " : channel == SYSTEMP ? "System " : "CPU ";
    std::snprintf(text, sizeof text, "The %s Temperature has exceeded Normal Operating Tolerance.",
                  sensor);
  } else {
    auto temperature = [&](int item) {
      if (Missing(readings, noValue, item)) return std::string("--");
      const int32_t c = readings[static_cast<size_t>(item)].value;
      char number[32];
      std::snprintf(number, sizeof number, "%2dC/%2dF", c, Fahrenheit(c));
      return std::string(number);
    };
    auto fan = [&](int item) -> const char* {
      if (Missing(readings, noValue, item)) return "--";
      const ChannelRecord& r = readings[static_cast<size_t>(item)];
      return r.value > r.alarm.upper ? "ON" : "OFF";
    };
    std::snprintf(text, sizeof text, "CPU Temp:%s, SYS Temp:%s, CPU FAN:%s, SYS FAN:%s",
                  temperature(CPUTEMP).c_str(), temperature(SYSTEMP).c_str(), fan(CPUFAN),
                  fan(CHAFAN));
  }
  return text;
}

}  // namespace

std::string ComposeStatusText(const SensorReadings& readings, int channel) {
  return Compose(readings, NoValueFlags{}, channel);
}

std::string ComposeStatusText(const MonitorState& state, int channel) {
  return Compose(state.readings, state.noValue, channel);
}

}  // namespace velmo::core
