// The readings in the Prometheus text exposition format, for node_exporter's textfile collector:
// velmo.prom in a folder, replaced whole on every tick so that no reader sees half a file.
#pragma once

#include <string>

#include "monitor/base/Error.h"

namespace velmo::core {

struct MonitorState;

// The exposition text: one gauge per present channel in base units (velmo_temperature_celsius,
// velmo_fan_speed_rpm, velmo_voltage_volts with labels channel and label), its limits
// (velmo_..._upper, _lower), velmo_alarm{channel} for enabled channels, velmo_alarm_enabled, and
// velmo_info{board_text,mb_model,hm_type} 1. A channel without a reading (MonitorState::noValue)
// has no value sample, only its limits. A channel fed by a kernel sensor
// (MonitorState::kernelChannels) with a label is labelled label="<the sensor's label>",
// chip="<its chip>" instead of by the page's label.
std::string MetricsText(const MonitorState& state, const std::string& boardText);

// Writes the text to <dir>/velmo.prom through a temporary file and a rename, or says why it
// cannot.
base::Expected<void> WriteMetricsFile(const std::string& dir, const std::string& text);

}  // namespace velmo::core
