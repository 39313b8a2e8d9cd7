#include "monitor/core/AlarmText.h"

#include <cstdio>

namespace velmo::core {

std::string ComposeStatusText(const SensorReadings& readings, int channel) {
  char text[160];
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
    const int32_t cpu = readings[CPUTEMP].value;
    const int32_t sys = readings[SYSTEMP].value;
    const char* cpuFan = readings[CPUFAN].value > readings[CPUFAN].alarm.upper ? "ON" : "OFF";
    const char* sysFan = readings[CHAFAN].value > readings[CHAFAN].alarm.upper ? "ON" : "OFF";
    std::snprintf(text, sizeof text,
                  "CPU Temp:%2dC/%2dF, SYS Temp:%2dC/%2dF, CPU FAN:%s, SYS FAN:%s", cpu,
                  Fahrenheit(cpu), sys, Fahrenheit(sys), cpuFan, sysFan);
  }
  return text;
}

}  // namespace velmo::core
