// The kernel's sensors as libsensors presents them: every chip's fan, voltage and temperature
// features with their labels (sensors.conf applied) and current values (its `compute` lines
// applied). Behind a small interface so that the channel mapping is tested without a machine.
#pragma once

#include <optional>
#include <string>
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

class SensorFeatureSource {
 public:
  virtual ~SensorFeatureSource() = default;
  // Every feature of every chip, chips in discovery order, features in the chip's order.
  virtual std::vector<SensorFeature> Features() = 0;
};

// The real source: libsensors, every call guarded.
class LibsensorsFeatureSource : public SensorFeatureSource {
 public:
  explicit LibsensorsFeatureSource(SensorsLibrary& library) : library_(library) {}
  std::vector<SensorFeature> Features() override;

 private:
  SensorsLibrary& library_;
};

}  // namespace velmo::hwmon
