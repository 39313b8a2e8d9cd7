// Unit conversions the pages apply to their slots before showing them.
#pragma once

#include <cstdint>

namespace velmo::display {

// 9 * c / 5 + 32 in integer arithmetic truncating toward zero, saturating at the int32 ends.
int32_t CelsiusToFahrenheit(int32_t celsius);

// mV * 0.001 with the single-precision constant, as the readouts show volts.
float MillivoltsToVolts(int32_t millivolts);

}  // namespace velmo::display
