// The user's own choice of the kernel sensor behind a channel, from the settings values
// Sensor_<CHANNEL>, written as sensors.conf names things, and the channel mapping that puts those
// choices before the default rules.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/base/Error.h"
#include "monitor/base/Warning.h"
#include "monitor/hwmon/ChannelMapping.h"

namespace velmo::hwmon {

// A user's choice for one channel, from the settings value Sensor_<CHANNEL> (REG_SZ):
// "<chip-pattern> <feature>", e.g. "k10temp-* Tccd1", "nct6798-* in0",
// "coretemp-isa-0000 Package id 0" (the feature is the rest of the text: a label may contain
// spaces, matched in any case against the label, or exactly the feature's name "temp3"), or
// "none" (the channel stays absent).
struct UserChoice {
  std::string chipPattern;
  std::string feature;
  bool none = false;
  bool operator==(const UserChoice&) const = default;
};

// nullopt for empty (or blank) text: no choice, the default mapping. An error for text that
// names no chip pattern and feature.
base::Expected<std::optional<UserChoice>> ParseUserChoice(std::string_view text);

// The choice as the user would write it: "k10temp-* Tccd1", "none".
std::string DescribeChoice(const UserChoice& choice);

using UserMapping = std::array<std::optional<UserChoice>, kMappedChannels>;

// The channel's name in settings and events: "CPUFAN" ... "CPUTEMP".
const char* MappedChannelName(int channel);

// The 15 Sensor_<CHANNEL> texts in channel order, parsed; a text that cannot be parsed is said
// through `warn` and leaves its channel to the default mapping.
UserMapping ParseUserMapping(std::span<const std::string, kMappedChannels> texts,
                             const base::WarningSink& warn);

// MapChannels with the user's choices first: a chosen channel takes the first feature (chips in
// name order) whose chip matches the pattern (fnmatch, against the full chip name
// "k10temp-pci-00c3" or the driver's name) and whose label (any case) or name matches, of the
// channel's kind, even a feature the default would reject as bogus (the user asked); that feature
// is then not used by the default rules. A choice that matches nothing leaves the channel absent
// and its channel number goes to `unmatched`; "none" leaves it absent.
ChannelAssignment MapChannels(const std::vector<SensorFeature>& features, const UserMapping& user,
                              std::vector<int>* unmatched = nullptr,
                              std::span<const ChannelRules> rules = DefaultChannelRules());

// The kind of sensor a channel shows.
FeatureKind KindOfChannel(int channel);

}  // namespace velmo::hwmon
