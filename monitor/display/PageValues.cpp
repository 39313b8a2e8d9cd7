#include "monitor/display/PageValues.h"

namespace velmo::display {

float MillivoltsToVolts(int32_t millivolts) {
  return static_cast<float>(millivolts) * 0.001f;
}

}  // namespace velmo::display
