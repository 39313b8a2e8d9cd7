// The four chip profiles: each chip's default channel table in channel order (CPUFAN .. CPUTEMP),
// which channels exist, where each is read and its default alarm range. For fans the upper
// register is the divisor register (0: none) and the lower one the divisor field's bit position.
#include "monitor/core/ChipProfiles.h"

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
// Columns: present, bank, value / upper / lower register, upper, lower, enabled, adjustMax,
// adjustMin, step, defaultUpper, defaultLower, defaultEnabled, message.
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

}  // namespace

ChipProfiles DefaultChipProfiles() {
  return {ProfileW83781d(), ProfileW83782d(), ProfileSis5595(), ProfileVia686a(), {}, 0};
}

}  // namespace velmo::core
