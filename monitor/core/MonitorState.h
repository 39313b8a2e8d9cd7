// The process-wide state of the monitor: channel table, voltage scales, chip and board codes,
// application parameters and chip profiles. Created once and passed by reference.
#pragma once

#include "monitor/core/ChannelTable.h"
#include "monitor/core/ChipProfiles.h"
#include "monitor/core/KernelSensorSource.h"

namespace velmo::core {

struct MonitorState {
  SensorReadings readings{};
  std::array<VoltageScale, kScaleCount> voltageScale = DefaultVoltageScales();
  int32_t hmType = 0;   // chip code, 0 = none
  int32_t mbModel = 0;  // board model, 0 = not identified
  AppParams params;
  ChipProfiles profiles = DefaultChipProfiles();
  // Present channels whose sensor gave nothing at the last reading (a kernel sensor that failed
  // or vanished): shown as no value, never as 0 or as the previous value. Not stored.
  std::array<bool, kChannelCount> noValue{};
  // On the kernel's sensors: what feeds each channel (labels for the extensions).
  KernelSensorSource::Channels kernelChannels{};

  bool HasValue(int item) const {
    return readings[static_cast<size_t>(item)].present != 0 && !noValue[static_cast<size_t>(item)];
  }

  ChannelRecord& operator[](int item) { return readings[static_cast<size_t>(item)]; }
  const ChannelRecord& operator[](int item) const { return readings[static_cast<size_t>(item)]; }
  VoltageScale& Scale(int item) { return voltageScale[static_cast<size_t>(item - VCORE)]; }
};

}  // namespace velmo::core
