// One reading of the board in the JSON shape `sensors -j` prints, so that the tools that read
// lm-sensors' output can read Velmo's boards too.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>

namespace velmo::core {

struct MonitorState;

// {"<chip>-isa-<addr>": {"Adapter": "ISA adapter", "<label>": {"<feature>_input": ..., ...}}}:
// every present channel under the label the pages use, in base units (V, RPM, degrees C), with
// its limits (_min/_max; temperatures _max and _max_hyst) and its alarm flag (an enabled
// channel out of range); a channel without a reading (MonitorState::noValue) has no _input.
// `chipIoBase` is the
// VIA 686A block's base (0 for the chips at 0x290).
nlohmann::ordered_json SensorsJson(const MonitorState& state, uint32_t chipIoBase);

}  // namespace velmo::core
