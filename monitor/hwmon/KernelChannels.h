// The monitor's channels read from the kernel's sensors, tick by tick: the mapping fixed at the
// first scan (user's choices, then the default rules), each channel keyed by chip name and feature
// name (never hwmonN), and a read that never holds the tick for long.
//
// Cost. A tick reads only the mapped features' inputs, one libsensors value call each, in the
// caller's thread, plus one listing of /sys/class/hwmon to see devices come and go. No thread
// wakes between ticks.
//
// Rescans (SensorsLibrary::Rescan, then each channel's chip and feature looked up again), at most
// one per Read(), at the start of the tick:
//   - after a read that failed where the channel's previous read had not (a channel that keeps
//     failing after a rescan found it again waits for the minute rule below, so a broken input
//     does not cost a rescan per tick);
//   - when the entries of /sys/class/hwmon differ from those of the last scan (a device came,
//     went or was renumbered);
//   - after a resume (the time spent suspended grew), when drivers re-register devices;
//   - otherwise once a minute while a mapped chip is missing or a mapped input keeps failing.
// A channel whose chip is not in the latest scan reads nullopt until a rescan finds it again.
//
// The bound. A chip whose reads took longer than kSlowReadMs in one tick (SMBus chips, NVMe
// drives waking up) is read by a reader thread from then on: the tick hands that thread the slow
// chips' features and takes what it has read by kTickBoundMs after the tick began, nullopt for
// the rest (a read still running then is not waited for: its result is dropped, and until it ends
// those channels read nullopt and no further read of them is started). Start times each mapped
// chip's reads in the caller's thread, beside its first scan; a chip that a rescan finds again
// after it had gone is read by the reader thread first and placed by how long that took (a driver
// back from a resume may be slow). So only a chip that turns slow after having been quick holds a
// tick, once, for as long as that read takes. A slow chip whose reads were quick for kQuickTicks
// ticks in a row is read in the tick's thread again (a slow read may have been a moment's load).
//
// Rescans run on the reader thread too, the tick waiting for one at most until the bound (a
// rescan still running then leaves the tick without values). libsensors must not rescan while a
// read runs: reads hold a shared lock, a rescan the exclusive one, and the tick tries for its lock
// only until the bound. The reader thread is started by the first rescan or slow chip and sleeps
// without a timeout when it has nothing to do: it adds no wake-ups unless a chip is slow or a
// rescan is due. The SensorsLibrary's warnings during a rescan (a configuration that broke
// meanwhile) are given in the reader thread. The destructor waits for a read in flight.
//
// One thread calls Start, Read, Channels and Features.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/base/Warning.h"
#include "monitor/hwmon/ChannelMapping.h"
#include "monitor/hwmon/SensorFeatures.h"
#include "monitor/hwmon/UserMapping.h"

namespace velmo::hwmon {

// What feeds one channel, keyed by chip name and feature name (never hwmonN).
struct ChannelSensor {
  std::string chip;     // "k10temp-pci-00c3"
  std::string prefix;   // "k10temp"
  std::string feature;  // "temp1"
  std::string label;    // "Tctl" (sensors.conf applied)
  FeatureKind kind = FeatureKind::kTemperature;
  KernelLimits limits;  // LimitsOf at the first scan
  bool operator==(const ChannelSensor&) const = default;
};

class KernelChannels {
 public:
  // Time as the monitor sees it; a test double drives it. Called from the reader thread too.
  class Clock {
   public:
    virtual ~Clock() = default;
    virtual int64_t MonotonicMs() = 0;  // CLOCK_MONOTONIC
    virtual int64_t SuspendedMs() = 0;  // time spent suspended so far (BOOTTIME - MONOTONIC)
  };
  static Clock& SystemClock();

  static constexpr int64_t kSlowReadMs = 25;         // a chip's reads in one tick, longer: slow
  static constexpr int64_t kTickBoundMs = 50;        // how long a tick waits for the reader thread
  static constexpr int64_t kRescanPeriodMs = 60000;  // while a mapped chip is missing
  static constexpr int64_t kResumeMs = 1000;         // suspended time that counts as a resume
  static constexpr int kQuickTicks = 12;  // quick reads in a row that bring a slow chip back

