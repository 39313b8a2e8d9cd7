// Unit conversions shared by the status line and the pages.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace velmo::core {

// Fahrenheit for display: v x 9 / 5 + 32, truncated toward zero. Computed wide and saturated at
// the int32 ends, so that any stored value converts without overflow.
constexpr int32_t Fahrenheit(int32_t celsius) {
  const int64_t f = int64_t{9} * celsius / 5 + 32;
  return static_cast<int32_t>(std::clamp<int64_t>(f, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace velmo::core
