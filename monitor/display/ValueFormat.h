// printf-style formatting of one readout value, safe for any format text.
#pragma once

#include <cstdint>
#include <string>

namespace velmo::display {

// Applies format to v as printf would for the conversions d i o u x X (as an int) and f F e E g G
// a A (as a double). A conversion of the other kind gets the value converted to its type (a float
// value truncated toward zero, saturating), so a format never reads an argument of the wrong type.
// Every conversion formats the same single value. Anything printf would need more arguments or
// other types for (%s, %n, %*d, ...) and widths or precisions above 99 are copied as text.
std::string FormatInt(const std::string& format, int32_t v);
std::string FormatFloat(const std::string& format, double v);

// Truncates toward zero into int32 range: saturating at the ends, 0 for NaN.
int32_t TruncateToInt(double v);

}  // namespace velmo::display
