#include "monitor/core/AlarmText.h"

#include <gtest/gtest.h>

#include "monitor/core/AlarmCommands.h"
#include "monitor/core/AlarmStarts.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {
namespace {

TEST(AlarmText, VoltageSentencesPrintTheNumbersWithoutPadding) {
  struct Row {
    int channel;
    int32_t mv;
    const char* numbers;
  };
  const Row rows[] = {
      {V5, 5250, "5.250"},
      {V5, 5050, "5.50"},
      {V12, 12050, "12.50"},
      {VN12, -11980, "-11.980"},
      {VN12, -12500, "-12.500"},
      {VN5, -500, "0.500"},
      {VB, 0, "0.0"},
      {V5SB, 1, "0.1"},
  };
  for (const Row& row : rows) {
    SensorReadings r{};
    r[static_cast<size_t>(row.channel)].value = row.mv;
    EXPECT_EQ(ComposeStatusText(r, row.channel),
              std::string("The ") + row.numbers +
                  " V Power-Line has exceeded Normal Operating Tolerance.");
  }
}

TEST(AlarmText, TemperatureSentencesHaveTwoBlanksBeforeTemperature) {
  SensorReadings r{};
  EXPECT_EQ(ComposeStatusText(r, RESTEMP),
            "The VGA  Temperature has exceeded Normal Operating Tolerance.");
  EXPECT_EQ(ComposeStatusText(r, SYSTEMP),
            "The System  Temperature has exceeded Normal Operating Tolerance.");
  EXPECT_EQ(ComposeStatusText(r, CPUTEMP),
            "The CPU  Temperature has exceeded Normal Operating Tolerance.");
}

TEST(AlarmText, StatusLineForNoAlarmAndForChannelsWithoutSentence) {
  SensorReadings r{};
  r[CPUTEMP].value = 45;
  r[SYSTEMP].value = -1;
  r[CPUFAN].value = 5000;
  r[CHAFAN].value = 0;
  const std::string expected = "CPU Temp:45C/113F, SYS Temp:-1C/31F, CPU FAN:ON, SYS FAN:OFF";
  for (int channel : {-1, int{CPUFAN}, int{VCORE}, int{VCORE2}, int{VIO}})
    EXPECT_EQ(ComposeStatusText(r, channel), expected) << channel;

  r[CPUTEMP].value = 5;
  r[CHAFAN].alarm.upper = 6000;  // ON means faster than the fan's upper word
  r[CHAFAN].value = 6000;
  EXPECT_EQ(ComposeStatusText(r, -1),
            "CPU Temp: 5C/41F, SYS Temp:-1C/31F, CPU FAN:ON, SYS FAN:OFF");

  r[CPUTEMP].value = 100;
  r[SYSTEMP].value = 100;
  r[CPUFAN].value = 0;
  const std::string longest = ComposeStatusText(r, -1);
  EXPECT_EQ(longest, "CPU Temp:100C/212F, SYS Temp:100C/212F, CPU FAN:OFF, SYS FAN:OFF");
  EXPECT_EQ(longest.size(), 64u);
}

TEST(AlarmText, FahrenheitTruncatesTowardZeroAndNeverOverflows) {
  EXPECT_EQ(Fahrenheit(-1), 31);
  EXPECT_EQ(Fahrenheit(-3), 27);
  EXPECT_EQ(Fahrenheit(105), 221);
  SensorReadings r{};
  r[CPUTEMP].value = INT32_MAX;  // a stored record of an absent channel may hold anything
  EXPECT_FALSE(ComposeStatusText(r, -1).empty());
}

TEST(AlarmText, AChannelWithoutAValuePrintsDashesAndHasNoSentence) {
  MonitorState s;
  for (int item : {int{CPUTEMP}, int{SYSTEMP}, int{CPUFAN}, int{CHAFAN}, int{V5}, int{RESTEMP}})
    s[item].present = 1;
  s[CPUTEMP].value = 45;
  s[SYSTEMP].value = 38;
  s[CPUFAN].value = 5000;
  s[CHAFAN].value = 0;
  s[V5].value = 5250;
  const std::string all = "CPU Temp:45C/113F, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:OFF";
  EXPECT_EQ(ComposeStatusText(s, -1), all);  // every value there: the texts as before
  EXPECT_EQ(ComposeStatusText(s, V5), ComposeStatusText(s.readings, V5));
  struct Row {
    std::vector<int> missing;
    int channel;
    const char* expected;
  };
  const Row rows[] = {
      {{CPUTEMP}, -1, "CPU Temp:--, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:OFF"},
      {{SYSTEMP, CHAFAN}, -1, "CPU Temp:45C/113F, SYS Temp:--, CPU FAN:ON, SYS FAN:--"},
      {{CPUFAN}, CPUFAN, "CPU Temp:45C/113F, SYS Temp:38C/100F, CPU FAN:--, SYS FAN:OFF"},
      // No sentence for a channel without a value: the status line instead.
      {{V5}, V5, all.c_str()},
      {{CPUTEMP}, CPUTEMP, "CPU Temp:--, SYS Temp:38C/100F, CPU FAN:ON, SYS FAN:OFF"},
      {{CPUTEMP}, RESTEMP, "The VGA  Temperature has exceeded Normal Operating Tolerance."},
      // An absent channel is not "no value": its record prints as it always has.
      {{VCORE}, -1, all.c_str()},
  };
  for (const Row& row : rows) {
    MonitorState t = s;
    for (int item : row.missing) {
      t.noValue[static_cast<size_t>(item)] = true;
      t[item].value = 0;  // the word is meaningless then
    }
    EXPECT_EQ(ComposeStatusText(t, row.channel), row.expected) << row.channel;
  }
}

TEST(AlarmText, AChannelWithoutAValueStartsNoAlarmAndItsCommandGetsNoNumber) {
  MonitorState s;
  s.params.bAlarm = 1;
  s[V5].present = 1;
  s[V5].value = 6000;
  s[V5].alarm.enabled = 1;
  s[V5].outOfRange = 1;
  AlarmEpisodes episodes;
  const auto started = episodes.Update(s);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_TRUE(started[0].started);
  EXPECT_EQ(StartsOf(s, started)[0].sentence,
            "The 6.0 V Power-Line has exceeded Normal Operating Tolerance.");
  // The sensor goes away with the flag left standing: the episode ends, and what an end
  // command is told has no made-up number.
  s.noValue[V5] = true;
  const auto ended = episodes.Update(s);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_FALSE(ended[0].started);
  const AlarmFacts facts = FactsOf(s, V5);
  EXPECT_EQ(facts.value, "--");
  EXPECT_EQ(facts.sentence.rfind("CPU Temp:", 0), 0u) << facts.sentence;
  EXPECT_TRUE(episodes.Update(s).empty());
}

}  // namespace
}  // namespace velmo::core
