#include "monitor/core/Acquisition.h"

#include <array>
#include <optional>

#include "monitor/core/MonitorState.h"
#include "monitor/core/boards/BoardTable.h"
#include "monitor/core/boards/ChipTable.h"
#include "monitor/hw/ChipBatch.h"
#include "monitor/hw/ChipRegisters.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::core {

namespace {

// The SiS 5595 boards' thermistor curve, its points: resistance (r below) at (22 - i) x 5 C.
constexpr std::array<int32_t, 32> kThermistor = {
    85,   97,   110,  126,  145,  166,   192,   222,   263,   302,  353,
    416,  491,  582,  694,  831,  1000,  1209,  1468,  1795,  2206, 2728,
    3389, 4246, 5340, 6777, 8643, 11133, 14406, 18848, 24768, 32948};

// The VIA 686A boards' sensor curve, its points: Celsius by inverted reading, 12..240.
constexpr int kLookupFirst = 12;
constexpr std::array<int8_t, 229> kLookup = {
    110, 109, 107, 105, 103, 101, 99,  97,  96,  94,  92,  91,  89,  88,  86,  85,  84,  83,
    81,  80,  79,  78,  77,  76,  75,  74,  73,  72,  71,  70,  69,  68,  67,  66,  66,  65,
    64,  63,  62,  62,  61,  60,  59,  59,  58,  57,  57,  56,  55,  55,  54,  53,  53,  52,
    52,  51,  51,  50,  49,  49,  48,  48,  47,  46,  46,  45,  45,  44,  44,  43,  43,  42,
    42,  41,  41,  40,  40,  39,  39,  38,  38,  37,  37,  36,  36,  35,  35,  35,  34,  34,
    33,  33,  32,  32,  31,  31,  30,  30,  30,  29,  29,  28,  28,  27,  27,  27,  26,  26,
    26,  25,  25,  24,  24,  23,  23,  22,  22,  22,  21,  21,  21,  20,  20,  19,  19,  18,
    18,  17,  17,  16,  16,  16,  15,  15,  14,  14,  13,  13,  13,  12,  12,  12,  11,  11,
    10,  10,  9,   9,   9,   8,   8,   7,   7,   6,   6,   5,   5,   5,   4,   4,   4,   3,
    3,   3,   1,   1,   1,   0,   0,   -1,  -1,  -2,  -2,  -3,  -3,  -4,  -4,  -5,  -5,  -6,
    -6,  -7,  -7,  -8,  -8,  -9,  -9,  -10, -11, -11, -12, -12, -13, -14, -14, -15, -15, -16,
    -17, -17, -18, -19, -20, -20, -21, -22, -23, -24, -24, -25, -26, -27, -28, -29, -30, -31,
    -32, -33, -34, -35, -37, -38, -39, -41, -43, -45, -47, -49, -50};

hw::ChipBatch::Slot ReadBanked(hw::ChipBatch& batch, const ChannelRecord& r) {
  return hw::ReadInBank(batch, static_cast<uint32_t>(r.bank),
                        static_cast<uint8_t>(r.valueRegister));
}

// A reading the back-end has only in the channel's unit (a kernel driver's value that no
// register reproduces) replaces the register's conversion; the substitutions still apply.
std::optional<int32_t> Engineering(const hw::PortAccess& ports, const ChannelRecord& r) {
  return ports.EngineeringValue(static_cast<uint32_t>(r.bank),
                                static_cast<uint8_t>(r.valueRegister));
}

void UpdateRangeState(ChannelRecord& r, bool outOfRange) {
  if (static_cast<int32_t>(outOfRange) != r.outOfRange) r.changed = 1;
  r.outOfRange = outOfRange ? 1 : 0;
}

// Voltages are out of range outside [lower, upper]; temperatures at or above both limits (the
// lower one is the hysteresis). Fans have no range.
void CheckRange(int item, ChannelRecord& r) {
  if (IsVoltage(item)) {
    UpdateRangeState(r, r.value < r.alarm.lower || r.value > r.alarm.upper);
  } else if (IsTemperature(item)) {
    const bool atUpper = r.value >= r.alarm.upper;
    UpdateRangeState(r, atUpper && r.value >= r.alarm.lower);
    if (atUpper && r.value < r.alarm.lower) r.changed = 1;
  }
}

int32_t VoltageMillivolts(const MonitorState& state, VoltageCurve curve, int item, uint32_t raw) {
  if (raw == 255) return 0;
  const VoltageScale s = state.voltageScale[static_cast<size_t>(item - VCORE)];
  const int64_t a = s.a, b = s.b, c = s.c, r = raw;
  if (b == 0) return 0;  // scales are fixed in code; guard the division all the same
  int64_t mv;
  if (curve == VoltageCurve::kInvertedNegative && (item == VN12 || item == VN5)) {
    // Inverting inputs against the chip's 3.6 V reference, 16 mV a step down from 225.
    mv = ((a * (225 - r) * 16) / b - 3600) * c;
  } else if (curve == VoltageCurve::kVia686a) {
    // The 686A's transfer function, mV = (25 x raw + 133) / 2.628; the second core input's
    // readings up to 64 take the +6533 branch.
    const int64_t offset = (item == VCORE2 && raw <= 64) ? 6533 : 133;
    mv = ((a * (25 * r + offset) * 1000) / (b * 2628)) * c;
  } else {
    mv = ((a * r * 16) / b) * c;  // the chip's ADC: 16 mV a step
  }
  return static_cast<int32_t>(mv);
}

int32_t TemperatureDegrees(TemperatureCurve curve, uint32_t raw) {
  int32_t degrees;
  switch (curve) {
    case TemperatureCurve::kThermistor:
      degrees = ThermistorDegrees(raw);
      break;
    case TemperatureCurve::kVia686aLookup:
      degrees = LookupDegrees(raw);
      break;
    case TemperatureCurve::kDegrees:
    default:
      degrees = static_cast<int32_t>(raw);  // one degree a step, no sign
      break;
  }
  return degrees > 110 ? 0 : degrees;  // above the sensors' range: no reading
}

}  // namespace

