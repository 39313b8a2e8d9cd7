// Unit conversions the pages apply to their slots before showing them.
#pragma once

#include <cstdint>

namespace velmo::display {

// mV * 0.001 with the single-precision constant, as the readouts show volts.
float MillivoltsToVolts(int32_t millivolts);

}  // namespace velmo::display
