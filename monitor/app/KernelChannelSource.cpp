#include "monitor/app/KernelChannelSource.h"

#include "monitor/hwmon/ChannelMapping.h"
#include "monitor/hwmon/KernelChannels.h"
#include "monitor/hwmon/SensorFeatures.h"
#include "monitor/hwmon/SensorsLibrary.h"
#include "monitor/hwmon/UserMapping.h"

namespace velmo::app {

KernelChannelSource::KernelChannelSource(hwmon::SensorsLibrary* library, base::WarningSink warn)
    : warn_(std::move(warn)), library_(library) {}

// The reader thread is joined before the source it reads from goes.
KernelChannelSource::~KernelChannelSource() {
  channels_.reset();
}

bool KernelChannelSource::Start(const Choices& choices) {
  if (!library_) {
    ownLibrary_ = std::make_unique<hwmon::SensorsLibrary>(warn_);
    library_ = ownLibrary_.get();
  }
  features_ = std::make_unique<hwmon::LibsensorsFeatureSource>(*library_);
  channels_ =
      std::make_unique<hwmon::KernelChannels>(*features_, hwmon::ParseUserMapping(choices, warn_),
                                              hwmon::KernelChannels::SystemClock(), warn_);
  if (!channels_->Start()) return false;
  // The value each channel showed at this scan, for the alarm ranges' starting points.
  const std::vector<hwmon::SensorFeature>& features = channels_->Features();
  for (size_t c = 0; c < mapped_.size(); ++c) {
    const std::optional<hwmon::ChannelSensor>& sensor = channels_->Channels()[c];
    if (!sensor) continue;
    std::optional<int32_t> value;
    for (const hwmon::SensorFeature& f : features) {
      if (f.chip == sensor->chip && f.name == sensor->feature) {
        value = hwmon::ChannelUnits(f);
        break;
      }
    }
    mapped_[c] =
        Channel{sensor->chip, sensor->label, value, sensor->limits.lower, sensor->limits.upper};
  }
  return true;
}

KernelChannelSource::Values KernelChannelSource::Read() {
  if (!channels_) return {};
  return channels_->Read();
}

}  // namespace velmo::app
