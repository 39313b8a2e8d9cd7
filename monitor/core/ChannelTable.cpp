#include "monitor/core/ChannelTable.h"

#include "monitor/base/LittleEndian.h"

namespace velmo::core {

const char* ChannelName(int item) {
  static constexpr const char* kNames[kChannelCount] = {
      "CPUFAN", "CHAFAN", "AUXFAN", "VCORE", "VCORE2",  "VIO",     "V5",     "V12",
      "VN12",   "VN5",    "VB",     "V5SB",  "RESTEMP", "SYSTEMP", "CPUTEMP"};
  return (item >= 0 && item < kChannelCount) ? kNames[item] : "";
}

namespace {
std::array<int32_t, kRecordWords> Words(const ChannelRecord& r) {
  const AlarmRange& a = r.alarm;
  return {r.present,   r.bank,  r.valueRegister, r.upperRegister, r.lowerRegister,  r.outOfRange,
          r.changed,   r.value, a.upper,         a.lower,         a.enabled,        a.adjustMax,
          a.adjustMin, a.step,  a.defaultUpper,  a.defaultLower,  a.defaultEnabled, r.messageRef};
}
}  // namespace

std::array<uint8_t, kRecordBytes> EncodeRecord(const ChannelRecord& record) {
  std::array<uint8_t, kRecordBytes> out{};
  const auto words = Words(record);
  for (size_t i = 0; i < kRecordWords; ++i)
    base::StoreLe32(&out[4 * i], static_cast<uint32_t>(words[i]));
  return out;
}

std::optional<ChannelRecord> DecodeRecord(std::span<const uint8_t> bytes) {
  if (bytes.size() < kRecordBytes) return std::nullopt;
  std::array<int32_t, kRecordWords> w{};
  for (size_t i = 0; i < kRecordWords; ++i)
    w[i] = static_cast<int32_t>(base::LoadLe32(&bytes[4 * i]));
  ChannelRecord r;
  r.present = w[0];
  r.bank = w[1];
  r.valueRegister = w[2];
  r.upperRegister = w[3];
  r.lowerRegister = w[4];
  r.outOfRange = w[5];
  r.changed = w[6];
  r.value = w[7];
  r.alarm = {w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15], w[16]};
  r.messageRef = w[17];
  return r;
}

// The boards' input dividers, mV = a x raw x 16 / b x c: the resistor ratios in front of +5 V,
// +12 V, -12 V, -5 V and 5VSB (c = -1 for the negative rails); the core and I/O inputs are direct.
std::array<VoltageScale, kScaleCount> DefaultVoltageScales() {
  return {{{1, 1, 1},
           {1, 1, 1},
           {1, 1, 1},
           {169, 100, 1},
           {38, 10, 1},
           {208, 60, -1},
           {90, 60, -1},
           {1, 1, 1},
           {126, 75, 1}}};
}

}  // namespace velmo::core
