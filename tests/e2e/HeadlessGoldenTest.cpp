// Whole headless runs against golden event streams: tests/data/headless/<case>.board.json run
// for a number of ticks with the alarm confirmed as a person would, compared line by line with
// <case>.events.jsonl. VELMO_UPDATE_GOLDEN=1 rewrites the streams.
#include <gtest/gtest.h>

#include "tests/e2e/VelmondRun.h"
#include "tests/support/Golden.h"

namespace velmo::test {
namespace {

TEST(HeadlessGolden, EventStreamsOfTheDemoAndOneBoardPerChip) {
  struct Case {
    const char* name;
    int ticks;
  };
  const Case cases[] = {{"demo", 20},    {"w83781d", 8}, {"w83782d", 8},
                        {"w83627hf", 8}, {"sis5595", 6}, {"via686a", 9}};
  const std::string dir = std::string(VELMO_TEST_DATA_DIR) + "/headless/";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box(std::string("golden-") + c.name);
    const RunResult run =
        RunVelmond(box, {"--headless", "--board", dir + c.name + ".board.json", "--ticks",
                         std::to_string(c.ticks), "--confirm-alarm", "--dry-run-power"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.Of("alarm-dialog").empty());  // every case raises an alarm
    ExpectGolden(dir + c.name + ".events.jsonl", run.output);
  }
}

}  // namespace
}  // namespace velmo::test
