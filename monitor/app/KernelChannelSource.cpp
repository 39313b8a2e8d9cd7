#include "monitor/app/KernelChannelSource.h"

#include "monitor/hwmon/ChannelMapping.h"
#include "monitor/hwmon/SensorFeatures.h"
#include "monitor/hwmon/SensorsLibrary.h"

namespace velmo::app {

KernelChannelSource::KernelChannelSource(hwmon::SensorsLibrary* library, base::WarningSink warn)
    : warn_(std::move(warn)), library_(library) {}
KernelChannelSource::~KernelChannelSource() = default;

bool KernelChannelSource::Start(const Choices& /*choices*/) {
  if (!library_) {
    ownLibrary_ = std::make_unique<hwmon::SensorsLibrary>(warn_);
    library_ = ownLibrary_.get();
  }
  features_ = std::make_unique<hwmon::LibsensorsFeatureSource>(*library_);
  const std::vector<hwmon::SensorFeature> features = features_->Features();
  if (features.empty()) return false;
  const hwmon::ChannelAssignment assignment = hwmon::MapChannels(features);
  for (size_t c = 0; c < mapped_.size(); ++c) {
    if (!assignment[c]) continue;
    const hwmon::SensorFeature& f = features[*assignment[c]];
    const hwmon::KernelLimits limits = hwmon::LimitsOf(f);
    mapped_[c] = Channel{f.chip, f.label, hwmon::ChannelUnits(f), limits.lower, limits.upper};
    keys_[c] = {f.chip, f.name};
  }
  return true;
}

KernelChannelSource::Values KernelChannelSource::Read() {
  Values values{};
  if (!features_) return values;
  const std::vector<hwmon::SensorFeature> features = features_->Features();
  for (size_t c = 0; c < mapped_.size(); ++c) {
    if (!mapped_[c]) continue;
    for (const hwmon::SensorFeature& f : features) {
      if (f.chip == keys_[c].first && f.name == keys_[c].second) {
        values[c] = hwmon::ChannelUnits(f);
        break;
      }
    }
  }
  return values;
}

}  // namespace velmo::app
