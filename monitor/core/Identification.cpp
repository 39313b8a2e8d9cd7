#include "monitor/core/Identification.h"

#include <array>

#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/ChipRegisters.h"
#include "monitor/hw/PciConfig.h"

namespace velmo::core {

std::string ReadBoardText(hw::PortAccess& ports) {
  std::array<uint8_t, hw::kBiosIdLength> bytes{};  // stays zero when the read fails
  ports.ReadBiosIdBytes(bytes.data());
  std::string text;
  for (uint8_t b : bytes) {
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  return text;
}

int32_t ClassifyBoardText(std::string_view text) {
  const std::string_view first7 = text.substr(0, 7);
  if (text == "7K4XRQB8") return kModelPlain;
  if (first7 == "7K4XRQB" || text == "7K4T5QBB") return kModelViaAgp;
  if (text == "7K4XNQBB") return kModelPositiveRails;
  if (first7 == "7K4XWQB") return kModelPositiveRails;
  if (text == "7K4XHQBC") return kModelDualCpu;
  if (first7 == "7K41TQB" || first7 == "7K41WQB") return kModelAgpVdimm;
  if (first7 == "7K41RQB") return kModelAgpVdimm;
  return kModelOther;
}

int32_t IdentifyBoard(hw::PortAccess& ports, std::string* boardText) {
  const std::string text = ReadBoardText(ports);
  if (boardText) *boardText = text;
  return ClassifyBoardText(text);
}

int32_t DetectMonitorChip(hw::PortAccess& ports) {
  int32_t hmType = kHmNone;
  if (ports.ProbeChipVendor()) hmType = kHmW83781d;
  if (ports.ProbeChipId(hw::kChipIdW83782d)) hmType = kHmW83782d;
  if (ports.ProbeChipId(hw::kChipIdW83627hf)) hmType = kHmW83627hf;
  if (ports.ProbePciId(hw::kPciSisBridge, hw::kIdSis5595)) hmType = kHmSis5595;
  if (ports.DetectVia686aMonitor()) hmType = kHmVia686a;
  return hmType;
}

}  // namespace velmo::core
