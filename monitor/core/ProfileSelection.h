// Selecting the chip profile for the detected chip and board, and applying the board adjustments
// (boards/BoardAdjustments.cpp) to the loaded channel table.
#pragma once

namespace velmo::hw {
class PortAccess;
}

namespace velmo::core {

struct MonitorState;

// Copies the detected chip's profile (after its board and south-bridge edits) over all 15 records.
// Does nothing for chip code 0.
void SelectChipProfile(MonitorState& state, hw::PortAccess& ports);
// Board- and chip-specific rewiring of channels and voltage scales, once after the settings load.
void ApplyBoardAdjustments(MonitorState& state);

}  // namespace velmo::core
