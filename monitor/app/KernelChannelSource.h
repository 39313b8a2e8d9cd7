// The kernel's sensors through libsensors, as the monitor's frame reads them where no chip of
// its own answers: hwmon::KernelChannels (mapping, rescans, bounded reads) over libsensors,
// given in the core's terms.
#pragma once

#include <memory>

#include "monitor/base/Warning.h"
#include "monitor/core/KernelSensorSource.h"

namespace velmo::hwmon {
class KernelChannels;
class SensorsLibrary;
class LibsensorsFeatureSource;
}  // namespace velmo::hwmon

namespace velmo::app {

class KernelChannelSource : public core::KernelSensorSource {
 public:
  // `library`: libsensors already started (kept by the caller, outliving this); null: started
  // here when the frame asks.
  KernelChannelSource(hwmon::SensorsLibrary* library, base::WarningSink warn);
  ~KernelChannelSource() override;

  bool Start(const Choices& choices) override;
  const Channels& Mapped() const override { return mapped_; }
  Values Read() override;

 private:
  base::WarningSink warn_;
  hwmon::SensorsLibrary* library_;
  std::unique_ptr<hwmon::SensorsLibrary> ownLibrary_;
  std::unique_ptr<hwmon::LibsensorsFeatureSource> features_;
  std::unique_ptr<hwmon::KernelChannels> channels_;
  Channels mapped_{};
};

}  // namespace velmo::app
