#include "monitor/hwmon/KernelChannels.h"

#include <time.h>

#include <chrono>

namespace velmo::hwmon {

namespace {

int64_t Milliseconds(clockid_t id) {
  timespec t{};
  clock_gettime(id, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

class RealClock : public KernelChannels::Clock {
 public:
  int64_t MonotonicMs() override { return Milliseconds(CLOCK_MONOTONIC); }
  int64_t SuspendedMs() override {
    // Two readings apart by nanoseconds; the difference only grows by whole suspends.
    const int64_t boot = Milliseconds(CLOCK_BOOTTIME);
    return boot - Milliseconds(CLOCK_MONOTONIC);
  }
};

}  // namespace

KernelChannels::Clock& KernelChannels::SystemClock() {
  static RealClock clock;
  return clock;
}

KernelChannels::KernelChannels(SensorFeatureSource& source, UserMapping user, Clock& clock,
                               base::WarningSink warn)
    : source_(source), user_(std::move(user)), clock_(clock), warn_(std::move(warn)) {}

KernelChannels::~KernelChannels() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool KernelChannels::Start() {
  const int64_t listing = clock_.MonotonicMs();
  features_ = source_.Features();
  // Every chip was read whole just now: when all of that was quick, so is each chip's part.
  const bool allQuick = clock_.MonotonicMs() - listing <= kSlowReadMs;
  scanNames_ = source_.DeviceNames();
  lastRescanMs_ = clock_.MonotonicMs();
  lastSuspendedMs_ = clock_.SuspendedMs();
  if (features_.empty()) return false;  // the source lists fans, voltages and temperatures only
  std::vector<int> unmatched;
  const ChannelAssignment assignment = MapChannels(features_, user_, &unmatched);
  for (int c = 0; c < kMappedChannels; ++c) {
    if (!assignment[c]) continue;
    const SensorFeature& f = features_[*assignment[c]];
    channels_[c] = ChannelSensor{f.chip, f.prefix, f.name, f.label, f.kind, LimitsOf(f)};
    present_[c] = true;
    lastOk_[c] = true;
  }
  // Otherwise each mapped chip's speed, from one read of its features here.
  std::map<std::string, std::vector<int>> byChip;
  for (int c = 0; c < kMappedChannels; ++c) {
    if (channels_[c]) byChip[channels_[c]->chip].push_back(c);
  }
  for (const auto& [chip, chipChannels] : byChip) {
    if (allQuick) {
      speed_[chip] = Speed::kQuick;
      continue;
    }
    const int64_t start = clock_.MonotonicMs();
    for (const int c : chipChannels)
      ReadLocked(c);
    speed_[chip] = clock_.MonotonicMs() - start > kSlowReadMs ? Speed::kSlow : Speed::kQuick;
  }
  for (const int c : unmatched) {
    if (warn_) {
      warn_(std::string("Sensor_") + MappedChannelName(c) + ": \"" + DescribeChoice(*user_[c]) +
            "\" matches no sensor; the channel is absent");
    }
  }
  started_ = true;
  return true;
}

bool KernelChannels::ReadInBackground(const std::string& chip) const {
  const auto found = speed_.find(chip);
  return found == speed_.end() || found->second != Speed::kQuick;
}

void KernelChannels::ApplyScan(Scan scan) {
  features_ = std::move(scan.features);
  scanNames_ = std::move(scan.deviceNames);
  for (int c = 0; c < kMappedChannels; ++c) {
    if (!channels_[c]) continue;
    const ChannelSensor& s = *channels_[c];
    bool found = false;
    for (const SensorFeature& f : features_) {
      if (f.chip == s.chip && f.name == s.feature && f.kind == s.kind) {
        found = true;
        break;
      }
    }
    // A channel found again starts afresh; one that stayed keeps its record of failures, so an
    // input that keeps failing does not ask for a rescan every tick.
    if (found && !present_[c]) lastOk_[c] = true;
    present_[c] = found;
  }
  // A chip that went away is measured again when it is back.
  std::erase_if(speed_, [this](const auto& entry) {
    for (const SensorFeature& f : features_) {
      if (f.chip == entry.first) return false;
    }
    quickStreak_.erase(entry.first);
    return true;
  });
}

bool KernelChannels::TakeFinishedScan() {
  std::optional<Scan> scan;
  {
    std::lock_guard lock(mutex_);
    scan.swap(finishedScan_);
  }
  if (!scan) return false;
  rescanInFlight_ = false;
  ApplyScan(std::move(*scan));
  return true;
}

const char* KernelChannels::RescanReason(int64_t now) {
  if (failedSinceScan_) return "a read failed";
  if (source_.DeviceNames() != scanNames_) return "the devices changed";
  if (clock_.SuspendedMs() - lastSuspendedMs_ >= kResumeMs) return "resumed";
  if (now - lastRescanMs_ >= kRescanPeriodMs) {
    for (int c = 0; c < kMappedChannels; ++c) {
      if (channels_[c] && (!present_[c] || !lastOk_[c])) return "a chip is missing";
    }
  }
  return nullptr;
}

void KernelChannels::EnsureWorker() {
  if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
}

std::optional<double> KernelChannels::ReadLocked(int channel) {
  const ChannelSensor& s = *channels_[channel];
  return source_.ReadInput(s.chip, s.feature);
}

void KernelChannels::WorkerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || rescanWanted_ || job_.has_value(); });
    if (stop_) return;
    if (rescanWanted_) {
      rescanWanted_ = false;
      lock.unlock();
      Scan scan;
      {
        std::unique_lock library(library_);
        scan.deviceNames = source_.DeviceNames();
        source_.Rescan();
        scan.features = source_.Features();
      }
      lock.lock();
      finishedScan_ = std::move(scan);
      done_.notify_all();
      continue;
    }
    const Job job = std::move(*job_);
    job_.reset();
    busy_ = true;
    lock.unlock();
    std::shared_lock library(library_);
    for (size_t i = 0; i < job.channels.size(); ++i) {
      const int c = job.channels[i];
      const int64_t start = clock_.MonotonicMs();
      const std::optional<double> value = ReadLocked(c);
      const int64_t took = clock_.MonotonicMs() - start;
      std::lock_guard result(mutex_);
      if (resultTick_ == job.tick) {
        results_[c] = value;
        resultDone_[c] = true;
        resultMs_[c] = took;
      }
      // Free for the next tick's job as soon as that tick may see this one's last result.
      if (i + 1 == job.channels.size()) busy_ = false;
      done_.notify_all();
    }
    library.unlock();
    lock.lock();
    busy_ = false;
  }
}