int32_t FanRpm(uint32_t count, uint32_t divisor) {
  if (count == 0 || count == 255 || divisor == 0) return 0;
  constexpr uint32_t kFanClockPerMinute = 22500u * 60u;  // the chips' 22.5 kHz fan counter clock
  return static_cast<int32_t>(kFanClockPerMinute / divisor / count);
}

int32_t ThermistorDegrees(uint32_t raw) {
  const int32_t t = static_cast<int32_t>((64u - raw) & 0xFF);
  if (t >= 160) return 0;
  // a: the input, 32 counts to 100; r: the thermistor's resistance in a divider with 330 on a
  // supply of 500 (the curve's units).
  const int32_t a = (t * 100) / 32;
  const int32_t r = (a * 330) / (500 - a);
  size_t i = 0;
  while (i < kThermistor.size() && r >= kThermistor[i])
    ++i;
  // Beyond the coldest entry (only raw 161) the sensor is outside its curve: report 0 like the
  // other no-reading substitutions rather than extrapolate.
  if (i == kThermistor.size()) return 0;
  if (i == 0) i = 1;
  const int32_t lo = kThermistor[i - 1], hi = kThermistor[i];
  return (22 - static_cast<int32_t>(i)) * 5 + ((lo - r) * 500 / (hi - lo)) / 100;
}

int32_t LookupDegrees(uint32_t raw) {
  uint32_t x = (raw ^ 0xFF) & 0xFF;
  if (x > 240 || x < 12) x = 180;
  return kLookup[x - kLookupFirst];
}

