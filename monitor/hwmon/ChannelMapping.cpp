#include "monitor/hwmon/ChannelMapping.h"

#include <fnmatch.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "monitor/core/ChannelTable.h"

namespace velmo::hwmon {

namespace {

using core::AUXFAN;
using core::CHAFAN;
using core::CPUFAN;
using core::CPUTEMP;
using core::RESTEMP;
using core::SYSTEMP;
using core::V12;
using core::V5;
using core::V5SB;
using core::VB;
using core::VCORE;
using core::VIO;
using core::VN12;
using core::VN5;

// The CPU's own sensor first; a Super-I/O's CPU input only where the CPU has none.
constexpr MappingRule kCpuTemp[] = {
    {"k10temp", "Tctl"},           {"k10temp", "Tdie"},  {"coretemp", "Package id 0"},
    {"coretemp", "Physical id 0"},  // the package's label on kernels before 3.15
    {"zenpower", "Tdie"},          {"zenpower", "Tctl"}, {"*", "CPUTIN"},
};
constexpr MappingRule kSysTemp[] = {
    {"*", "SYSTIN"},
    {"*", "SYS*Temp*"},
    {"*", "Motherboard"},
    {"acpitz", "temp1"},
};
constexpr MappingRule kVgaTemp[] = {
    {"amdgpu", "edge"},
    {"nouveau", "temp1"},
    {"radeon", "temp1"},
};
// Fans: one named for the role, else the first wired fan not taken yet.
constexpr MappingRule kCpuFan[] = {{"*", "CPU*Fan*"}, {"*", "fan*", true}};
constexpr MappingRule kChassisFan[] = {{"*", "SYS*Fan*"}, {"*", "Chassis*"}, {"*", "fan*", true}};
constexpr MappingRule kAuxFan[] = {{"*", "AUX*Fan*"}, {"*", "fan*", true}};
// Voltages by label; where the chip's datasheet fixes a pin's use, by that pin too.
constexpr MappingRule kVcore[] = {
    {"*", "Vcore"},
    {"*", "CPU Core*"},
    {"*", "CPUVCORE"},
    {"nct67*", "in0"},
};
constexpr MappingRule kVio[] = {
    {"*", "+3.3V"}, {"*", "3.3V"}, {"*", "3VCC"}, {"*", "V3.3"}, {"nct67*", "in3"},
};
constexpr MappingRule kV5[] = {{"*", "+5V"}, {"*", "5V"}, {"*", "V5"}};
constexpr MappingRule kV12[] = {{"*", "+12V"}, {"*", "12V"}, {"*", "V12"}};
constexpr MappingRule kVn5[] = {{"*", "-5V"}};
constexpr MappingRule kVn12[] = {{"*", "-12V"}};
constexpr MappingRule kV5sb[] = {{"*", "5VSB"}, {"*", "+5VSB"}, {"*", "5V Standby"}};
constexpr MappingRule kVbat[] = {{"*", "Vbat"}, {"*", "VBAT"}, {"nct67*", "in8"}};

constexpr ChannelRules kDefault[] = {
    {CPUTEMP, FeatureKind::kTemperature, kCpuTemp},
    {SYSTEMP, FeatureKind::kTemperature, kSysTemp},
    {RESTEMP, FeatureKind::kTemperature, kVgaTemp},
    {CPUFAN, FeatureKind::kFan, kCpuFan},
    {CHAFAN, FeatureKind::kFan, kChassisFan},
    {AUXFAN, FeatureKind::kFan, kAuxFan},
    {VCORE, FeatureKind::kVoltage, kVcore},
    {VIO, FeatureKind::kVoltage, kVio},
    {V5, FeatureKind::kVoltage, kV5},
    {V12, FeatureKind::kVoltage, kV12},
    {VN5, FeatureKind::kVoltage, kVn5},
    {VN12, FeatureKind::kVoltage, kVn12},
    {V5SB, FeatureKind::kVoltage, kV5sb},
    {VB, FeatureKind::kVoltage, kVbat},
};

bool Matches(const MappingRule& rule, const SensorFeature& f) {
  if (fnmatch(rule.chip, f.prefix.c_str(), 0) != 0) return false;
  return fnmatch(rule.feature, f.label.c_str(), FNM_CASEFOLD) == 0 ||
         fnmatch(rule.feature, f.name.c_str(), 0) == 0;
}

// Whether a feature may feed a channel: not what an unwired input reads (the floating values
// of Super-I/O inputs and thermal diodes, a fan header with nothing on it).
bool Plausible(const SensorFeature& f) {
  if (!f.value) return f.kind == FeatureKind::kVoltage || f.kind == FeatureKind::kTemperature;
  const double v = *f.value;
  switch (f.kind) {
    case FeatureKind::kFan:
      // Stopped but watched (a minimum set) is a fan to alarm on; stopped and unwatched is
      // a header with nothing on it.
      return v > 0 || (f.minimum && *f.minimum > 0);
    case FeatureKind::kTemperature:
      return v > -55 && v < 127;
    case FeatureKind::kVoltage:
      return true;
  }
  return true;
}

}  // namespace

std::span<const ChannelRules> DefaultChannelRules() {
  return kDefault;
}

std::vector<size_t> ChipNameOrder(const std::vector<SensorFeature>& features) {
  // Chips in name order, so the mapping does not follow the hwmonN numbering.
  std::vector<size_t> order(features.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return features[a].chip < features[b].chip; });
  return order;
}

