// The texts of the alarm check: alarm sentences and the status line.
#pragma once

#include <cstdint>
#include <string>

#include "monitor/core/ChannelTable.h"
#include "monitor/core/Units.h"

namespace velmo::core {

struct MonitorState;

// The sentence for `channel` (a voltage 6..11 or a temperature 12..14), or the status line
// with temperatures and fan states for any other value (-1, 0..5).
std::string ComposeStatusText(const SensorReadings& readings, int channel);

// The same for a state whose present channels may lack a value (MonitorState::noValue): such a
// channel's temperature or fan state reads "--" in the status line, and it has no sentence of
// its own (the status line comes instead). With every value there, the texts are those above.
std::string ComposeStatusText(const MonitorState& state, int channel);

}  // namespace velmo::core
