#include "monitor/core/ChannelLabels.h"

#include "monitor/core/BoardCodes.h"

namespace velmo::core {

std::string ChannelLabel(int item, int32_t mbModel) {
  const bool positiveRails = mbModel == kModelPositiveRails;
  switch (item) {
    case CPUFAN:
      return "Cpu Fan";
    case CHAFAN:
      return "Cha Fan";
    case AUXFAN:
      return "Aux Fan";
    case VCORE:
      return "Vcore";
    case VCORE2:
      return mbModel == kModelViaAgp || mbModel == kModelAgpVdimm ? "Vagp" : "Vcore2";
    case VIO:
      return positiveRails ? "Vagp" : "Vio";
    case V5:
      return "+5V";
    case V12:
      return "+12V";
    case VN12:
      return positiveRails ? "+3.3V" : "-12V";
    case VN5:
      return positiveRails ? "Vdimm" : "-5V";
    case VB:
      return "Vbat";
    case V5SB:
      return "5VSB";
    case RESTEMP:
      return "VGA Temp.";
    case SYSTEMP:
      return "Sys Temp.";
    case CPUTEMP:
      return "Cpu Temp.";
    default:
      return "";
  }
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
  const int32_t reg = r.valueRegister;
  // The VIA 686A block: lm-sensors' via686a numbers in0-in4 from 0x22, temp1-temp3 at 0x20, 0x21
  // and 0x1F, fans from 0x29.
  if (hmType == kHmVia686a) {
    if (IsFan(item) && reg >= 0x29 && reg <= 0x2A) return "fan" + std::to_string(reg - 0x28);
    if (IsVoltage(item) && reg >= 0x22 && reg <= 0x26) return "in" + std::to_string(reg - 0x22);
    if (IsTemperature(item) && (reg == 0x20 || reg == 0x21))
      return "temp" + std::to_string(reg - 0x1F);
    return {};
  }
  // The Winbond family and the SiS monitor: in0-in6 at 0x20-0x26, in7/in8 in bank 5, fans from
  // 0x28, temp1 at 0x27, temp2/temp3 in banks 1 and 2 (the SiS monitor: its temperature input).
  if (IsFan(item) && reg >= 0x28 && reg <= 0x2A) return "fan" + std::to_string(reg - 0x27);
  if (IsVoltage(item)) {
    if (r.bank == 5 && (reg == 0x50 || reg == 0x51)) return "in" + std::to_string(reg - 0x50 + 7);
    if (r.bank == 0 && reg >= 0x20 && reg <= 0x26) return "in" + std::to_string(reg - 0x20);
    return {};
  }
  if (IsTemperature(item)) {
    if (hmType == kHmSis5595) return "temp1";
    if (r.bank == 0 && reg == 0x27) return "temp1";
    if ((r.bank == 1 || r.bank == 2) && reg == 0x50) return "temp" + std::to_string(r.bank + 1);
  }
  return {};
}

}  // namespace velmo::core
