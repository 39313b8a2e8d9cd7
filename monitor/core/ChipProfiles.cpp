#include "monitor/core/ChipProfiles.h"

#include "monitor/core/Identification.h"
#include "monitor/core/MonitorState.h"
#include "monitor/hw/PciConfig.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::core {

namespace {

constexpr int32_t kNone = kMessageNone;
constexpr int32_t kVolt = kMessageVoltage;
constexpr int32_t kTemp = kMessageTemperature;

// One profile row, columns in the order the profile tables are written down.
ChannelRecord Row(int32_t present, int32_t bank, int32_t valueReg, int32_t upperReg,
                  int32_t lowerReg, int32_t upper, int32_t lower, int32_t enabled,
                  int32_t adjustMax, int32_t adjustMin, int32_t step, int32_t defaultUpper,
                  int32_t defaultLower, int32_t defaultEnabled, int32_t messageRef) {
  ChannelRecord r;
  r.present = present;
  r.bank = bank;
  r.valueRegister = valueReg;
  r.upperRegister = upperReg;
  r.lowerRegister = lowerReg;
  r.outOfRange = 0;
  r.changed = 1;
  r.value = 0;
  r.alarm = {upper, lower,        enabled,      adjustMax,     adjustMin,
             step,  defaultUpper, defaultLower, defaultEnabled};
  r.messageRef = messageRef;
  return r;
}

// clang-format off
SensorReadings ProfileW83781d() {
  return {{
    Row(1, 0, 0x28, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x29, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x2A, 0,    0,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x20, 0x2B, 0x2C,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(1, 0, 0x22, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x23, 0x31, 0x32,    5500,   4500, 1,   6000,   4000, 10,   5250,   4750, 1, kVolt),
    Row(1, 0, 0x24, 0x33, 0x34,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(1, 0, 0x25, 0x35, 0x36,  -10500, -13500, 1, -10000, -14000, 10, -10500, -13500, 1, kVolt),
    Row(1, 0, 0x26, 0x37, 0x38,   -4500,  -5500, 0,  -4000,  -6000, 10,  -4500,  -5500, 0, kVolt),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x27, 0x79, 0x7A,      65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(1, 1, 0x50, 0x55, 0x53,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, 2, 0x50, 0x55, 0x53,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
}

SensorReadings ProfileW83782d() {
  return {{
    Row(1, 0, 0x29, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x28, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x2A, 0x4B, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x20, 0x2B, 0x2C,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(1, 0, 0x22, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x23, 0x31, 0x32,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x24, 0x33, 0x34,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(1, 0, 0x25, 0x35, 0x36,  -10500, -13500, 1, -10000, -14000, 10, -10500, -13500, 1, kVolt),
    Row(1, 0, 0x26, 0x37, 0x38,   -4500,  -5500, 0,  -4000,  -6500, 10,  -4500,  -5500, 0, kVolt),
    Row(1, 5, 0x51, 0x56, 0x57,    3500,   2500, 1,   4000,   2000, 10,   3500,   2500, 1, kVolt),
    Row(0, 5, 0x50, 0x54, 0x55,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x27, 0x79, 0x7A,      85,     80, 1,    100,     30,  1,     85,     80, 1, kTemp),
    Row(1, 2, 0x50, 0x55, 0x53,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, 1, 0x50, 0x55, 0x53,      95,     90, 1,    120,     30,  1,     95,     90, 1, kTemp),
  }};
}

SensorReadings ProfileSis5595() {
  SensorReadings p = {{
    Row(1, 0, 0x28, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x29, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(0, 0, 0x2A, 0,    0,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x23, 0x31, 0x32,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0,    0,    0,          0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(1, 0, 0x22, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x21, 0x2D, 0x2E,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x20, 0x2B, 0x2C,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(0, 0, 0,    0,    0,          0,      0, 0,      0,      0,  0,      0,      0, 0, kNone),
    Row(0, 0, 0,    0,    0,          0,      0, 0,      0,      0,  0,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0,    0,    0,         65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(0, 0, 0,    0,    0,         65,     60, 0,    100,     30,  1,     65,     60, 0, kTemp),
    Row(1, 0, 0x24, 0x33, 0x34,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
  p[CPUTEMP].value = 40;
  return p;
}

SensorReadings ProfileVia686a() {
  return {{
    Row(1, 0, 0x29, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x2A, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(0, 0, 0x2A, 0,    0,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x22, 0x2B, 0x2C,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0x23, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,   3000,   3000, 0, kNone),
    Row(1, 0, 0x24, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x25, 0x31, 0x32,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x26, 0x33, 0x34,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(0, 0, 0x25, 0x35, 0x36,  -11000, -13000, 0, -10000, -14000, 10, -11000, -13000, 1, kVolt),
    Row(0, 0, 0x26, 0x37, 0x38,   -4750,  -5250, 0,  -4000,  -6000, 10,  -4750,  -5250, 0, kVolt),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x27, 0x79, 0x7A,      65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(1, 0, 0x21, 0x3B, 0x3C,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, 0, 0x20, 0x39, 0x3A,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
}
// clang-format on

void SetLimits(ChannelRecord& r, int32_t upper, int32_t lower, int32_t adjustMax,
               int32_t adjustMin) {
  r.alarm.upper = upper;
  r.alarm.lower = lower;
  r.alarm.defaultUpper = upper;
  r.alarm.defaultLower = lower;
  r.alarm.adjustMax = adjustMax;
  r.alarm.adjustMin = adjustMin;
}

void SetRegisters(ChannelRecord& r, int32_t bank, int32_t valueReg, int32_t upperReg,
                  int32_t lowerReg) {
  r.bank = bank;
  r.valueRegister = valueReg;
  r.upperRegister = upperReg;
  r.lowerRegister = lowerReg;
}

void EditW83781dProfile(MonitorState& state, hw::PortAccess& ports, bool first) {
  // A VIA 586 south bridge keeps the chip's own temperature banks.
  if (ports.ProbePciId(hw::kPciViaBridge, hw::kIdVia586)) return;
  SensorReadings& p = state.profiles.w83781d;
  if (!first) {
    p[CPUTEMP].bank = 1;  // the other edits are already in the profile
    return;
  }
  if (state.mbModel == kModelPositiveRails) {
    // This board wires VN5 and VN12 as positive rails (memory and 3.3 V).
    SetLimits(p[VN5], 2700, 2300, 3000, 1000);
    p[VN5].alarm.enabled = 1;
    p[VN5].alarm.defaultEnabled = 1;
    SetLimits(p[VN12], 3450, 3250, 4000, 2000);
    SetRegisters(p[SYSTEMP], 0, 0x27, 0x39, 0x3A);
    p[CPUTEMP].bank = 1;
  } else {
    p[SYSTEMP].bank = 2;
    p[CPUTEMP].bank = 1;
  }
}

}  // namespace

ChipProfiles DefaultChipProfiles() {
  return {ProfileW83781d(), ProfileW83782d(), ProfileSis5595(), ProfileVia686a(), 0};
}

void SelectChipProfile(MonitorState& state, hw::PortAccess& ports) {
  ChipProfiles& profiles = state.profiles;
  const bool first = profiles.selections == 0;
  switch (state.hmType) {
    case kHmW83781d:
      EditW83781dProfile(state, ports, first);
      state.readings = profiles.w83781d;
      break;
    case kHmW83782d:
      state.readings = profiles.w83782d;
      break;
    case kHmW83627hf: {
      SensorReadings& p = profiles.w83782d;
      p[VCORE].valueRegister = 0x21;
      p[VCORE2].valueRegister = 0x20;
      for (int item : {VB, V5SB}) {
        p[item].alarm.enabled = 0;
        p[item].alarm.defaultEnabled = 0;
      }
      state.readings = p;
      break;
    }
    case kHmSis5595:
      state.readings = profiles.sis5595;
      break;
    case kHmVia686a:
      state.readings = profiles.via686a;
      if (first && state.mbModel == kModelViaAgp) state[VCORE2].present = 1;
      break;
    default:
      return;
  }
  ++profiles.selections;
}

void ApplyBoardAdjustments(MonitorState& state) {
  const int32_t model = state.mbModel;
  switch (state.hmType) {
    case kHmW83781d:
      state[VN12].upperRegister = 0x36;
      state[VN12].lowerRegister = 0x35;
      state[VN5].upperRegister = 0x38;
      state[VN5].lowerRegister = 0x37;
      if (model == kModelPositiveRails) {
        // Stored limits are replaced at every start on this board.
        SetLimits(state[VN5], 2700, 2300, 3000, 1000);
        state[VN5].alarm.enabled = 1;
        state[VN5].alarm.defaultEnabled = 1;
        SetLimits(state[VN12], 3600, 3100, 4000, 2000);
        state[VN12].alarm.enabled = 1;
        state.Scale(VN12) = {1, 1, 1};
        state.Scale(VN5) = {1, 1, 1};
        SetRegisters(state[SYSTEMP], 0, 0x27, 0x39, 0x3A);
        state[CPUTEMP].bank = 1;
        state[VIO].alarm.enabled = 0;
      }
      break;
    case kHmW83782d:
    case kHmW83627hf: {
      if (model == kModelAgpVdimm) state[VCORE2].present = 1;
      state.Scale(VN12).a = 288;
      state.Scale(VN12).b = 56;
      state.Scale(VN5).a = 176;
      state.Scale(VN5).b = 56;
      state[VN12].upperRegister = 0x35;
      state[VN12].lowerRegister = 0x36;
      state[VN5].upperRegister = 0x37;
      state[VN5].lowerRegister = 0x38;
      if (state.hmType == kHmW83782d || model == kModelDualCpu) {
        const SensorReadings& profile = state.profiles.w83782d;
        AlarmRange& vcore2 = state[VCORE2].alarm;
        const AlarmRange& vcore = profile[VCORE].alarm;
        vcore2.upper = vcore.upper;
        vcore2.lower = vcore.lower;
        vcore2.adjustMax = vcore.adjustMax;
        vcore2.adjustMin = vcore.adjustMin;
        vcore2.step = vcore.step;
        vcore2.defaultUpper = vcore.defaultUpper;
        vcore2.defaultLower = vcore.defaultLower;
        state[VCORE2].present = 1;
        // These boards wire the chassis and auxiliary fans the other way round.
        const ChannelRecord& aux = profile[AUXFAN];
        const ChannelRecord& cha = profile[CHAFAN];
        SetRegisters(state[CHAFAN], state[CHAFAN].bank, aux.valueRegister, aux.upperRegister,
                     aux.lowerRegister);
        SetRegisters(state[AUXFAN], state[AUXFAN].bank, cha.valueRegister, cha.upperRegister,
                     cha.lowerRegister);
        state.Scale(VN12).a = 266;
        state.Scale(VN5).a = 147;
      }
      break;
    }
    case kHmSis5595:
      // The SiS 5595 boards' own rail dividers, from the maker's monitor program.
      state.Scale(VCORE) = {301, 300, 1};
      state.Scale(VIO) = {301, 300, 1};
      state.Scale(V5) = {168, 100, 1};
      state.Scale(V12) = {400, 100, 1};
      break;
    case kHmVia686a:
      // The VIA 686A boards' own rail dividers, from the maker's monitor program.
      state.Scale(VCORE) = {125, 100, 1};
      state.Scale(VCORE2) = {5, 4, 1};
      state.Scale(VIO) = {5, 3, 1};
      state.Scale(V5) = {26, 10, 1};
      state.Scale(V12) = {63, 10, 1};
      if (model == kModelViaAgp) state[VCORE2].present = 1;
      break;
    default:
      break;
  }
}

}  // namespace velmo::core
