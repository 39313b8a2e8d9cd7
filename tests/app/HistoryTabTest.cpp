// The history extension's tab, the extensions run from the window host, and the one message the
// window gives when the settings could not be saved at the end.
#include <QMessageBox>

#include "monitor/app/gui/MonitorSheet.h"
#include "monitor/core/ChannelLabels.h"
#include "monitor/core/Resources.h"
#include "monitor/display/HistoryPage.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

using display::CHistoryPage;

GuiRigOptions WithExtension(std::string board, const char* name, core::RegistryValue value) {
  GuiRigOptions options = OnBoard(std::move(board));
  options.settings = [name, value](core::MemoryRegistry& registry) {
    core::RegistryValue v = value;
    v.name = name;
    registry.model.OpenKey(core::ExtensionsKeyPath()).Set(v);
  };
  return options;
}
// A REG_SZ value's bytes: UTF-16LE with its terminator.
std::vector<uint8_t> Utf16(const std::string& text) {
  std::vector<uint8_t> data;
  for (char c : text) {
    data.push_back(static_cast<uint8_t>(c));
    data.push_back(0);
  }
  data.insert(data.end(), {0, 0});
  return data;
}

GuiRigOptions WithHistory(std::string board) {
  return WithExtension(std::move(board), "ShowHistory", {"", core::REG_DWORD, {1, 0, 0, 0}});
}

std::vector<std::string> TabTexts(const CMonitorSheet& sheet) {
  std::vector<std::string> tabs;
  for (int i = 0; i < sheet.count(); ++i)
    tabs.push_back(sheet.tabText(i).toStdString());
  return tabs;
}

// Pixels of `color` in the plot of `group`, above row `aboveRow` (exclusive) or on it.
struct Count {
  int above = 0, onRow = 0, all = 0;
};
Count PixelsOf(const QImage& image, const QRect& plot, QColor color, int row) {
  Count c;
  for (int y = plot.top(); y <= plot.bottom(); ++y)
    for (int x = plot.left(); x <= plot.right(); ++x) {
      if (image.pixel(x, y) != color.rgb()) continue;
      ++c.all;
      if (y < row) ++c.above;
      if (y == row) ++c.onRow;
    }
  return c;
}

TEST(HistoryTab, FollowsTheBoardsTabsOnlyWhenShowHistoryIsOne) {
  for (const char* bios : {"7K4XZQB1", "7K4XHQBC"}) {
    GuiRig plain(OnBoard(BoardText(45, "", bios)));
    const std::vector<std::string> builtIn = TabTexts(plain.Window().Sheet());
    EXPECT_EQ(plain.Window().Sheet().HistoryPage(), nullptr);

    GuiRig rig(WithHistory(BoardText(45, "", bios)));
    std::vector<std::string> expected = builtIn;
    expected.push_back("History");
    EXPECT_EQ(TabTexts(rig.Window().Sheet()), expected) << bios;
  }
}

TEST(HistoryTab, ARiseOverTheLimitShowsAboveTheLimitLine) {
  GuiRig rig(WithHistory(OverheatingBoard(10)));
  rig.host->Command(core::kCmdOpenCpu);
  CMonitorSheet& sheet = rig.Window().Sheet();
  CHistoryPage* page = sheet.HistoryPage();
  ASSERT_TRUE(page);
  sheet.setCurrentWidget(page);
  rig.Settle();

  const QColor cpu = CHistoryPage::ChannelColor(core::CPUTEMP);
  const QColor limit = cpu.darker(130);
  const double upper = core::InBaseUnits(core::CPUTEMP, rig.State()[core::CPUTEMP].alarm.upper);
  ASSERT_GT(upper, 45);
  ASSERT_LT(upper, 97);

  rig.Tick();  // 45 C
  QImage before = page->grab().toImage();
  QRect plot = page->PlotRect(CHistoryPage::kTemperatures);
  int limitRow = page->RowOf(CHistoryPage::kTemperatures, upper);
  const Count cold = PixelsOf(before, plot, cpu, limitRow);
  EXPECT_GT(cold.all, 0) << "the first sample is drawn";
  EXPECT_EQ(cold.above, 0);
  EXPECT_GT(PixelsOf(before, plot, limit, limitRow).onRow, 0) << "the upper limit as a line";

  for (int i = 0; i < 4; ++i)
    rig.Tick();  // past 10 s: 97 C
  const QImage after = page->grab().toImage();
  plot = page->PlotRect(CHistoryPage::kTemperatures);
  limitRow = page->RowOf(CHistoryPage::kTemperatures, upper);
  const Count hot = PixelsOf(after, plot, cpu, limitRow);
  EXPECT_GT(hot.above, 0) << "the rise is visible over the limit";
  // At the right edge, the newest sample: above the line.
  bool newestAbove = false;
  for (int y = plot.top(); y < limitRow; ++y)
    newestAbove |= after.pixel(plot.right() - 2, y) == cpu.rgb();
  EXPECT_TRUE(newestAbove);
  EXPECT_EQ(rig.frame->LastReport().history->Samples(core::CPUTEMP).size(), 5u);
}

TEST(HistoryTab, AlarmCommandRunsFromTheWindowHostOncePerEpisode) {
  GuiRig rig(
      WithExtension(OverheatingBoard(10), "AlarmCommand", {"", core::REG_SZ, Utf16("log %c")}));
  for (int i = 0; i < 5; ++i)
    rig.Tick();
  EXPECT_EQ(rig.launcher.runs, (std::vector<std::vector<std::string>>{{"log", "CPUTEMP"}}));
}

TEST(HistoryTab, SettingsNotSavedAtTheEndIsOneMessage) {
  GuiRig rig;
  rig.registry.failWrites = true;
  std::vector<std::string> boxes;
  WhenModal<QMessageBox>([&boxes](QMessageBox& box) {
    boxes.push_back(box.windowTitle().toStdString() + ": " + box.text().toStdString());
    box.accept();
  });
  rig.host->Command(core::kCmdSuspend);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Velmond: The settings could not be saved (", 0), 0u) << boxes[0];
  EXPECT_EQ(rig.quits, std::vector<int>{0});
  EXPECT_FALSE(rig.host->Saved());
  EXPECT_FALSE(rig.host->NotSavedReason().empty());
}

TEST(HistoryTab, SettingsNotSavedOnASignalEndsWithoutAMessage) {
  GuiRig rig;
  rig.registry.failWrites = true;
  // A box would hold the end up: it is closed and counted.
  int boxes = 0;
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [&boxes] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      ++boxes;
      modal->close();
    }
  });
  guard.start(20);
  rig.host->RequestExit();
  EXPECT_EQ(boxes, 0);
  EXPECT_EQ(rig.quits, std::vector<int>{0});
  EXPECT_FALSE(rig.host->Saved());
}

}  // namespace
}  // namespace velmo::app::gui::test
