// The channel table: the 15 monitored items, their records, voltage scales and alarm ranges.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace velmo::core {

enum MonitorItem : int32_t {
  CPUFAN = 0,
  CHAFAN,
  AUXFAN,
  VCORE,
  VCORE2,
  VIO,
  V5,
  V12,
  VN12,
  VN5,
  VB,
  V5SB,
  RESTEMP,
  SYSTEMP,
  CPUTEMP,
};
inline constexpr int kChannelCount = 15;

// Name of a channel as used in events and stored value names ("CPUFAN" ...).
const char* ChannelName(int item);
inline constexpr bool IsFan(int item) {
  return item >= CPUFAN && item <= AUXFAN;
}
inline constexpr bool IsVoltage(int item) {
  return item >= VCORE && item <= V5SB;
}
inline constexpr bool IsTemperature(int item) {
  return item >= RESTEMP && item <= CPUTEMP;
}

// Which alarm sentence a channel uses.
enum MessageRef : int32_t { kMessageNone = 0, kMessageVoltage = 1, kMessageTemperature = 2 };

// The nine alarm words of a channel record.
struct AlarmRange {
  int32_t upper = 0;
  int32_t lower = 0;
  int32_t enabled = 0;
  int32_t adjustMax = 0;
  int32_t adjustMin = 0;
  int32_t step = 0;
  int32_t defaultUpper = 0;
  int32_t defaultLower = 0;
  int32_t defaultEnabled = 0;
  bool operator==(const AlarmRange&) const = default;
};

// Eighteen signed 32-bit words; the stored form is these words little-endian, in this order.
struct ChannelRecord {
  int32_t present = 0;
  int32_t bank = 0;
  int32_t valueRegister = 0;
  int32_t upperRegister = 0;  // fans: divisor register, 0 = none
  int32_t lowerRegister = 0;  // fans: bit position of the divisor field
  int32_t outOfRange = 0;
  int32_t changed = 1;
  int32_t value = 0;
  AlarmRange alarm;
  int32_t messageRef = kMessageNone;
  bool operator==(const ChannelRecord&) const = default;
};

inline constexpr size_t kRecordWords = 18;
inline constexpr size_t kRecordBytes = kRecordWords * 4;  // 72
std::array<uint8_t, kRecordBytes> EncodeRecord(const ChannelRecord& record);
// nullopt when fewer than 72 bytes are given; extra bytes are ignored.
std::optional<ChannelRecord> DecodeRecord(std::span<const uint8_t> bytes);

// Multiplier a, divisor b and factor c of a voltage conversion.
struct VoltageScale {
  int32_t a = 1;
  int32_t b = 1;
  int32_t c = 1;
  bool operator==(const VoltageScale&) const = default;
};
inline constexpr int kScaleCount = V5SB - VCORE + 1;  // VCORE..V5SB
std::array<VoltageScale, kScaleCount> DefaultVoltageScales();

using SensorReadings = std::array<ChannelRecord, kChannelCount>;

// The five application parameters, stored as 4-byte values.
struct AppParams {
  int32_t AutoUpdateInterval = 5;
  int32_t bAutoUpdate = 1;
  int32_t bAlarm = 1;
  int32_t bInstallOnTaskbar = 1;
  int32_t iWarningActs = 0;
  bool operator==(const AppParams&) const = default;
};

}  // namespace velmo::core