void AcquireReadings(MonitorState& state, hw::PortAccess& ports) {
  const ChipInfo* chip = FindChip(state.hmType);
  const VoltageCurve voltages = chip ? chip->voltages : VoltageCurve::kLinear;
  const TemperatureCurve temperatures = chip ? chip->temperatures : TemperatureCurve::kDegrees;
  // Which registers are read does not depend on what they hold: every read of the tick goes
  // in one batch, and the values are converted once it has run.
  struct Pending {
    std::optional<hw::ChipBatch::Slot> divisor;  // fans with a divisor register
    hw::ChipBatch::Slot value;
  };
  std::array<std::optional<Pending>, kChannelCount> pending;
  hw::ChipBatch batch(ports);
  for (int item = 0; item < kChannelCount; ++item) {
    const ChannelRecord& r = state[item];
    if (r.present == 0) continue;
    Pending& p = pending[static_cast<size_t>(item)].emplace();
    if (IsFan(item)) {
      if (r.upperRegister != 0)
        p.divisor = batch.ReadChipRegister(static_cast<uint8_t>(r.upperRegister));
      p.value = batch.ReadChipRegister(static_cast<uint8_t>(r.valueRegister));
    } else {
      if (item == V5 && chip && chip->discardsFirstV5Read) ReadBanked(batch, r);
      p.value = ReadBanked(batch, r);
    }
  }
  batch.Run();

  for (int item = 0; item < kChannelCount; ++item) {
    if (!pending[static_cast<size_t>(item)]) continue;
    const Pending& p = *pending[static_cast<size_t>(item)];
    ChannelRecord& r = state[item];
    if (IsFan(item)) {
      uint32_t divisor = 2;  // a fan without a divisor field runs at the chips' reset divisor
      if (p.divisor) {
        // The two-bit divisor field: 1, 2, 4 or 8.
        const uint32_t reg = batch.Value(*p.divisor);
        divisor = 1u << ((reg >> (static_cast<uint32_t>(r.lowerRegister) & 31)) & 3);
      }
      r.value = FanRpm(batch.Value(p.value) & 0xFF, divisor);
      if (const auto rpm = Engineering(ports, r)) r.value = *rpm < 0 ? 0 : *rpm;
    } else if (IsVoltage(item)) {
      r.value = VoltageMillivolts(state, voltages, item, batch.Value(p.value) & 0xFF);
      if (const auto mv = Engineering(ports, r)) r.value = *mv;
      CheckRange(item, r);
    } else {
      r.value = TemperatureDegrees(temperatures, batch.Value(p.value) & 0xFF);
      if (const auto degrees = Engineering(ports, r)) r.value = *degrees > 110 ? 0 : *degrees;
      CheckRange(item, r);
    }
  }
}

void AcquireKernelReadings(MonitorState& state,
                           const std::array<std::optional<int32_t>, 15>& values) {
  for (int item = 0; item < kChannelCount; ++item) {
    ChannelRecord& r = state[item];
    if (r.present == 0) continue;
    const std::optional<int32_t>& value = values[static_cast<size_t>(item)];
    state.noValue[static_cast<size_t>(item)] = !value.has_value();
    if (!value) {
      // Nothing read: shown as no value, and no alarm on a reading nobody took.
      r.value = 0;
      if (!IsFan(item)) UpdateRangeState(r, false);
      continue;
    }
    // The kernel's value as it is: its drivers already give up on impossible readings.
    r.value = IsFan(item) && *value < 0 ? 0 : *value;
    CheckRange(item, r);
  }
}

void ProgramBeepControl(const MonitorState& state, hw::PortAccess& ports) {
  const ChipInfo* chip = FindChip(state.hmType);
  if (!chip || !chip->hasBeepControl) return;
  // One batch: the read-modify-writes take their old values inside it, and the interrupt-status
  // reads are discarded, so nothing here waits for it to be done (see PortAccess::Post).
  hw::ChipBatch batch(ports);
  auto holds = [&state](int32_t item, BeepRule::When when) {
    if (item < 0 || item >= kChannelCount) return true;
    const ChannelRecord& r = state[item];
    return r.alarm.enabled != 0 && (when == BeepRule::kEnabled || r.outOfRange != 0);
  };
  auto assign = [&](std::span<const BeepRule> rules) {
    for (const BeepRule& rule : rules)
      hw::AssignBit(batch, rule.bit, holds(rule.item, rule.when) && holds(rule.item2, rule.when));
  };
  hw::AssignBit(batch, hw::kBeepEnableAll, state.params.bAlarm != 0);
  assign(chip->beepsBeforeBoard);
  assign(BoardFor(state.mbModel).beeps);
  assign(chip->beepsAfterBoard);
  // The interrupt status clears on reading; the values are not needed.
  hw::ReadRegister(batch, hw::kRegInterruptStatus1);
  hw::ReadRegister(batch, hw::kRegInterruptStatus2);
  batch.Post();
}

}  // namespace velmo::core
