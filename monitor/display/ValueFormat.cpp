#include "monitor/display/ValueFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <variant>

namespace velmo::display {
namespace {

using Value = std::variant<int32_t, double>;

// strchr would also match the terminator, and a std::string may hold a NUL.
bool OneOf(char c, const char* set) {
  return c != '\0' && std::strchr(set, c) != nullptr;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads up to two digits; false when there are more.
bool ReadNumber(const std::string& f, size_t& i) {
  size_t digits = 0;
  while (i < f.size() && IsDigit(f[i])) {
    ++i;
    ++digits;
  }
  return digits <= 2;
}

// Formats one conversion starting at f[start] == '%'. On return i is just past it.
// Returns false when the conversion is not one we format; the caller then copies it as text.
bool FormatConversion(const std::string& f, size_t start, size_t& i, const Value& v,
                      std::string& out) {
  i = start + 1;
  std::string pattern = "%";
  while (i < f.size() && OneOf(f[i], "-+ #0"))
    pattern += f[i++];
  size_t from = i;
  if (!ReadNumber(f, i)) return false;
  pattern.append(f, from, i - from);
  if (i < f.size() && f[i] == '.') {
    from = i++;
    if (!ReadNumber(f, i)) return false;
    pattern.append(f, from, i - from);
  }
  // Length modifiers are dropped: the argument is always exactly an int or a double.
  while (i < f.size() && OneOf(f[i], "hlLqjzt"))
    ++i;
  if (i >= f.size()) return false;
  const char conversion = f[i++];
  // '#' means nothing for d, i and u and the C standard leaves it undefined there.
  if (OneOf(conversion, "diu")) std::erase(pattern, '#');
  pattern += conversion;
  char buffer[256];
  int written = 0;
  if (OneOf(conversion, "di")) {
    const int32_t n = std::holds_alternative<int32_t>(v) ? std::get<int32_t>(v)
                                                         : TruncateToInt(std::get<double>(v));
    written = std::snprintf(buffer, sizeof buffer, pattern.c_str(), static_cast<int>(n));
  } else if (OneOf(conversion, "uoxX")) {
    const int32_t n = std::holds_alternative<int32_t>(v) ? std::get<int32_t>(v)
                                                         : TruncateToInt(std::get<double>(v));
    written = std::snprintf(buffer, sizeof buffer, pattern.c_str(),
                            static_cast<unsigned>(static_cast<uint32_t>(n)));
  } else if (OneOf(conversion, "fFeEgGaA")) {
    const double d = std::holds_alternative<double>(v) ? std::get<double>(v)
                                                       : static_cast<double>(std::get<int32_t>(v));
    written = std::snprintf(buffer, sizeof buffer, pattern.c_str(), d);
  } else {
    return false;
  }
  if (written < 0) return false;
  out.append(buffer, std::min(static_cast<size_t>(written), sizeof buffer - 1));
  return true;
}

std::string Format(const std::string& f, const Value& v) {
  std::string out;
  size_t i = 0;
  while (i < f.size()) {
    if (f[i] != '%') {
      out += f[i++];
      continue;
    }
    if (i + 1 < f.size() && f[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    size_t end = i;
    if (!FormatConversion(f, i, end, v, out)) {
      // Copy the '%' and carry on from the next character.
      out += f[i++];
      continue;
    }
    i = end;
  }
  return out;
}

}  // namespace

int32_t TruncateToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(v);
}

std::string FormatInt(const std::string& format, int32_t v) {
  return Format(format, Value{v});
}

std::string FormatFloat(const std::string& format, double v) {
  return Format(format, Value{v});
}

}  // namespace velmo::display