  KernelChannels(SensorFeatureSource& source, UserMapping user, Clock& clock,
                 base::WarningSink warn);
  ~KernelChannels();  // stops and joins the reader thread (waiting for a read in flight)
  KernelChannels(const KernelChannels&) = delete;
  KernelChannels& operator=(const KernelChannels&) = delete;

  // First scan and mapping. False when the kernel exposes no fan, voltage or temperature
  // feature. Choices that match nothing are said through `warn`, one line each.
  bool Start();
  // Per channel what feeds it (fixed at Start), nullopt where absent.
  const std::array<std::optional<ChannelSensor>, kMappedChannels>& Channels() const {
    return channels_;
  }
  // Every feature of the latest scan, with values as of that scan (for listings, sensors -j).
  const std::vector<SensorFeature>& Features() const { return features_; }
  // One tick: each mapped channel's value in channel-table units (ChannelUnits: mV, RPM, whole
  // degrees C), nullopt where the channel is absent, its chip is gone, or its read failed or did
  // not complete in time. Never 0 or the previous value in place of a failed read.
  std::array<std::optional<int32_t>, kMappedChannels> Read();

  // How long a tick waits for the reader thread (kTickBoundMs unless set).
  void SetTickBound(int64_t ms) { tickBoundMs_ = ms; }

  // How many rescans were made (Start's scan not counted), and whether a chip is read by the
  // reader thread: for tests and diagnostics.
  int Rescans() const { return rescans_; }
  bool ReadInBackground(const std::string& chip) const;

 private:
  struct Scan {
    std::vector<SensorFeature> features;
    std::vector<std::string> deviceNames;
  };
  struct Job {  // the slow chips' features to read for one tick
    uint64_t tick = 0;
    std::vector<int> channels;
  };

  void ApplyScan(Scan scan);
  bool TakeFinishedScan();
  const char* RescanReason(int64_t now);
  void EnsureWorker();
  void WorkerLoop();
  std::optional<double> ReadLocked(int channel);

  SensorFeatureSource& source_;
  const UserMapping user_;
  Clock& clock_;
  base::WarningSink warn_;

  std::array<std::optional<ChannelSensor>, kMappedChannels> channels_{};
  std::vector<SensorFeature> features_;
  // Per channel: its feature is in the latest scan; its last read worked.
  std::array<bool, kMappedChannels> present_{};
  std::array<bool, kMappedChannels> lastOk_{};
  std::vector<std::string> scanNames_;
  // How long a chip's reads take: not known yet (just found: read by the reader thread once,
  // then placed), quick (read in the tick's thread) or slow (read by the reader thread).
  enum class Speed { kUnknown, kQuick, kSlow };
  std::map<std::string, Speed> speed_;      // chip name -> its speed
  std::map<std::string, int> quickStreak_;  // slow chip -> its quick reads in a row
  bool failedSinceScan_ = false;            // a new failure: rescan at the next tick
  int64_t lastRescanMs_ = 0;
  int64_t lastSuspendedMs_ = 0;
  uint64_t tick_ = 0;
  int64_t tickBoundMs_ = kTickBoundMs;
  bool started_ = false;
  int rescans_ = 0;
  bool rescanInFlight_ = false;

  // Between the tick and the reader thread.
  std::shared_timed_mutex library_;  // reads shared, rescans exclusive
  std::mutex mutex_;
  std::condition_variable wake_;  // the reader has work, or should stop
  std::condition_variable done_;  // the reader finished a read or a rescan
  bool stop_ = false;
  bool rescanWanted_ = false;
  std::optional<Scan> finishedScan_;
  std::optional<Job> job_;
  bool busy_ = false;  // reading a job
  uint64_t resultTick_ = 0;
  std::array<std::optional<double>, kMappedChannels> results_{};
  std::array<bool, kMappedChannels> resultDone_{};
  std::array<int64_t, kMappedChannels> resultMs_{};  // how long each read took
  std::thread worker_;
};

}  // namespace velmo::hwmon
