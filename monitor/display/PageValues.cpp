#include "monitor/display/PageValues.h"

#include <algorithm>
#include <limits>

namespace velmo::display {

int32_t CelsiusToFahrenheit(int32_t celsius) {
  const int64_t f = int64_t{9} * celsius / 5 + 32;
  return static_cast<int32_t>(std::clamp<int64_t>(f, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

float MillivoltsToVolts(int32_t millivolts) {
  return static_cast<float>(millivolts) * 0.001f;
}

}  // namespace velmo::display
