#include "monitor/core/JsonLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

namespace velmo::core {
namespace {

using nlohmann::ordered_json;

std::string Dumped(const ordered_json& j) {
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The event readers compare lines as text: a line written directly must be the library's.
TEST(JsonLine, WritesWhatTheLibraryDumps) {
  using namespace std::string_literals;
  const std::string texts[] = {
      ""s,
      "CPU Temp:45C/113F, SYS Temp:40C/104F"s,
      "a \"quoted\" \\ back\\slash"s,
      "tab\there, line\nbreak, bell\a, nul\0!"s,
      "45\xc2\xb0"
      "C and \xe2\x80\x94 a dash"s,
      "broken \xc3 and \xff bytes"s,
      "del \x7f"s,
  };
  for (const std::string& text : texts) {
    JsonLine line;
    line.Field("text", text).Field(text, 1);
    ordered_json expected;
    expected["text"] = text;
    expected[text] = 1;
    EXPECT_EQ(std::move(line).Finish(), Dumped(expected)) << text;
  }
}

TEST(JsonLine, NumbersNullsAndNestedObjects) {
  JsonLine line;
  line.Field("event", "tick")
      .Field("tick", std::numeric_limits<uint64_t>::max())
      .Field("low", std::numeric_limits<int32_t>::min())
      .Field("zero", 0)
      .Open("channels")
      .Open("CPUTEMP")
      .Field("present", 1)
      .Null("value")
      .Close()
      .Open("empty")
      .Close()
      .Close()
      .Null("last");
  ordered_json expected;
  expected["event"] = "tick";
  expected["tick"] = std::numeric_limits<uint64_t>::max();
  expected["low"] = std::numeric_limits<int32_t>::min();
  expected["zero"] = 0;
  expected["channels"]["CPUTEMP"]["present"] = 1;
  expected["channels"]["CPUTEMP"]["value"] = nullptr;
  expected["channels"]["empty"] = ordered_json::object();
  expected["last"] = nullptr;
  EXPECT_EQ(std::move(line).Finish(), Dumped(expected));
  EXPECT_EQ(JsonLine().Finish(), "{}");
}

}  // namespace
}  // namespace velmo::core
