#include "monitor/core/ChannelLabels.h"

#include "monitor/core/boards/BoardTable.h"
#include "monitor/core/boards/ChipTable.h"

namespace velmo::core {

std::string ChannelLabel(int item, int32_t mbModel) {
  static constexpr const char* kLabels[kChannelCount] = {
      "Cpu Fan", "Cha Fan", "Aux Fan", "Vcore", "Vcore2",    "Vio",       "+5V",      "+12V",
      "-12V",    "-5V",     "Vbat",    "5VSB",  "VGA Temp.", "Sys Temp.", "Cpu Temp."};
  if (item < 0 || item >= kChannelCount) return "";
  for (const ChannelCaption& c : BoardFor(mbModel).labels)
    if (c.item == item) return c.name;
  return kLabels[item];
}

const char* ChannelUnit(int item) {
  if (IsFan(item)) return "RPM";
  if (IsVoltage(item)) return "V";
  return "C";
}

double InBaseUnits(int item, int32_t value) {
  return IsVoltage(item) ? value / 1000.0 : static_cast<double>(value);
}

std::string SensorsFeature(const ChannelRecord& r, int item, int32_t hmType) {
  const ChipInfo* chip = FindChip(hmType);
  if (!chip) return {};
  const SensorsFeatureRange::Kind kind = IsFan(item)       ? SensorsFeatureRange::kFan
                                         : IsVoltage(item) ? SensorsFeatureRange::kVoltage
                                                           : SensorsFeatureRange::kTemperature;
  const int32_t reg = r.valueRegister;
  for (const SensorsFeatureRange& f : chip->sensorsFeatures) {
    if (f.kind != kind || reg < f.first || reg > f.last) continue;
    if (f.bank != SensorsFeatureRange::kAnyBank && f.bank != r.bank) continue;
    return f.prefix + std::to_string(f.numbered ? f.number + reg - f.first : f.number);
  }
  return {};
}

}  // namespace velmo::core
