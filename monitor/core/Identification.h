// Board identification from the BIOS text and monitor-chip detection by probing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/hw/PortAccess.h"

namespace velmo::core {

// Chip codes.
enum HmTypeCode : int32_t {
  kHmNone = 0,
  kHmW83781d = 1,   // vendor 0x5CA3
  kHmW83782d = 2,   // chip id 0x30
  kHmW83627hf = 3,  // chip id 0x21
  kHmSis5595 = 4,   // PCI 1039:0008
  kHmVia686a = 5,   // VIA 686A monitor block
};

// The board text as the BIOS keeps it: the 8 bytes up to the first NUL.
std::string ReadBoardText(hw::PortAccess& ports);
// Board model code for a board text (1, 2, 3, 4, 5 or 9).
int32_t ClassifyBoardText(std::string_view text);
// Reads the board text and classifies it.
int32_t IdentifyBoard(hw::PortAccess& ports, std::string* boardText = nullptr);
// Runs all five probes in order; the last one that succeeds decides. Sets ChipIoBase on a VIA 686A.
int32_t DetectMonitorChip(hw::PortAccess& ports);

}  // namespace velmo::core