void MapRemaining(const std::vector<SensorFeature>& features, std::span<const ChannelRules> rules,
                  const std::array<bool, kMappedChannels>& decided, ChannelAssignment* out,
                  std::vector<bool>* used) {
  const std::vector<size_t> order = ChipNameOrder(features);
  // Named rules of every channel first, so a catch-all "fan*" never takes the fan a later
  // channel names; then the catch-alls, in channel order.
  for (const bool catchAll : {false, true}) {
    for (const ChannelRules& row : rules) {
      if (row.channel < 0 || row.channel >= kMappedChannels || decided[row.channel] ||
          (*out)[row.channel])
        continue;
      for (const MappingRule& rule : row.rules) {
        if (rule.fallback != catchAll) continue;
        for (const size_t i : order) {
          if ((*out)[row.channel]) break;
          const SensorFeature& f = features[i];
          if ((*used)[i] || f.kind != row.kind || !Plausible(f) || !Matches(rule, f)) continue;
          (*out)[row.channel] = i;
          (*used)[i] = true;
        }
        if ((*out)[row.channel]) break;
      }
    }
  }
}

ChannelAssignment MapChannels(const std::vector<SensorFeature>& features,
                              std::span<const ChannelRules> rules) {
  ChannelAssignment out{};
  std::vector<bool> used(features.size(), false);
  MapRemaining(features, rules, {}, &out, &used);
  return out;
}

MappedReading ReadMappedChannels(SensorFeatureSource& source, std::span<const ChannelRules> rules) {
  MappedReading out;
  out.features = source.Features();
  out.assignment = MapChannels(out.features, rules);
  for (int c = 0; c < kMappedChannels; ++c) {
    if (out.assignment[c]) out.values[c] = ChannelUnits(out.features[*out.assignment[c]]);
  }
  return out;
}

namespace {

std::optional<int32_t> InChannelUnits(FeatureKind kind, std::optional<double> value) {
  if (!value) return std::nullopt;
  double v = *value;
  if (kind == FeatureKind::kVoltage) v *= 1000.0;
  v = std::round(v);
  if (!(v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()))
    return std::nullopt;
  return static_cast<int32_t>(v);
}

}  // namespace

std::optional<int32_t> ChannelUnits(const SensorFeature& feature) {
  return InChannelUnits(feature.kind, feature.value);
}

std::optional<int32_t> ChannelUnits(FeatureKind kind, std::optional<double> value) {
  return InChannelUnits(kind, value);
}

KernelLimits LimitsOf(const SensorFeature& f) {
  switch (f.kind) {
    case FeatureKind::kVoltage:
      return {InChannelUnits(f.kind, f.minimum), InChannelUnits(f.kind, f.maximum)};
    case FeatureKind::kFan:
      // A minimum of 0 is the chip's way of saying none is set.
      if (f.minimum && *f.minimum > 0) return {InChannelUnits(f.kind, f.minimum), std::nullopt};
      return {};
    case FeatureKind::kTemperature:
      return {std::nullopt, InChannelUnits(f.kind, f.maximum ? f.maximum : f.critical)};
  }
  return {};
}

}  // namespace velmo::hwmon
