// Selecting the chip profile (default channel table; the data is in boards/ChipProfileTables.cpp)
// and applying the board adjustments (boards/BoardAdjustments.cpp).
#pragma once

#include <array>

#include "monitor/core/ChannelTable.h"

namespace velmo::hw {
class PortAccess;
}

namespace velmo::core {

struct MonitorState;

// The four profiles. Mutable on purpose: selection edits a profile before copying it, and the
// edit stays for a later selection in the same run.
struct ChipProfiles {
  SensorReadings w83781d;  // chip code 1
  SensorReadings w83782d;  // chip codes 2 and 3
  SensorReadings sis5595;  // chip code 4
  SensorReadings via686a;  // chip code 5
  int selections = 0;      // how often a profile has been selected in this run
};
ChipProfiles DefaultChipProfiles();

// Copies the detected chip's profile (after its board and south-bridge edits) over all 15 records.
// Does nothing for chip code 0.
void SelectChipProfile(MonitorState& state, hw::PortAccess& ports);
// Board- and chip-specific rewiring of channels and voltage scales, once after the settings load.
void ApplyBoardAdjustments(MonitorState& state);

}  // namespace velmo::core
