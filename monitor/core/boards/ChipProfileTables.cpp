// The four chip profiles: each chip's default channel table in channel order (CPUFAN .. CPUTEMP),
// which channels exist, where each is read and its default alarm range. For fans the upper
// register is the divisor register (0: none) and the lower one the divisor field's bit position.
#include "monitor/core/ChipProfiles.h"

#include "monitor/hw/ChipRegisterMap.h"

namespace velmo::core {

namespace {

constexpr int32_t kNone = kMessageNone;
constexpr int32_t kVolt = kMessageVoltage;
constexpr int32_t kTemp = kMessageTemperature;

// Where a channel is read: the bank and the value, upper and lower registers of its record.
struct Where {
  int32_t bank;
  int32_t value;
  int32_t upper;
  int32_t lower;
};

// A reading with its limit pair; all three in one bank (a mistake fails to compile).
consteval Where Input(hw::ChipRegister value, hw::ChipRegister upper, hw::ChipRegister lower) {
  if (upper.bank != value.bank || lower.bank != value.bank) throw "limits in another bank";
  return {value.bank, value.index, upper.index, lower.index};
}

// A fan count with the register and bit position of its divisor field; none: a fixed divisor.
consteval Where Fan(hw::ChipRegister count, hw::ChipRegister divisor = {0, 0},
                    uint8_t divisorShift = 0) {
  if (divisor.bank != count.bank) throw "divisor in another bank";
  return {count.bank, count.index, divisor.index, divisorShift};
}

constexpr Where kNowhere{0, 0, 0, 0};  // a channel the chip does not have

// W83781D and W83782D (and the SiS5595's inputs 0-4 and fans 1-2).
constexpr Where kIn0 = Input(hw::kRegIn0, hw::kRegIn0High, hw::kRegIn0Low);
constexpr Where kIn1 = Input(hw::kRegIn1, hw::kRegIn1High, hw::kRegIn1Low);
constexpr Where kIn2 = Input(hw::kRegIn2, hw::kRegIn2High, hw::kRegIn2Low);
constexpr Where kIn3 = Input(hw::kRegIn3, hw::kRegIn3High, hw::kRegIn3Low);
constexpr Where kIn4 = Input(hw::kRegIn4, hw::kRegIn4High, hw::kRegIn4Low);
constexpr Where kIn5 = Input(hw::kRegIn5, hw::kRegIn5High, hw::kRegIn5Low);
constexpr Where kIn6 = Input(hw::kRegIn6, hw::kRegIn6High, hw::kRegIn6Low);
constexpr Where kIn7 = Input(hw::kRegIn7, hw::kRegIn7High, hw::kRegIn7Low);
constexpr Where kIn8 = Input(hw::kRegIn8, hw::kRegIn8High, hw::kRegIn8Low);
constexpr Where kTemp1 = Input(hw::kRegTemp1, hw::kRegTemp1ProfileHigh, hw::kRegTemp1ProfileLow);
constexpr Where kTemp2 = Input(hw::kRegTemp2, hw::kRegTemp2Over, hw::kRegTemp2Hyst);
constexpr Where kTemp3 = Input(hw::kRegTemp3, hw::kRegTemp3Over, hw::kRegTemp3Hyst);
constexpr Where kFan1 = Fan(hw::kRegFan1, hw::kRegFanDivisor, hw::kFan1DivisorShift);
constexpr Where kFan2 = Fan(hw::kRegFan2, hw::kRegFanDivisor, hw::kFan2DivisorShift);
constexpr Where kFan3Fixed = Fan(hw::kRegFan3);  // no divisor field: fixed on the W83781D
constexpr Where kFan3 = Fan(hw::kRegFan3, hw::kRegPinControl, hw::kFan3DivisorShift);
// The W83782D profile reads the fans the other way round but keeps the divisor fields in place.
constexpr Where kFan2ByFan1Divisor = Fan(hw::kRegFan2, hw::kRegFanDivisor, hw::kFan1DivisorShift);
constexpr Where kFan1ByFan2Divisor = Fan(hw::kRegFan1, hw::kRegFanDivisor, hw::kFan2DivisorShift);

// VIA686A. Its temperature 2 row has always named the fan minimum registers as its limits (the
// chip keeps temperature 2's at 0x3D/0x3E); stored records and the restart's writes rely on it.
constexpr Where kViaIn0 = Input(hw::kViaRegIn0, hw::kRegIn0High, hw::kRegIn0Low);
constexpr Where kViaIn1 = Input(hw::kViaRegIn1, hw::kRegIn1High, hw::kRegIn1Low);
constexpr Where kViaIn2 = Input(hw::kViaRegIn2, hw::kRegIn2High, hw::kRegIn2Low);
constexpr Where kViaIn3 = Input(hw::kViaRegIn3, hw::kRegIn3High, hw::kRegIn3Low);
constexpr Where kViaIn4 = Input(hw::kViaRegIn4, hw::kRegIn4High, hw::kRegIn4Low);
constexpr Where kViaTemp1 = Input(hw::kViaRegTemp1, hw::kViaRegTemp1Over, hw::kViaRegTemp1Hyst);
constexpr Where kViaTemp2 = Input(hw::kViaRegTemp2, hw::kViaRegFan1Min, hw::kViaRegFan2Min);
constexpr Where kViaFan1 = Fan(hw::kViaRegFan1, hw::kRegFanDivisor, hw::kFan1DivisorShift);
constexpr Where kViaFan2 = Fan(hw::kViaRegFan2, hw::kRegFanDivisor, hw::kFan2DivisorShift);
constexpr Where kViaFan3 = Fan(hw::kViaRegFan2);  // no third fan: the row is never read

// One profile row, columns in the order the profile tables are written down.
ChannelRecord Row(int32_t present, Where at, int32_t upper, int32_t lower, int32_t enabled,
                  int32_t adjustMax, int32_t adjustMin, int32_t step, int32_t defaultUpper,
                  int32_t defaultLower, int32_t defaultEnabled, int32_t messageRef) {
  ChannelRecord r;
  r.present = present;
  r.bank = at.bank;
  r.valueRegister = at.value;
  r.upperRegister = at.upper;
  r.lowerRegister = at.lower;
  r.outOfRange = 0;
  r.changed = 1;
  r.value = 0;
  r.alarm = {upper, lower,        enabled,      adjustMax,     adjustMin,
             step,  defaultUpper, defaultLower, defaultEnabled};
  r.messageRef = messageRef;
  return r;
}

// clang-format off
// Columns: present, where it is read, upper, lower, enabled, adjustMax, adjustMin, step,
// defaultUpper, defaultLower, defaultEnabled, message. Rows a chip does not have keep the
// registers they have always been stored with.
SensorReadings ProfileW83781d() {
  return {{
    Row(1, kFan1,                  0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kFan2,                  0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kFan3Fixed,             0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kIn0,                2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, kIn1,                   0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(1, kIn2,                3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, kIn3,                5500,   4500, 1,   6000,   4000, 10,   5250,   4750, 1, kVolt),
    Row(1, kIn4,               13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(1, kIn5,              -10500, -13500, 1, -10000, -14000, 10, -10500, -13500, 1, kVolt),
    Row(1, kIn6,               -4500,  -5500, 0,  -4000,  -6000, 10,  -4500,  -5500, 0, kVolt),
    Row(0, kIn1,                   0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, kIn1,                   0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, kTemp1,                65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(1, kTemp2,                70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, kTemp3,                70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
}

SensorReadings ProfileW83782d() {
  return {{
    Row(1, kFan2ByFan1Divisor,     0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kFan1ByFan2Divisor,     0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kFan3,                  0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kIn0,                2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, kIn1,                2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(1, kIn2,                3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, kIn3,                5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, kIn4,               13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(1, kIn5,              -10500, -13500, 1, -10000, -14000, 10, -10500, -13500, 1, kVolt),
    Row(1, kIn6,               -4500,  -5500, 0,  -4000,  -6500, 10,  -4500,  -5500, 0, kVolt),
    Row(1, kIn8,                3500,   2500, 1,   4000,   2000, 10,   3500,   2500, 1, kVolt),
    Row(0, kIn7,                5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, kTemp1,                85,     80, 1,    100,     30,  1,     85,     80, 1, kTemp),
    Row(1, kTemp3,                70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, kTemp2,                95,     90, 1,    120,     30,  1,     95,     90, 1, kTemp),
  }};
}

SensorReadings ProfileSis5595() {
  SensorReadings p = {{
    Row(1, kFan1,                  0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kFan2,                  0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(0, kFan3Fixed,             0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kIn3,                2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, kNowhere,               0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(1, kIn2,                3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, kIn1,                5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, kIn0,               13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(0, kNowhere,               0,      0, 0,      0,      0,  0,      0,      0, 0, kNone),
    Row(0, kNowhere,               0,      0, 0,      0,      0,  0,      0,      0, 0, kNone),
    Row(0, kIn1,                   0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, kIn1,                   0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, kNowhere,              65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(0, kNowhere,              65,     60, 0,    100,     30,  1,     65,     60, 0, kTemp),
    Row(1, kIn4,                  70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
  p[CPUTEMP].value = 40;
  return p;
}

SensorReadings ProfileVia686a() {
  return {{
    Row(1, kViaFan1,               0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kViaFan2,               0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(0, kViaFan3,               0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, kViaIn0,             2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, kViaIn1,                0,      0, 0,   2000,   3500, 10,   3000,   3000, 0, kNone),
    Row(1, kViaIn2,             3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, kViaIn3,             5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, kViaIn4,            13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(0, kIn5,              -11000, -13000, 0, -10000, -14000, 10, -11000, -13000, 1, kVolt),
    Row(0, kIn6,               -4750,  -5250, 0,  -4000,  -6000, 10,  -4750,  -5250, 0, kVolt),
    Row(0, kIn1,                   0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, kIn1,                   0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, kTemp1,                65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(1, kViaTemp2,             70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, kViaTemp1,             70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
}
// clang-format on

}  // namespace

ChipProfiles DefaultChipProfiles() {
  return {ProfileW83781d(), ProfileW83782d(), ProfileSis5595(), ProfileVia686a(), {}, 0};
}

}  // namespace velmo::core
