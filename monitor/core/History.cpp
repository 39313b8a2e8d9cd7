#include "monitor/core/History.h"

#include <algorithm>

namespace velmo::core {

namespace {
size_t CapacityFor(int32_t intervalSeconds) {
  const int32_t interval = std::max<int32_t>(intervalSeconds, 1);
  return std::clamp<size_t>(static_cast<size_t>(History::kSpanSeconds / interval), 1,
                            History::kMaxSamples);
}
}  // namespace

History::History(int32_t intervalSeconds) : capacity_(CapacityFor(intervalSeconds)) {}

void History::SetInterval(int32_t intervalSeconds) {
  const size_t capacity = CapacityFor(intervalSeconds);
  if (capacity == capacity_) return;
  for (int item = 0; item < kChannelCount; ++item) {
    std::vector<int32_t> samples = Samples(item);
    if (samples.size() > capacity) samples.erase(samples.begin(), samples.end() - capacity);
    rings_[static_cast<size_t>(item)] = {std::move(samples), 0};
  }
  capacity_ = capacity;
}

void History::Record(const SensorReadings& readings) {
  Record(readings, {});
}

void History::Record(const SensorReadings& readings,
                     const std::array<bool, kChannelCount>& noValue) {
  for (size_t item = 0; item < readings.size(); ++item) {
    if (readings[item].present == 0) continue;
    const int32_t v = noValue[item] ? kNoValue : readings[item].value;
    Ring& ring = rings_[item];
    if (ring.values.size() < capacity_) {
      ring.values.push_back(v);
    } else {
      ring.values[ring.next] = v;
      ring.next = (ring.next + 1) % capacity_;
    }
    if (noValue[item]) continue;
    min_[item] = std::min(min_[item].value_or(v), v);
    max_[item] = std::max(max_[item].value_or(v), v);
  }
}

std::vector<int32_t> History::Samples(int item) const {
  const Ring& ring = rings_[static_cast<size_t>(item)];
  std::vector<int32_t> out(ring.values.begin() + static_cast<ptrdiff_t>(ring.next),
                           ring.values.end());
  out.insert(out.end(), ring.values.begin(),
             ring.values.begin() + static_cast<ptrdiff_t>(ring.next));
  return out;
}

}  // namespace velmo::core
