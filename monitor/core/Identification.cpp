#include "monitor/core/Identification.h"

#include <array>

#include "monitor/core/boards/BoardTable.h"
#include "monitor/core/boards/ChipTable.h"
#include "monitor/hw/ChipPorts.h"

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
  for (const BoardText& t : BoardTexts()) {
    if (t.match == BoardText::kWhole ? text == t.text : first7 == t.text) return t.model;
  }
  return kUnlistedBoardText;
}

int32_t IdentifyBoard(hw::PortAccess& ports, std::string* boardText) {
  const std::string text = ReadBoardText(ports);
  if (boardText) *boardText = text;
  return ClassifyBoardText(text);
}

int32_t DetectMonitorChip(hw::PortAccess& ports) {
  int32_t hmType = kHmNone;
  for (const ChipInfo& chip : Chips()) {
    bool found = false;
    switch (chip.probe) {
      case ChipProbe::kVendor:
        found = ports.ProbeChipVendor();
        break;
      case ChipProbe::kChipId:
        found = ports.ProbeChipId(static_cast<uint8_t>(chip.probeValue));
        break;
      case ChipProbe::kPciId:
        found = ports.ProbePciId(chip.probeAddress, chip.probeValue);
        break;
      case ChipProbe::kVia686a:
        found = ports.DetectVia686aMonitor();
        break;
      case ChipProbe::kNever:
        break;
    }
    if (found) hmType = chip.code;
  }
  return hmType;
}

}  // namespace velmo::core
