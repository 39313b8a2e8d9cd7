#include <gtest/gtest.h>

#include "monitor/core/Acquisition.h"
#include "monitor/core/Identification.h"

namespace velmo::core {
namespace {

TEST(ClassifyBoardText, TableOfBoardTexts) {
  struct Row {
    std::string text;
    int32_t model;
  };
  const Row rows[] = {
      {"7K4XRQB8", 1},  // the exact text wins over its seven-character family
      {"7K4XRQB9", 2},
      {"7K4XRQB", 2},
      {"7K4XRQBx", 2},
      {"7K4T5QBB", 2},
      {"7K4T5QBC", 9},
      {"7K4XNQBB", 3},
      {"7K4XNQBC", 9},
      {"7K4XWQB", 3},
      {"7K4XWQBZ", 3},
      {"7K4XHQBC", 4},
      {"7K4XHQBD", 9},
      {"7K41TQB1", 5},
      {"7K41WQB", 5},
      {"7K41RQBQ", 5},
      {"7k41rqb1", 9},  // case-sensitive
      {"7k41tqb", 9},
      {"", 9},
      {"7K4", 9},
      {"7K4XRQ", 9},
      {std::string("7K4\0XRQB", 8), 9},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ClassifyBoardText(row.text), row.model) << row.text;
}

TEST(Conversions, FanCounts) {
  EXPECT_EQ(FanRpm(135, 2), 5000);
  EXPECT_EQ(FanRpm(0, 2), 0);
  EXPECT_EQ(FanRpm(255, 2), 0);
  EXPECT_EQ(FanRpm(1, 8), 168750);
  EXPECT_EQ(FanRpm(200, 1), 6750);
}

TEST(Conversions, ThermistorCurve) {
  struct Row {
    uint32_t raw;
    int32_t degrees;
  };
  // t = (64 - raw) & 0xFF; a = t * 100 / 32; r = a * 330 / (500 - a); interpolate in the table.
  const Row rows[] = {
      {64, 140},   // t 0: r 0 lies below the first entry, so index 1 is used (clamped later)
      {0, 71},     // t 64
      {32, 106},   // t 32
      {255, 70},   // t 65
      {200, 26},   // t 120
      {162, -43},  // t 158: the last interval of the curve
      {161, 0},    // t 159: beyond the coldest entry, reported as no reading
      {160, 0},    // t 160 and above: out of the curve
  };
  for (const Row& row : rows)
    EXPECT_EQ(ThermistorDegrees(row.raw), row.degrees) << row.raw;
}

TEST(Conversions, LookupTable) {
  EXPECT_EQ(LookupDegrees(0xFF), 0);          // x = 0: out of band, index 180
  EXPECT_EQ(LookupDegrees(0xFF - 12), 110);   // first entry
  EXPECT_EQ(LookupDegrees(0xFF - 240), -50);  // last entry
  EXPECT_EQ(LookupDegrees(0xFF - 241), 0);    // above the band
  EXPECT_EQ(LookupDegrees(0xFF - 11), 0);     // below the band
  EXPECT_EQ(LookupDegrees(0xFF - 100), 34);
}

}  // namespace
}  // namespace velmo::core
