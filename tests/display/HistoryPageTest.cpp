// The History tab's plots: ticks on which a channel had no reading are gaps in its line, and a
// lone reading between gaps still shows.
#include "monitor/display/HistoryPage.h"

#include <gtest/gtest.h>

#include "monitor/core/History.h"
#include "monitor/core/MonitorState.h"
#include "tests/display/PixelSupport.h"

namespace velmo::display {
namespace {

TEST(HistoryPage, TicksWithoutAReadingAreGapsInTheLine) {
  core::History history(720);  // five samples across the plot
  core::MonitorState state;
  state[core::CPUTEMP].present = 1;
  // A line from sample 0 to 1, a gap at 2 and 3, a lone reading at 4.
  const struct {
    int32_t value;
    bool missing;
  } ticks[] = {{40, false}, {60, false}, {0, true}, {0, true}, {50, false}};
  for (const auto& tick : ticks) {
    state[core::CPUTEMP].value = tick.value;
    state.noValue[core::CPUTEMP] = tick.missing;
    history.Record(state.readings, state.noValue);
  }
  ASSERT_EQ(history.Capacity(), 5u);
  CHistoryPage page(history, state);
  page.resize(400, 300);
  const QImage image = test::Render(page);
  const QRgb colour = CHistoryPage::ChannelColor(core::CPUTEMP).rgb();
  const QRect plot = page.PlotRect(CHistoryPage::kTemperatures);
  const double step = (plot.width() - 5) / 4.0;
  auto xOf = [&](int i) { return static_cast<int>(plot.right() - 2 - (4 - i) * step); };
  auto drawn = [&](int from, int to) {
    return test::CountColour(image, QRect(from, plot.top(), to - from, plot.height()), colour);
  };
  EXPECT_GT(drawn(xOf(0) + 3, xOf(1) - 3), 0) << "the line between two readings";
  EXPECT_EQ(drawn(xOf(1) + 3, xOf(4) - 3), 0) << "nothing across the gap";
  EXPECT_GT(drawn(xOf(4) - 2, xOf(4) + 2), 0) << "the lone reading after the gap";
  // The scale comes from the readings only: 40..60, not down to a made-up 0.
  EXPECT_GE(page.RowOf(CHistoryPage::kTemperatures, 40), plot.top());
  EXPECT_LE(page.RowOf(CHistoryPage::kTemperatures, 40), plot.bottom());
  EXPECT_GT(page.RowOf(CHistoryPage::kTemperatures, 0), plot.bottom());
}

}  // namespace
}  // namespace velmo::display
