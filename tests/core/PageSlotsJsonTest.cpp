#include "monitor/core/PageSlotsJson.h"

#include <gtest/gtest.h>

namespace velmo::core {
namespace {

using nlohmann::json;

TEST(PageSlotsJson, ReadsTheTickEventsPagesObject) {
  const json pages = json::parse(R"({
    "cpu": {"mbModel": 4, "alarm": 1, "fan": 4500, "temp": 45, "vcore": 1750, "vio": 3300,
            "tempEnabled": 1, "tempOutOfRange": 0, "vioEnabled": 0, "vioOutOfRange": 0},
    "cpu2": {"mbModel": 4, "alarm": true, "fan": 4400, "temp": 47},
    "system": {"mbModel": 4, "alarm": 1, "chassisFan": 3000, "auxFan": 0, "temp": 38,
               "v5": 5026, "v12": 12160, "vn5": -5024, "vn12": -12096,
               "present": {"v5": 1, "v12": 1, "vn5": 0, "vn12": 1},
               "enabled": {"temp": 1, "v5": 1, "v12": 0, "vn5": 0, "vn12": 1},
               "outOfRange": {"temp": 0, "v5": 0, "v12": 0, "vn5": 0, "vn12": 1}},
    "misc": {"mbModel": 4, "alarm": 0, "agp": 1500}, "future": {"x": "ignored"}})");
  core::PageSlots s;
  s.cpu2.vcore = 1234;  // not in the file: kept
  const auto read = PageSlotsFromJson(pages, s);
  ASSERT_TRUE(read) << read.error().message;
  s = *read;
  EXPECT_EQ(s.cpu, (core::CpuPageSlots{4, 1, 4500, 45, 1750, 3300, 1, 0, 0, 0}));
  EXPECT_EQ(s.cpu2, (core::CpuPageSlots{4, 1, 4400, 47, 1234, 0, 0, 0, 0, 0}));
  EXPECT_EQ(s.system.vn12, -12096);
  EXPECT_EQ(s.system.present, (core::RailFlags{1, 1, 0, 1}));
  EXPECT_EQ(s.system.enabled, (core::SysAlarmFlags{1, 1, 0, 0, 1}));
  EXPECT_EQ(s.system.outOfRange, (core::SysAlarmFlags{0, 0, 0, 0, 1}));
  EXPECT_EQ(s.misc, (core::MiscPageSlots{4, 0, 1500}));
}

TEST(PageSlotsJson, RejectsBadEntriesAndLeavesTheSlotsAlone) {
  const struct {
    const char* text;
    const char* error;
  } rows[] = {
      {R"({"cpu": {"fan": "fast"}})", "cpu.fan"},
      {R"({"cpu": {"fan": 1.5}})", "cpu.fan"},
      {R"({"misc": {"agp": 4294967296}})", "misc.agp"},
      {R"({"system": {"present": {"v5": -2147483649}}})", "system.present.v5"},
      {R"({"system": {"outOfRange": []}})", "system.outOfRange"},
      {R"({"cpu2": 7})", "cpu2"},
      {R"([1, 2])", "pages"},
  };
  for (const auto& row : rows) {
    const auto read = PageSlotsFromJson(json::parse(row.text));
    ASSERT_FALSE(read) << row.text;
    EXPECT_NE(read.error().message.find(row.error), std::string::npos) << read.error().message;
  }
}

}  // namespace
}  // namespace velmo::core

namespace velmo::core {
namespace {

TEST(PageSlotsJson, WhatTheHeadlessHostWritesReadsBackTheSame) {
  PageSlots s;
  s.cpu = {4, 1, 4500, 45, 1750, 3300, 1, 1, 0, 1};
  s.cpu2 = {4, 1, 4400, 47, 1760, 3296, 1, 0, 0, 0};
  s.system = {4,
              3000,
              0,
              38,
              5026,
              12160,
              -5024,
              -12096,
              1,
              {1, 1, 0, 1},
              {1, 1, 0, 0, 1},
              {0, 0, 0, 0, 1}};
  s.misc = {4, 1, 1500};
  const auto back = PageSlotsFromJson(nlohmann::json::parse(PageSlotsToJson(s, 4).dump()));
  ASSERT_TRUE(back) << back.error().message;
  EXPECT_EQ(*back, s);
  EXPECT_FALSE(PageSlotsToJson(s, 9).contains("cpu2"));
}

TEST(PageSlotsJson, AValueSlotWithoutAReadingIsNullBothWays) {
  PageSlots s;
  s.cpu = {9, 1, kNoValue, kNoValue, 1750, kNoValue, 1, 0, 1, 0};
  s.system.temp = kNoValue;
  s.system.vn12 = kNoValue;
  s.misc.agp = kNoValue;
  const nlohmann::ordered_json written = PageSlotsToJson(s, 9);
  const std::string text = written.dump();
  EXPECT_NE(text.find(R"("fan":null,"temp":null,"vcore":1750,"vio":null)"), std::string::npos)
      << text;
  EXPECT_TRUE(written["system"]["temp"].is_null());
  EXPECT_TRUE(written["system"]["vn12"].is_null());
  EXPECT_TRUE(written["misc"]["agp"].is_null());
  const auto back = PageSlotsFromJson(nlohmann::json::parse(text));
  ASSERT_TRUE(back) << back.error().message;
  EXPECT_EQ(*back, s);
  // Only readings may be null: a flag or a board model may not.
  for (const char* bad : {R"({"cpu":{"alarm":null}})", R"({"system":{"present":{"v5":null}}})",
                          R"({"misc":{"mbModel":null}})"}) {
    EXPECT_FALSE(PageSlotsFromJson(nlohmann::json::parse(bad))) << bad;
  }
}

}  // namespace
}  // namespace velmo::core
