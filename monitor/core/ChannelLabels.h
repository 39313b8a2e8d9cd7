// How the channels are named for people and other programs: the label the pages show, the unit,
// a reading in base units, and the feature it is for lm-sensors (in0, fan1, temp2 ...).
#pragma once

#include <cstdint>
#include <string>

#include "monitor/core/ChannelTable.h"

namespace velmo::core {

// The label the pages use for the channel on this board model ("Cpu Temp.", "+5V", "Vdimm").
std::string ChannelLabel(int item, int32_t mbModel);
// "RPM", "V" or "C".
const char* ChannelUnit(int item);
// A stored value in base units: RPM, volts (from millivolts), degrees Celsius.
double InBaseUnits(int item, int32_t value);
// The channel's lm-sensors feature for its register ("in0", "fan2", "temp3"); empty when the chip
// has no such input there.
std::string SensorsFeature(const ChannelRecord& record, int item, int32_t hmType);

}  // namespace velmo::core
