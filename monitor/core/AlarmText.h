// The texts of the alarm check: alarm sentences and the status line.
#pragma once

#include <cstdint>
#include <string>

#include "monitor/core/ChannelTable.h"

namespace velmo::core {

// The sentence for `channel` (a voltage 6..11 or a temperature 12..14), or the status line
// with temperatures and fan states for any other value (-1, 0..5).
std::string ComposeStatusText(const SensorReadings& readings, int channel);
// Fahrenheit for display: v x 9 / 5 + 32, truncated toward zero.
// Computed wide so that any stored value converts without overflow.
inline int32_t Fahrenheit(int32_t celsius) {
  return static_cast<int32_t>(int64_t{celsius} * 9 / 5 + 32);
}

}  // namespace velmo::core
