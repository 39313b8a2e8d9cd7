#include "monitor/core/boards/ChipTable.h"

#include <array>

#include "monitor/hw/PciConfig.h"

namespace velmo::core {

namespace {

using B = BeepRule;
using F = SensorsFeatureRange;
constexpr int32_t kAny = F::kAnyBank;

// The chips' temperature beep bits come first; the resource (VGA) temperature's bit is the same
// on all three.
constexpr BeepRule kW83781dBeeps[] = {
    {hw::kBeepCpuTemp, SYSTEMP, B::kEnabled, CPUTEMP},  // one bit for both sensors
    {hw::kBeepResTemp, RESTEMP, B::kAlarming},
};
constexpr BeepRule kW83782dBeeps[] = {
    {hw::kBeepSysTemp, SYSTEMP, B::kAlarming},
    {hw::kBeepCpuTemp, CPUTEMP, B::kAlarming},
    {hw::kBeepResTemp, RESTEMP, B::kAlarming},
};
constexpr BeepRule kW83627hfBeeps[] = {
    {hw::kBeepSysTemp, SYSTEMP, B::kEnabled},
    {hw::kBeepCpuTemp, CPUTEMP, B::kEnabled},
    {hw::kBeepResTemp, RESTEMP, B::kAlarming},
};
// The battery and standby rails of the two later chips (bank 4).
constexpr BeepRule kStandbyBeeps[] = {
    {hw::kBeepVbat, VB, B::kEnabled},
    {hw::kBeepV5sb, V5SB, B::kEnabled},
};

// lm-sensors numbers the Winbond family's inputs in0-in6 from 0x20, in7/in8 at 0x50/0x51 of bank
// 5, fans from 0x28, temp1 at 0x27 and temp2/temp3 at 0x50 of banks 1 and 2.
constexpr SensorsFeatureRange kWinbondFeatures[] = {
    {F::kFan, kAny, 0x28, 0x2A, "fan", 1},       {F::kVoltage, 5, 0x50, 0x51, "in", 7},
    {F::kVoltage, 0, 0x20, 0x26, "in", 0},       {F::kTemperature, 0, 0x27, 0x27, "temp", 1},
    {F::kTemperature, 1, 0x50, 0x50, "temp", 2}, {F::kTemperature, 2, 0x50, 0x50, "temp", 3},
};
// The SiS monitor: the same voltages and fans, and its one temperature input.
constexpr SensorsFeatureRange kSis5595Features[] = {
    {F::kFan, kAny, 0x28, 0x2A, "fan", 1},
    {F::kVoltage, 5, 0x50, 0x51, "in", 7},
    {F::kVoltage, 0, 0x20, 0x26, "in", 0},
    {F::kTemperature, kAny, 0x00, 0xFF, "temp", 1, false},
};
// The VIA 686A block: in0-in4 from 0x22, temp1/temp2 at 0x20/0x21 (temp3 at 0x1F is not used),
// fans from 0x29.
constexpr SensorsFeatureRange kVia686aFeatures[] = {
    {F::kFan, kAny, 0x29, 0x2A, "fan", 1},
    {F::kVoltage, kAny, 0x22, 0x26, "in", 0},
    {F::kTemperature, kAny, 0x20, 0x21, "temp", 1},
};

constexpr ChipInfo kChips[] = {
    {kHmW83781d,
     "w83781d",
     "W83781D (vendor 0x5CA3)",
     ChipProbe::kVendor,
     0,
     hw::kWinbondVendor,
     ProfileId::kW83781d,
     VoltageCurve::kLinear,
     TemperatureCurve::kDegrees,
     false,
     true,
     true,
     kW83781dBeeps,
     {},
     kWinbondFeatures},
    {kHmW83782d, "w83782d", "W83782D (id 0x30)", ChipProbe::kChipId, 0, hw::kChipIdW83782d,
     ProfileId::kW83782d, VoltageCurve::kInvertedNegative, TemperatureCurve::kDegrees, false, false,
     true, kW83782dBeeps, kStandbyBeeps, kWinbondFeatures},
    {kHmW83627hf, "w83627hf", "W83627HF (id 0x21)", ChipProbe::kChipId, 0, hw::kChipIdW83627hf,
     ProfileId::kW83782d, VoltageCurve::kInvertedNegative, TemperatureCurve::kDegrees, false, false,
     true, kW83627hfBeeps, kStandbyBeeps, kWinbondFeatures},
    {kHmSis5595,
     "sis5595",
     "SiS 5595 (PCI 1039:0008)",
     ChipProbe::kPciId,
     hw::kPciSisBridge,
     hw::kIdSis5595,
     ProfileId::kSis5595,
     VoltageCurve::kLinear,
     TemperatureCurve::kThermistor,
     true,
     false,
     false,
     {},
     {},
     kSis5595Features},
    {kHmVia686a,
     "via686a",
     "VIA 686A monitor",
     ChipProbe::kVia686a,
     0,
     0,
     ProfileId::kVia686a,
     VoltageCurve::kVia686a,
     TemperatureCurve::kVia686aLookup,
     false,
     false,
     false,
     {},
     {},
     kVia686aFeatures},
    {kHmKernelSensors,
     "",
     "the kernel's sensors",
     ChipProbe::kNever,
     0,
     0,
     ProfileId::kKernelSensors,
     VoltageCurve::kLinear,
     TemperatureCurve::kDegrees,
     false,
     false,
     false,
     {},
     {},
     {},
     true},
};

}  // namespace

std::span<const ChipInfo> Chips() {
  return kChips;
}

const ChipInfo* FindChip(int32_t code) {
  for (const ChipInfo& chip : kChips)
    if (chip.code == code) return &chip;
  return nullptr;
}

const char* ChipDescription(int32_t code) {
  if (code == kHmNone) return "none";
  const ChipInfo* chip = FindChip(code);
  return chip ? chip->description : "?";
}

}  // namespace velmo::core
