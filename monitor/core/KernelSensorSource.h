// The kernel's sensors as the monitor reads them where no chip of its own answers: what feeds
// each channel (fixed when the source starts) and one reading per tick. The real source is
// libsensors' (app/KernelChannelSource); tests give their own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "monitor/core/ChannelTable.h"

namespace velmo::core {

class KernelSensorSource {
 public:
  // What feeds a channel; values and limits in the channel's unit (mV, RPM, degrees Celsius).
  struct Channel {
    std::string chip;              // as `sensors` names it: "k10temp-pci-00c3"
    std::string label;             // as `sensors` prints it (sensors.conf applied): "Tctl"
    std::optional<int32_t> value;  // when the source started
    std::optional<int32_t> lower;  // the kernel's limits, where the sensor has them
    std::optional<int32_t> upper;
  };
  using Channels = std::array<std::optional<Channel>, kChannelCount>;
  using Values = std::array<std::optional<int32_t>, kChannelCount>;

  virtual ~KernelSensorSource() = default;
  // The user's choice per channel ("chip-pattern feature", "none", or "" for the default).
  using Choices = std::array<std::string, kChannelCount>;

  // Finds the sensors and maps the channels, the user's choices first; false when the kernel
  // exposes none.
  virtual bool Start(const Choices& choices) = 0;
  // After Start: per channel what feeds it, nullopt where nothing does.
  virtual const Channels& Mapped() const = 0;
  // One reading of every channel; nullopt where absent, gone or unreadable. Never blocks for
  // long: a sensor that does not answer in time is nullopt.
  virtual Values Read() = 0;
};

}  // namespace velmo::core
