// The kernel's sensors as libsensors presents them: every chip's fan, voltage and temperature
// features with their labels (sensors.conf applied) and current values (its `compute` lines
// applied). Behind a small interface so that the channel mapping is tested without a machine.
#pragma once

#include <dirent.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmo::hwmon {

class SensorsLibrary;

enum class FeatureKind { kFan, kVoltage, kTemperature };

struct SensorFeature {
  std::string chip;    // as `sensors` prints it: "k10temp-pci-00c3"
  std::string prefix;  // the driver's name: "k10temp"
  std::string name;    // "temp1", "in0", "fan2"
  std::string label;   // "Tctl"; the name when nothing labels it
  FeatureKind kind = FeatureKind::kTemperature;
  // The input in volts, RPM or degrees Celsius; none when it cannot be read.
  std::optional<double> value;
  // The chip's own limits (_min, _max, _crit), where it has them and they can be read.
  std::optional<double> minimum;
  std::optional<double> maximum;
  std::optional<double> critical;
  // The chip's bus as `sensors` names it on its "Adapter" line: "ISA adapter", "PCI adapter",
  // "Virtual device", or an I2C adapter's own name; empty when libsensors has no name for it.
  std::string adapter;
  bool operator==(const SensorFeature&) const = default;
};

// Threads: ReadInput may run in two threads at once (for different chips); Rescan and Features
// never run beside any other call.
class SensorFeatureSource {
 public:
  virtual ~SensorFeatureSource() = default;
  // Every feature of every chip of the last scan, chips in discovery order, features in the
  // chip's order, each with its value and limits read now.
  virtual std::vector<SensorFeature> Features() = 0;
  // The input of one feature of the last scan, read now (its `compute` line applied); none when
  // the chip or feature is not in the last scan or the read fails. The default reads every
  // feature; real sources read only this one.
  virtual std::optional<double> ReadInput(const std::string& chip, const std::string& feature);
  // Finds the chips again (devices come and go); the default does nothing.
  virtual void Rescan() {}
  // The hwmon devices there are now, sorted (the entries of /sys/class/hwmon): a cheap way to see
  // that a device came or went. The default is none.
  virtual std::vector<std::string> DeviceNames() { return {}; }
};

// The real source: libsensors, every call guarded. ReadInput keeps each feature's libsensors
// subfeature number, found by Features or at the first read, until the library rescans, so a read
// is one call of sensors_get_value (one sysfs file opened, read and closed).
class LibsensorsFeatureSource : public SensorFeatureSource {
 public:
  explicit LibsensorsFeatureSource(SensorsLibrary& library) : library_(library) {}
  ~LibsensorsFeatureSource() override;
  LibsensorsFeatureSource(const LibsensorsFeatureSource&) = delete;
  LibsensorsFeatureSource& operator=(const LibsensorsFeatureSource&) = delete;
  std::vector<SensorFeature> Features() override;
  std::optional<double> ReadInput(const std::string& chip, const std::string& feature) override;
  void Rescan() override;
  std::vector<std::string> DeviceNames() override;

 private:
  struct Input {
    const void* chip = nullptr;  // the library's sensors_chip_name, valid for its generation
    int number = -1;             // the input subfeature's number; -1: the feature has none
  };
  std::optional<Input> Resolve(const std::string& chip, const std::string& feature);
  // Empties the inputs' cache when the library rescanned since it was filled (lock held).
  void ForgetOldInputs();

  SensorsLibrary& library_;
  std::mutex cacheMutex_;  // ReadInput runs in two threads
  uint64_t cacheGeneration_ = 0;
  std::map<std::pair<std::string, std::string>, Input> cache_;
  // /sys/class/hwmon, kept open: listing it again at every tick is a rewind and a read.
  std::mutex classMutex_;
  DIR* classDir_ = nullptr;
};

}  // namespace velmo::hwmon
