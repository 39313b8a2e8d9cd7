#include "monitor/hwmon/KernelValues.h"

#include <array>
#include <cmath>

namespace velmo::hwmon {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The VIA driver's input factors (public: the chip's documented divider ratios).
constexpr std::array<double, 5> kViaFactor = {1.25, 1.25, 1.67, 2.6, 6.3};

}  // namespace

std::optional<uint8_t> PinVoltageRegister(int64_t millivolts) {
  if (millivolts < 0 || millivolts > 255 * 16 || millivolts % 16 != 0) return std::nullopt;
  return static_cast<uint8_t>(millivolts / 16);
}

std::optional<uint8_t> Temperature8Register(int64_t millidegrees) {
  if (millidegrees % 1000 != 0) return std::nullopt;
  const int64_t degrees = millidegrees / 1000;
  if (degrees < -128 || degrees > 127) return std::nullopt;
  return static_cast<uint8_t>(degrees & 0xFF);
}

std::optional<uint8_t> Temperature9HighRegister(int64_t millidegrees) {
  if (millidegrees % 500 != 0) return std::nullopt;
  const int64_t degrees = FloorDiv(millidegrees, 1000);
  if (degrees < -128 || degrees > 127) return std::nullopt;
  return static_cast<uint8_t>(degrees & 0xFF);
}

std::optional<uint8_t> FanCountRegister(int64_t rpm, int64_t divisor) {
  if (divisor < 1 || divisor > 8) return std::nullopt;
  if (rpm == 0) return 255;
  if (rpm == -1) return 0;
  if (rpm < 0) return std::nullopt;
  // RPM falls with the count, so at most one count gives a given RPM at one divisor.
  for (int64_t count = 1; count <= 254; ++count)
    if (1350000 / (count * divisor) == rpm) return static_cast<uint8_t>(count);
  return std::nullopt;
}

std::optional<uint8_t> FanDivisorField(int64_t divisor) {
  switch (divisor) {
    case 1:
      return 0;
    case 2:
      return 1;
    case 4:
      return 2;
    case 8:
      return 3;
    default:
      return std::nullopt;
  }
}

std::optional<uint8_t> ViaVoltageRegister(unsigned input, int64_t millivolts) {
  if (input >= kViaFactor.size()) return std::nullopt;
  std::optional<uint8_t> found;
  for (int reg = 0; reg <= 255; ++reg) {
    const double exact = (25.0 * reg + 133.0) * kViaFactor[input] * 1000.0 / 2628.0;
    // The driver rounds or truncates to whole millivolts; either lands within 1 mV, and the
    // registers lie at least 11 mV apart, so a second match means the value is not one of them.
    if (std::fabs(exact - static_cast<double>(millivolts)) < 1.0) {
      if (found) return std::nullopt;
      found = static_cast<uint8_t>(reg);
    }
  }
  return found;
}

int64_t SisTemperatureMillidegrees(uint8_t reg) {
  return static_cast<int64_t>(static_cast<int8_t>(reg)) * 830 + 52120;
}

std::optional<uint8_t> SisTemperatureRegister(int64_t millidegrees) {
  const int64_t offset = millidegrees - 52120;
  if (offset % 830 != 0) return std::nullopt;
  const int64_t reg = offset / 830;
  if (reg < -128 || reg > 127) return std::nullopt;
  return static_cast<uint8_t>(reg & 0xFF);
}

int32_t WholeDegrees(int64_t millidegrees) {
  const int64_t half = millidegrees < 0 ? -500 : 500;
  return static_cast<int32_t>((millidegrees + half) / 1000);
}

}  // namespace velmo::hwmon
