// Unit conversions the pages apply to their slots before showing them, and the showing itself,
// which turns a slot without a reading (kNoValue) into dashes.
#pragma once

#include <cstdint>

namespace velmo::display {

class CLedReadout;

// mV * 0.001 with the single-precision constant, as the readouts show volts.
float MillivoltsToVolts(int32_t millivolts);

// A count (RPM) slot: SetIntValue(v, false, 0, 100), or no value.
void ShowCount(CLedReadout& readout, int32_t slot);
// A millivolt slot in volts: SetFloatValue(volts, false, 0, 100), or no value.
void ShowVolts(CLedReadout& readout, int32_t millivolts);
// A Celsius slot on the two temperature readouts, each with its scale (0..100 C, 32..212 F), or
// no value on both.
void ShowTemperature(CLedReadout& celsius, CLedReadout& fahrenheit, int32_t slot);

}  // namespace velmo::display
