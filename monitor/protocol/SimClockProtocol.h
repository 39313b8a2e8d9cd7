// The one private request of the portio helper: advancing the simulated clock of the board it
// serves. Only a helper started with --board honours it; on the real machine it is refused.
#pragma once

#include <cstdint>

#include "monitor/protocol/DriverProtocol.h"

namespace velmo::protocol {

// Input: 4 bytes, +0 seconds to advance. Output: none.
inline constexpr uint32_t kIoctlPortIoAdvanceClock = ControlCode(0x800);  // 0x222000

}  // namespace velmo::protocol
