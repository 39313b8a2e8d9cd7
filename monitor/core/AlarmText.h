// The texts of the alarm check: alarm sentences and the status line.
#pragma once

#include <cstdint>
#include <string>

#include "monitor/core/ChannelTable.h"
#include "monitor/core/Units.h"

namespace velmo::core {

// The sentence for `channel` (a voltage 6..11 or a temperature 12..14), or the status line
// with temperatures and fan states for any other value (-1, 0..5).
std::string ComposeStatusText(const SensorReadings& readings, int channel);

}  // namespace velmo::core
