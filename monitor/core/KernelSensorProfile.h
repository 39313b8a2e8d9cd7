// The channel table of the kernel's sensors: which channels exist and where each alarm range
// starts. The kernel's own limits are taken where the sensor has sane ones; otherwise each
// channel starts from its default range (KernelSensorProfile.cpp, listed in the README).
#pragma once

#include "monitor/core/ChannelTable.h"
#include "monitor/core/KernelSensorSource.h"

namespace velmo::core {

SensorReadings KernelSensorProfile(const KernelSensorSource::Channels& channels);

// Marks present exactly the channels the source feeds (stored records may say otherwise).
void ApplyKernelChannels(SensorReadings& readings, const KernelSensorSource::Channels& channels);

}  // namespace velmo::core
