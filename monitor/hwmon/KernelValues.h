// From a kernel hwmon driver's attribute values (millivolts, millidegrees, RPM) back to the chip
// register the driver computed them from, wherever one register value gives exactly that
// attribute; nullopt where none does, and the caller then uses the driver's value as it is.
#pragma once

#include <cstdint>
#include <optional>

namespace velmo::hwmon {

// Winbond and SiS inputs report the pin voltage: register x 16 mV.
std::optional<uint8_t> PinVoltageRegister(int64_t millivolts);
// An 8-bit signed temperature register (whole degrees); the monitor reads the byte unsigned.
std::optional<uint8_t> Temperature8Register(int64_t millidegrees);
// The high byte of a 9-bit temperature (0.5 degree steps): the monitor reads only that byte, so
// the half degree is dropped as the chip's own high byte drops it.
std::optional<uint8_t> Temperature9HighRegister(int64_t millidegrees);
// The count register of a fan for the driver's RPM at divisor `divisor` (1..8): 255 for a
// stopped fan (0 RPM), 0 for the driver's -1; nullopt when no count gives exactly `rpm`.
std::optional<uint8_t> FanCountRegister(int64_t rpm, int64_t divisor);
// The two-bit divisor field for a divisor of 1, 2, 4 or 8; nullopt for any other divisor.
std::optional<uint8_t> FanDivisorField(int64_t divisor);
// VIA 686A input `input` (0..4), which the driver scales by (25 x reg + 133) x f / 2628 with the
// input's factor f: the register whose value rounds to `millivolts`, if exactly one does.
std::optional<uint8_t> ViaVoltageRegister(unsigned input, int64_t millivolts);
// SiS 5595 temperature: signed register x 0.83 + 52.12 degrees, in millidegrees.
std::optional<uint8_t> SisTemperatureRegister(int64_t millidegrees);
int64_t SisTemperatureMillidegrees(uint8_t reg);

// The driver's millidegrees as whole degrees (nearest), for a reading kept in engineering units.
int32_t WholeDegrees(int64_t millidegrees);

}  // namespace velmo::hwmon
