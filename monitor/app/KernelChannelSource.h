// The kernel's sensors through libsensors, as the monitor's frame reads them where no chip of
// its own answers. libsensors starts only when the frame asks (Start), so a board with a chip
// never loads the sensors configuration.
#pragma once

#include <memory>

#include "monitor/base/Warning.h"
#include "monitor/core/KernelSensorSource.h"

namespace velmo::hwmon {
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
  Channels mapped_{};
  // Per channel the chip and feature name that feed it: the key that survives renumbering.
  std::array<std::pair<std::string, std::string>, core::kChannelCount> keys_{};
};

}  // namespace velmo::app
