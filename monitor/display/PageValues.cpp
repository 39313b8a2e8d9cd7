#include "monitor/display/PageValues.h"

#include "monitor/core/PageSlots.h"
#include "monitor/core/Units.h"
#include "monitor/display/LedReadout.h"

namespace velmo::display {

float MillivoltsToVolts(int32_t millivolts) {
  return static_cast<float>(millivolts) * 0.001f;
}

void ShowCount(CLedReadout& readout, int32_t slot) {
  if (slot == core::kNoValue) {
    readout.ShowNoValue();
    return;
  }
  readout.SetIntValue(slot, false, 0, 100);
}

void ShowVolts(CLedReadout& readout, int32_t millivolts) {
  if (millivolts == core::kNoValue) {
    readout.ShowNoValue();
    return;
  }
  readout.SetFloatValue(MillivoltsToVolts(millivolts), false, 0, 100);
}

void ShowTemperature(CLedReadout& celsius, CLedReadout& fahrenheit, int32_t slot) {
  if (slot == core::kNoValue) {
    celsius.ShowNoValue();
    fahrenheit.ShowNoValue();
    return;
  }
  celsius.SetIntValue(slot, true, 0, 100);
  fahrenheit.SetIntValue(core::Fahrenheit(slot), true, 32, 212);
}

}  // namespace velmo::display
