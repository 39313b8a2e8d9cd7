#include "monitor/core/MetricsFile.h"

#include <cstdio>

#include "monitor/base/AtomicFile.h"
#include "monitor/core/ChannelLabels.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {

namespace {

// A label value with the exposition format's three escapes.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

struct Family {
  const char* name;
  const char* help;
  bool (*of)(int item);
};
constexpr Family kFamilies[] = {
    {"velmo_temperature_celsius", "Temperature in degrees Celsius.", IsTemperature},
    {"velmo_fan_speed_rpm", "Fan speed in revolutions per minute.", IsFan},
    {"velmo_voltage_volts", "Voltage in volts.", IsVoltage},
};

}  // namespace

std::string MetricsText(const MonitorState& s, const std::string& boardText) {
  std::string out;
  auto labels = [&s](int item) {
    const auto& sensor = s.kernelChannels[static_cast<size_t>(item)];
    if (sensor && !sensor->label.empty()) {
      return std::string("channel=\"") + ChannelName(item) + "\",label=\"" +
             Escaped(sensor->label) + "\",chip=\"" + Escaped(sensor->chip) + "\"";
    }
    return std::string("channel=\"") + ChannelName(item) + "\",label=\"" +
           Escaped(ChannelLabel(item, s.mbModel)) + "\"";
  };
  for (const Family& family : kFamilies) {
    struct Part {
      std::string suffix;
      const char* help;
      int32_t (*value)(const ChannelRecord&);
    };
    const Part parts[] = {
        {"", family.help, [](const ChannelRecord& r) { return r.value; }},
        {"_upper", "Upper alarm limit.", [](const ChannelRecord& r) { return r.alarm.upper; }},
        {"_lower", "Lower alarm limit (temperatures: the hysteresis).",
         [](const ChannelRecord& r) { return r.alarm.lower; }},
    };
    for (const Part& part : parts) {
      // Fans have no alarm range.
      if (!part.suffix.empty() && family.of == IsFan) continue;
      const std::string name = family.name + part.suffix;
      std::string lines;
      for (int item = 0; item < kChannelCount; ++item) {
        if (!family.of(item) || s[item].present == 0) continue;
        // No reading, no sample: a made-up 0 would plot as a real one.
        if (part.suffix.empty() && !s.HasValue(item)) continue;
        lines += name + "{" + labels(item) + "} " + Number(InBaseUnits(item, part.value(s[item]))) +
                 "\n";
      }
      if (lines.empty()) continue;
      out += "# HELP " + name + " " + part.help + "\n# TYPE " + name + " gauge\n" + lines;
    }
  }
  out +=
      "# HELP velmo_alarm 1 while the channel's alarm is raised (enabled and out of range).\n"
      "# TYPE velmo_alarm gauge\n";
  for (int item = 0; item < kChannelCount; ++item) {
    const ChannelRecord& r = s[item];
    if (r.present == 0 || r.alarm.enabled == 0) continue;
    out += std::string("velmo_alarm{channel=\"") + ChannelName(item) + "\"} " +
           (r.outOfRange ? "1" : "0") + "\n";
  }
  out +=
      "# HELP velmo_alarm_enabled 1 while the monitor's alarm switch is on.\n"
      "# TYPE velmo_alarm_enabled gauge\n"
      "velmo_alarm_enabled " +
      std::string(s.params.bAlarm ? "1" : "0") + "\n";
  out +=
      "# HELP velmo_info The board and the monitor chip.\n# TYPE velmo_info gauge\n"
      "velmo_info{board_text=\"" +
      Escaped(boardText) + "\",mb_model=\"" + std::to_string(s.mbModel) + "\",hm_type=\"" +
      std::to_string(s.hmType) + "\"} 1\n";
  return out;
}

base::Expected<void> WriteMetricsFile(const std::string& dir, const std::string& text) {
  base::AtomicWriteOptions options;
  options.newFileMode = 0644;  // node_exporter runs as its own user
  options.keepExistingMode = false;
  options.durable = false;  // rewritten every tick; a crash loses nothing worth a flush
  const auto written = base::WriteFileAtomically(dir + "/velmo.prom", text, options);
  if (!written) return written.error();  // the message and errno, without the step
  return {};
}

}  // namespace velmo::core
