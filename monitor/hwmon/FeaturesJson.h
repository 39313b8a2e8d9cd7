// The kernel's chips in the JSON shape `sensors -j` prints, built from the features Velmo reads,
// so that `--sensors-json` on the kernel's sensors reads as lm-sensors' own output does.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "monitor/hwmon/SensorFeatures.h"

namespace velmo::hwmon {

// {"<chip>": {"Adapter": "<adapter>", "<label>": {"<name>_input": v, "_min", "_max", "_crit"}}}:
// chips in the order their features come, each feature under its label (sensors.conf applied)
// with the inputs and limits it has, in libsensors' order (temperatures: input, max, min, crit;
// voltages and fans: input, min, max, crit), values rounded to three decimals as `sensors -j`
// prints them. What cannot be read is left out, as `sensors -j` leaves it out; so is "Adapter"
// when libsensors has no name for the bus. Of the chips, only what a SensorFeature carries is
// shown: alarms, hysteresis and other kinds (power, current) are not read.
nlohmann::ordered_json SensorsJsonOfFeatures(const std::vector<SensorFeature>& features);

}  // namespace velmo::hwmon
