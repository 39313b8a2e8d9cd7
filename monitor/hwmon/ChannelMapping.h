// Which kernel sensor feeds each of the monitor's 15 channels. The default mapping is a table
// (ChannelMapping.cpp): per channel an ordered list of (chip-name pattern, feature pattern); the
// first rule that some unused, plausible feature matches wins. Patterns are shell globs (fnmatch),
// the chip pattern against the driver's name, the feature pattern against the label (any case)
// or the feature's name ("in0"), so a sensors.conf label and the bare name both work.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "monitor/hwmon/SensorFeatures.h"

namespace velmo::hwmon {

inline constexpr int kMappedChannels = 15;  // the monitor's channels, in its order

struct MappingRule {
  const char* chip;
  const char* feature;
  // Tried only after every channel's other rules: "the next fan not taken yet".
  bool fallback = false;
};

struct ChannelRules {
  int32_t channel;  // the monitor's channel number (CPUFAN ... CPUTEMP)
  FeatureKind kind;
  std::span<const MappingRule> rules;
};

// The default mapping, one row per channel that has rules.
std::span<const ChannelRules> DefaultChannelRules();

// The feature a channel is read from: an index into the features given; none when absent.
using ChannelAssignment = std::array<std::optional<size_t>, kMappedChannels>;

// Applies `rules` to `features`, chips taken in name order. A feature feeds at most one channel.
// Not mapped: a feature of another kind, a temperature that reads a floating input's value (-128,
// -62, +127 degrees or beyond), a fan that reads nothing, or 0 RPM with no minimum set.
ChannelAssignment MapChannels(const std::vector<SensorFeature>& features,
                              std::span<const ChannelRules> rules = DefaultChannelRules());

// The feature indexes in chip-name order (features of one chip keep their order).
std::vector<size_t> ChipNameOrder(const std::vector<SensorFeature>& features);

// The default rules for the channels not `decided` and not yet in `out`, over the features not
// `used` yet (MapChannels with some channels and features already taken).
void MapRemaining(const std::vector<SensorFeature>& features, std::span<const ChannelRules> rules,
                  const std::array<bool, kMappedChannels>& decided, ChannelAssignment* out,
                  std::vector<bool>* used);

// One reading of every channel: the features read, the channel each feeds, and the channels
// values in the channel table's units (none for a channel that is absent or could not be read).
struct MappedReading {
  std::vector<SensorFeature> features;
  ChannelAssignment assignment{};
  std::array<std::optional<int32_t>, kMappedChannels> values{};
};
MappedReading ReadMappedChannels(SensorFeatureSource& source,
                                 std::span<const ChannelRules> rules = DefaultChannelRules());

// The chip's own limits of a feature in the channel table's units, where the chip has them: a
// voltage's min and max, a fan's min (lower only), a temperature's max or else its crit (upper
// only; the lower end of a temperature alarm is its hysteresis, which the caller chooses).
struct KernelLimits {
  std::optional<int32_t> lower;
  std::optional<int32_t> upper;
  bool operator==(const KernelLimits&) const = default;
};
KernelLimits LimitsOf(const SensorFeature& feature);

// A value in the channel table's units: millivolts, RPM, whole degrees Celsius (rounded).
std::optional<int32_t> ChannelUnits(const SensorFeature& feature);
std::optional<int32_t> ChannelUnits(FeatureKind kind, std::optional<double> value);

}  // namespace velmo::hwmon