std::array<std::optional<int32_t>, kMappedChannels> KernelChannels::Read() {
  std::array<std::optional<int32_t>, kMappedChannels> out{};
  if (!started_) return out;
  ++tick_;
  const int64_t now = clock_.MonotonicMs();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(tickBoundMs_);

  TakeFinishedScan();  // one asked for at an earlier tick
  if (!rescanInFlight_) {
    if (RescanReason(now)) {
      EnsureWorker();
      {
        std::lock_guard lock(mutex_);
        rescanWanted_ = true;
      }
      wake_.notify_one();
      rescanInFlight_ = true;
      failedSinceScan_ = false;
      lastRescanMs_ = now;
      lastSuspendedMs_ = clock_.SuspendedMs();
      ++rescans_;
      {
        std::unique_lock lock(mutex_);
        done_.wait_until(lock, deadline, [this] { return finishedScan_.has_value(); });
      }
      TakeFinishedScan();
    }
  }

  // The slow chips' features to the reader thread, unless it is still busy with an earlier tick.
  std::vector<int> background;
  std::map<std::string, std::vector<int>> here;  // chip -> channels read in this thread
  for (int c = 0; c < kMappedChannels; ++c) {
    if (!channels_[c] || !present_[c]) continue;
    if (ReadInBackground(channels_[c]->chip))
      background.push_back(c);
    else
      here[channels_[c]->chip].push_back(c);
  }
  bool posted = false;
  if (!background.empty()) {
    EnsureWorker();
    std::lock_guard lock(mutex_);
    if (!busy_ && !job_ && !rescanWanted_) {
      resultTick_ = tick_;
      results_ = {};
      resultDone_ = {};
      resultMs_ = {};
      job_ = Job{tick_, background};
      posted = true;
    }
  }
  if (posted) wake_.notify_one();

  std::array<std::optional<double>, kMappedChannels> values{};
  std::array<bool, kMappedChannels> read{};
  {
    // Not while a rescan rebuilds libsensors' records; then, nothing is read here this tick.
    std::shared_lock library(library_, std::defer_lock);
    if (!here.empty() && library.try_lock_until(deadline)) {
      for (const auto& [chip, chipChannels] : here) {
        const int64_t start = clock_.MonotonicMs();
        for (const int c : chipChannels) {
          values[c] = ReadLocked(c);
          read[c] = true;
        }
        if (clock_.MonotonicMs() - start > kSlowReadMs) {
          speed_[chip] = Speed::kSlow;
          quickStreak_[chip] = 0;
        }
      }
    }
  }
  if (posted) {
    std::unique_lock lock(mutex_);
    done_.wait_until(lock, deadline, [&] {
      for (const int c : background) {
        if (!resultDone_[c]) return false;
      }
      return true;
    });
    std::map<std::string, int64_t> took;  // chip -> its reads' time; -1: not all in time
    for (const int c : background) {
      int64_t& chipMs = took[channels_[c]->chip];
      if (!resultDone_[c]) {  // not in time: no value, and not a failure
        chipMs = -1;
        continue;
      }
      if (chipMs >= 0) chipMs += resultMs_[c];
      values[c] = results_[c];
      read[c] = true;
    }
    // A chip read for the first time is placed by how long that took; a slow one comes back
    // after a run of quick reads.
    for (const auto& [chip, ms] : took) {
      const bool quick = ms >= 0 && ms <= kSlowReadMs;
      Speed& speed = speed_[chip];
      int& streak = quickStreak_[chip];
      streak = quick ? streak + 1 : 0;
      if (speed == Speed::kUnknown) speed = quick ? Speed::kQuick : Speed::kSlow;
      if (speed == Speed::kSlow && streak >= kQuickTicks) speed = Speed::kQuick;
      if (speed == Speed::kQuick) streak = 0;
    }
  }

  for (int c = 0; c < kMappedChannels; ++c) {
    if (!read[c]) continue;
    if (!values[c] && lastOk_[c]) failedSinceScan_ = true;
    lastOk_[c] = values[c].has_value();
    out[c] = ChannelUnits(channels_[c]->kind, values[c]);
  }
  return out;
}

}  // namespace velmo::hwmon
