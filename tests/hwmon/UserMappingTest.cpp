// The user's Sensor_<CHANNEL> choices: how the text is read, and how the choices go before the
// default mapping.
#include <gtest/gtest.h>

#include "monitor/core/ChannelTable.h"
#include "monitor/hwmon/UserMapping.h"

namespace velmo::test {
namespace {

using hwmon::FeatureKind;
using hwmon::SensorFeature;
using hwmon::UserChoice;

TEST(UserMapping, ParsesTheChoiceText) {
  struct Row {
    const char* text;
    std::optional<UserChoice> expected;  // for text that parses
    bool error = false;
  };
  const Row rows[] = {
      {"", std::nullopt},
      {"  \t ", std::nullopt},
      {"k10temp-* Tccd1", UserChoice{"k10temp-*", "Tccd1"}},
      {"  nct6798-*\tin0  ", UserChoice{"nct6798-*", "in0"}},
      {"coretemp-isa-0000 Package id 0", UserChoice{"coretemp-isa-0000", "Package id 0"}},
      {"*  CPU  Fan", UserChoice{"*", "CPU  Fan"}},  // spaces inside a label are kept
      {"none", UserChoice{"", "", true}},
      {"NONE", UserChoice{"", "", true}},
      {"none of-these", UserChoice{"none", "of-these"}},  // a chip named so
      {"k10temp-*", std::nullopt, true},                  // no feature
      {"k10temp-* Tctl\nTdie", std::nullopt, true},       // a control character
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const auto parsed = hwmon::ParseUserChoice(row.text);
    ASSERT_EQ(parsed.has_value(), !row.error);
    if (parsed) {
      EXPECT_EQ(*parsed, row.expected);
    } else {
      EXPECT_FALSE(parsed.error().message.empty());
    }
  }
}

TEST(UserMapping, BadTextIsSaidAndLeavesTheDefault) {
  std::array<std::string, hwmon::kMappedChannels> texts{};
  texts[core::CPUTEMP] = "k10temp-*";
  texts[core::SYSTEMP] = "none";
  std::vector<std::string> warnings;
  const hwmon::UserMapping user =
      hwmon::ParseUserMapping(texts, [&](const std::string& w) { warnings.push_back(w); });
  EXPECT_EQ(user[core::CPUTEMP], std::nullopt);
  EXPECT_TRUE(user[core::SYSTEMP] && user[core::SYSTEMP]->none);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("Sensor_CPUTEMP: ", 0), 0u) << warnings[0];
}

SensorFeature Feature(const char* chip, const char* prefix, const char* name, const char* label,
                      FeatureKind kind, double value) {
  SensorFeature f;
  f.chip = chip;
  f.prefix = prefix;
  f.name = name;
  f.label = label;
  f.kind = kind;
  f.value = value;
  return f;
}

// The channels mapped, as "CHANNEL=chip/name" words; then " unmatched:CHANNEL" words.
std::string Describe(const std::vector<SensorFeature>& features, const hwmon::ChannelAssignment& a,
                     const std::vector<int>& unmatched) {
  std::string text;
  for (int c = 0; c < hwmon::kMappedChannels; ++c) {
    if (!a[c]) continue;
    if (!text.empty()) text += ' ';
    text += std::string(hwmon::MappedChannelName(c)) + "=" + features[*a[c]].chip + "/" +
            features[*a[c]].name;
  }
  for (const int c : unmatched)
    text += std::string(" unmatched:") + hwmon::MappedChannelName(c);
  return text;
}

TEST(UserMapping, ChoicesComeBeforeTheDefaultRules) {
  constexpr auto T = FeatureKind::kTemperature;
  constexpr auto F = FeatureKind::kFan;
  constexpr auto V = FeatureKind::kVoltage;
  const std::vector<SensorFeature> features = {
      Feature("nct6798-isa-0290", "nct6798", "fan1", "fan1", F, 900),
      Feature("nct6798-isa-0290", "nct6798", "fan2", "fan2", F, 1200),
      Feature("nct6798-isa-0290", "nct6798", "in0", "in0", V, 1.0),
      Feature("nct6798-isa-0290", "nct6798", "temp1", "SYSTIN", T, 34),
      Feature("nct6798-isa-0290", "nct6798", "temp3", "AUXTIN0", T, -62),
      Feature("k10temp-pci-00c3", "k10temp", "temp1", "Tctl", T, 45),
      Feature("k10temp-pci-00c3", "k10temp", "temp3", "Tccd1", T, 41),
      Feature("coretemp-isa-0001", "coretemp", "temp1", "Package id 0", T, 60),
      Feature("coretemp-isa-0000", "coretemp", "temp1", "Package id 0", T, 50),
  };
  struct Row {
    const char* name;
    std::vector<std::pair<int, const char*>> choices;
    const char* expected;
  };
  const Row rows[] = {
      {"no choice: the default",
       {},
       "CPUFAN=nct6798-isa-0290/fan1 CHAFAN=nct6798-isa-0290/fan2 VCORE=nct6798-isa-0290/in0 "
       "SYSTEMP=nct6798-isa-0290/temp1 CPUTEMP=k10temp-pci-00c3/temp1"},
      {"a label by the driver's name; the default's choice then goes to another channel",
       {{core::CPUTEMP, "k10temp Tccd1"}, {core::SYSTEMP, "k10temp-* TCTL"}},
       "CPUFAN=nct6798-isa-0290/fan1 CHAFAN=nct6798-isa-0290/fan2 VCORE=nct6798-isa-0290/in0 "
       "SYSTEMP=k10temp-pci-00c3/temp1 CPUTEMP=k10temp-pci-00c3/temp3"},
      {"a label with spaces on the full chip name; a feature the default takes is taken first",
       {{core::CPUTEMP, "coretemp-isa-0001 package ID 0"}, {core::AUXFAN, "nct* fan1"}},
       "CPUFAN=nct6798-isa-0290/fan2 AUXFAN=nct6798-isa-0290/fan1 VCORE=nct6798-isa-0290/in0 "
       "SYSTEMP=nct6798-isa-0290/temp1 CPUTEMP=coretemp-isa-0001/temp1"},
      {"a floating input the user asked for; the feature's name, and no rule for VCORE2",
       {{core::RESTEMP, "nct6798-* temp3"}, {core::VCORE2, "*-isa-0290 in0"}},
       "CPUFAN=nct6798-isa-0290/fan1 CHAFAN=nct6798-isa-0290/fan2 VCORE2=nct6798-isa-0290/in0 "
       "RESTEMP=nct6798-isa-0290/temp3 SYSTEMP=nct6798-isa-0290/temp1 "
       "CPUTEMP=k10temp-pci-00c3/temp1"},
      {"none, a pattern matching nothing, and a feature of another kind stay absent",
       {{core::CPUTEMP, "none"}, {core::SYSTEMP, "it87-* temp1"}, {core::VCORE, "nct6798-* fan1"}},
       "CPUFAN=nct6798-isa-0290/fan1 CHAFAN=nct6798-isa-0290/fan2 unmatched:VCORE "
       "unmatched:SYSTEMP"},
      {"the name must match whole; a label is not a pattern",
       {{core::CPUTEMP, "k10temp-* temp"}, {core::SYSTEMP, "* SYS*"}},
       "CPUFAN=nct6798-isa-0290/fan1 CHAFAN=nct6798-isa-0290/fan2 VCORE=nct6798-isa-0290/in0 "
       "unmatched:SYSTEMP unmatched:CPUTEMP"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    hwmon::UserMapping user{};
    for (const auto& [channel, text] : row.choices) {
      const auto parsed = hwmon::ParseUserChoice(text);
      ASSERT_TRUE(parsed.has_value()) << text;
      user[channel] = *parsed;
    }
    std::vector<int> unmatched;
    const hwmon::ChannelAssignment a = hwmon::MapChannels(features, user, &unmatched);
    EXPECT_EQ(Describe(features, a, unmatched), row.expected);
  }
}

}  // namespace
}  // namespace velmo::test
