// The readings in the Prometheus text exposition format, for node_exporter's textfile collector:
// velmo.prom in a folder, replaced whole on every tick so that no reader sees half a file.
#pragma once

#include <array>
#include <string>

#include "monitor/base/Error.h"
#include "monitor/core/ChannelTable.h"

namespace velmo::core {

struct MonitorState;

// What the kernel's sensors call a channel they feed: the label `sensors` prints for its
// feature ("Tctl") and its chip's name ("k10temp-pci-00c3"). Empty for other channels.
struct SensorName {
  std::string label;
  std::string chip;
  bool operator==(const SensorName&) const = default;
};
using SensorNames = std::array<SensorName, kChannelCount>;

// The exposition text: one gauge per present channel in base units (velmo_temperature_celsius,
// velmo_fan_speed_rpm, velmo_voltage_volts with labels channel and label), its limits
// (velmo_..._upper, _lower), velmo_alarm{channel} for enabled channels, velmo_alarm_enabled, and
// velmo_info{board_text,mb_model,hm_type} 1. A channel without a reading (MonitorState::noValue)
// has no value sample, only its limits. With `sensorNames`, a channel that has a sensor label
// is labelled label="<that label>",chip="<its chip>" instead of by the page's label.
std::string MetricsText(const MonitorState& state, const std::string& boardText,
                        const SensorNames* sensorNames = nullptr);

// Writes the text to <dir>/velmo.prom through a temporary file and a rename, or says why it
// cannot.
base::Expected<void> WriteMetricsFile(const std::string& dir, const std::string& text);

}  // namespace velmo::core
