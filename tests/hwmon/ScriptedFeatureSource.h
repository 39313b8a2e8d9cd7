// Test doubles for KernelChannels: a feature source whose machine the test scripts (features that
// come and go, reads that fail, are slow or block until released) and a clock the test moves.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "monitor/hwmon/KernelChannels.h"
#include "monitor/hwmon/SensorFeatures.h"

namespace velmo::test {

class FakeClock : public hwmon::KernelChannels::Clock {
 public:
  std::atomic<int64_t> monotonic{1000};
  std::atomic<int64_t> suspended{0};
  int64_t MonotonicMs() override { return monotonic; }
  int64_t SuspendedMs() override { return suspended; }
};

// The machine is `machine` (with `devices` as /sys/class/hwmon); the source sees the features of
// its last Rescan, as libsensors does, and reads values from the machine.
class ScriptedFeatureSource : public hwmon::SensorFeatureSource {
 public:
  explicit ScriptedFeatureSource(FakeClock& clock) : clock_(clock) {}

  // The script; change it between ticks (under Lock() while a reader thread may run).
  std::vector<hwmon::SensorFeature> machine;
  std::vector<std::string> devices;
  std::set<std::string> failing;        // "chip/feature" whose reads fail
  std::map<std::string, int64_t> slow;  // chip -> ms a read of it moves the clock on
  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }

  // Reads of `chip` wait until Release().
  void Block(const std::string& chip) {
    std::lock_guard lock(mutex_);
    blocked_ = chip;
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      blocked_.clear();
    }
    released_.notify_all();
  }
  // Whether a read is waiting in Block.
  bool Waiting() {
    std::lock_guard lock(mutex_);
    return waiting_ > 0;
  }

  int rescans = 0;
  std::atomic<int> reads{0};
  std::atomic<int> featureCalls{0};

  std::vector<hwmon::SensorFeature> Features() override {
    ++featureCalls;
    std::lock_guard lock(mutex_);
    std::vector<hwmon::SensorFeature> out;
    std::set<std::string> chips;
    for (const hwmon::SensorFeature& f : machine) {
      if (Known(f.chip, f.name)) out.push_back(Current(f));
      chips.insert(f.chip);
    }
    // A slow chip is as slow to list as to read.
    for (const std::string& chip : chips) {
      if (const auto s = slow.find(chip); s != slow.end()) clock_.monotonic += s->second;
    }
    return out;
  }
  std::optional<double> ReadInput(const std::string& chip, const std::string& feature) override {
    ++reads;
    std::unique_lock lock(mutex_);
    if (blocked_ == chip) {
      ++waiting_;
      released_.wait(lock, [&] { return blocked_ != chip; });
      --waiting_;
    }
    if (const auto s = slow.find(chip); s != slow.end()) clock_.monotonic += s->second;
    if (!Known(chip, feature)) return std::nullopt;
    for (const hwmon::SensorFeature& f : machine) {
      if (f.chip == chip && f.name == feature) return Current(f).value;
    }
    return std::nullopt;  // the chip is gone from the machine
  }
  void Rescan() override {
    std::lock_guard lock(mutex_);
    ++rescans;
    scanned_.clear();
    for (const hwmon::SensorFeature& f : machine)
      scanned_.insert(f.chip + "/" + f.name);
    scannedOnce_ = true;
  }
  std::vector<std::string> DeviceNames() override {
    std::lock_guard lock(mutex_);
    return devices;
  }

 private:
  // Before the first Rescan, the machine as it is (the library's first scan).
  bool Known(const std::string& chip, const std::string& feature) const {
    if (!scannedOnce_) return true;
    return scanned_.count(chip + "/" + feature) > 0;
  }
  hwmon::SensorFeature Current(hwmon::SensorFeature f) const {
    if (failing.count(f.chip + "/" + f.name)) f.value.reset();
    return f;
  }

  FakeClock& clock_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::string blocked_;
  int waiting_ = 0;
  std::set<std::string> scanned_;
  bool scannedOnce_ = false;
};

}  // namespace velmo::test
