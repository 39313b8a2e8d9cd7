// Reading every present channel from the monitor chip, converting it, and mirroring the alarm
// switches into the chip's beep-control bits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace velmo::hw {
class PortAccess;
}

namespace velmo::core {

struct MonitorState;

// Updates value, outOfRange and changed of every present channel, in channel order.
void AcquireReadings(MonitorState& state, hw::PortAccess& ports);
// The same for the kernel's sensors: `values` holds each channel's reading in its unit; a
// present channel without one has no value (noValue set, its value 0 and in range).
void AcquireKernelReadings(MonitorState& state,
                           const std::array<std::optional<int32_t>, 15>& values);
// Writes the chip's beep-enable bits from bAlarm and the channels' alarm flags.
void ProgramBeepControl(const MonitorState& state, hw::PortAccess& ports);

// Conversions, pure functions of the raw register values (exposed for tests).
int32_t FanRpm(uint32_t count, uint32_t divisor);
int32_t ThermistorDegrees(uint32_t raw);  // chip code 4
int32_t LookupDegrees(uint32_t raw);      // chip code 5

}  // namespace velmo::core
