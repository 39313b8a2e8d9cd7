// The last hour of every channel, one sample per tick, and the lowest and highest reading since
// the start: fixed rings, so the memory stays bounded whatever the run's length.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "monitor/core/ChannelTable.h"
#include "monitor/core/PageSlots.h"

namespace velmo::core {

class History {
 public:
  static constexpr int32_t kSpanSeconds = 3600;
  // At most one sample a second is kept for an hour: 3,600 per channel, 216 KB in all.
  static constexpr size_t kMaxSamples = kSpanSeconds;

  // Rings sized for one hour at `intervalSeconds` (1 s when smaller).
  explicit History(int32_t intervalSeconds = 5);
  // A new interval resizes the rings (keeping the newest samples).
  void SetInterval(int32_t intervalSeconds);

  // One tick: every present channel's value.
  void Record(const SensorReadings& readings);
  // The same where present channels may lack a value (MonitorState::noValue): such a channel's
  // sample is kNoValue, a gap, and it counts toward neither the lowest nor the highest reading.
  void Record(const SensorReadings& readings, const std::array<bool, kChannelCount>& noValue);

  size_t Capacity() const { return capacity_; }
  // The channel's samples, oldest first (at most Capacity()); kNoValue where it had no value.
  std::vector<int32_t> Samples(int item) const;
  std::optional<int32_t> Min(int item) const { return min_[static_cast<size_t>(item)]; }
  std::optional<int32_t> Max(int item) const { return max_[static_cast<size_t>(item)]; }

 private:
  struct Ring {
    std::vector<int32_t> values;  // capacity_ long once full
    size_t next = 0;              // where the next sample goes once full
  };
  size_t capacity_;
  std::array<Ring, kChannelCount> rings_;
  std::array<std::optional<int32_t>, kChannelCount> min_{};
  std::array<std::optional<int32_t>, kChannelCount> max_{};
};

}  // namespace velmo::core
