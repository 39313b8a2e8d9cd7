#include "monitor/core/AlarmText.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmo::core
