// The chip profiles: each chip's default channel table (the data is in
// boards/ChipProfileTables.cpp).
#pragma once

#include <array>

#include "monitor/core/ChannelTable.h"

namespace velmo::core {

// The four profiles. Mutable on purpose: selection edits a profile before copying it, and the
// edit stays for a later selection in the same run.
struct ChipProfiles {
  SensorReadings w83781d;  // chip code 1
  SensorReadings w83782d;  // chip codes 2 and 3
  SensorReadings sis5595;  // chip code 4
  SensorReadings via686a;  // chip code 5
  // Chip code 6: made at start from the kernel's sensors (KernelSensorProfile.h); all absent
  // until then.
  SensorReadings kernelSensors{};
  int selections = 0;  // how often a profile has been selected in this run
};
ChipProfiles DefaultChipProfiles();

}  // namespace velmo::core
