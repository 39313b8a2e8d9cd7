// Board identification from the BIOS text and monitor-chip detection by probing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/core/boards/BoardCodes.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::core {

// The board text as the BIOS keeps it: the 8 bytes up to the first NUL.
std::string ReadBoardText(hw::PortAccess& ports);
// Board model for a board text (never kModelNone).
int32_t ClassifyBoardText(std::string_view text);
// Reads the board text and classifies it.
int32_t IdentifyBoard(hw::PortAccess& ports, std::string* boardText = nullptr);
// Runs all five probes in order; the last one that succeeds decides. Sets ChipIoBase on a VIA 686A.
int32_t DetectMonitorChip(hw::PortAccess& ports);

}  // namespace velmo::core
