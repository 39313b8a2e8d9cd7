#include "monitor/hwmon/UserMapping.h"

#include <fnmatch.h>
#include <strings.h>

namespace velmo::hwmon {

namespace {

constexpr const char* kChannelNames[kMappedChannels] = {
    "CPUFAN", "CHAFAN", "AUXFAN", "VCORE", "VCORE2",  "VIO",     "V5",      "V12",
    "VN12",   "VN5",    "VB",     "V5SB",  "RESTEMP", "SYSTEMP", "CPUTEMP",
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool ChipMatches(const std::string& pattern, const SensorFeature& f) {
  return fnmatch(pattern.c_str(), f.chip.c_str(), 0) == 0 ||
         fnmatch(pattern.c_str(), f.prefix.c_str(), 0) == 0;
}

bool FeatureMatches(const std::string& wanted, const SensorFeature& f) {
  return strcasecmp(wanted.c_str(), f.label.c_str()) == 0 || wanted == f.name;
}

}  // namespace

const char* MappedChannelName(int channel) {
  return channel >= 0 && channel < kMappedChannels ? kChannelNames[channel] : "?";
}

FeatureKind KindOfChannel(int channel) {
  if (channel <= 2) return FeatureKind::kFan;
  if (channel <= 11) return FeatureKind::kVoltage;
  return FeatureKind::kTemperature;
}

base::Expected<std::optional<UserChoice>> ParseUserChoice(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::optional<UserChoice>();
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
      return base::Error{"the sensor choice holds a control character"};
  }
  if (text.size() == 4 && strncasecmp(text.data(), "none", 4) == 0) {
    UserChoice choice;
    choice.none = true;
    return std::optional<UserChoice>(choice);
  }
  size_t cut = 0;
  while (cut < text.size() && !IsBlank(text[cut]))
    ++cut;
  const std::string_view feature = Trim(text.substr(cut));
  if (feature.empty()) {
    return base::Error{"\"" + std::string(text) +
                       "\" names no feature: write \"<chip-pattern> <feature>\" or \"none\""};
  }
  return std::optional<UserChoice>(
      UserChoice{std::string(text.substr(0, cut)), std::string(feature), false});
}

std::string DescribeChoice(const UserChoice& choice) {
  return choice.none ? "none" : choice.chipPattern + " " + choice.feature;
}

UserMapping ParseUserMapping(std::span<const std::string, kMappedChannels> texts,
                             const base::WarningSink& warn) {
  UserMapping out{};
  for (int c = 0; c < kMappedChannels; ++c) {
    auto parsed = ParseUserChoice(texts[c]);
    if (parsed) {
      out[c] = *parsed;
    } else if (warn) {
      warn(std::string("Sensor_") + kChannelNames[c] + ": " + parsed.error().message +
           "; the default mapping is used");
    }
  }
  return out;
}

ChannelAssignment MapChannels(const std::vector<SensorFeature>& features, const UserMapping& user,
                              std::vector<int>* unmatched, std::span<const ChannelRules> rules) {
  ChannelAssignment out{};
  std::array<bool, kMappedChannels> decided{};
  std::vector<bool> used(features.size(), false);
  const std::vector<size_t> order = ChipNameOrder(features);
  for (int c = 0; c < kMappedChannels; ++c) {
    if (!user[c]) continue;
    decided[c] = true;
    if (user[c]->none) continue;
    for (const size_t i : order) {
      const SensorFeature& f = features[i];
      // The user asked for this one: no plausibility check, only the kind must fit.
      if (used[i] || f.kind != KindOfChannel(c) || !ChipMatches(user[c]->chipPattern, f) ||
          !FeatureMatches(user[c]->feature, f))
        continue;
      out[c] = i;
      used[i] = true;
      break;
    }
    if (!out[c] && unmatched) unmatched->push_back(c);
  }
  MapRemaining(features, rules, decided, &out, &used);
  return out;
}

}  // namespace velmo::hwmon
