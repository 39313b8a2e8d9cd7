// The frame as a window: its shape, menu and pages, what closing does, and what repaints when.
#include <QMenuBar>
#include <QTabBar>

#include "monitor/app/gui/MonitorSheet.h"
#include "monitor/display/CpuMonitor.h"
#include "monitor/display/Icons.h"
#include "monitor/display/SysMonitor.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

using core::Page;

std::vector<std::string> MenuLines(QMenu& menu) {
  std::vector<std::string> lines;
  for (QAction* a : menu.actions())
    lines.push_back(a->isSeparator()
                        ? "-"
                        : a->text().toStdString() + " " + std::to_string(a->data().toUInt()));
  return lines;
}

TEST(FrameWindow, StartsHiddenWithItsCaptionMenuAndFixedClientArea) {
  GuiRig rig;
  ASSERT_TRUE(rig.created);
  EXPECT_FALSE(rig.host->HasWindow()) << "a monitor in the tray makes no window";
  rig.Tick();
  EXPECT_FALSE(rig.host->HasWindow());
  CMainWindow& w = rig.Window();
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.windowTitle(), "Velmo(v3.10)");
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "no sizing border";
  EXPECT_EQ(w.Sheet().size(), QSize(470, 370));

  std::vector<std::string> bar;
  for (QAction* top : w.menuBar()->actions()) {
    bar.push_back(top->text().toStdString());
    for (const std::string& line : MenuLines(*top->menu()))
      bar.push_back("  " + line);
  }
  EXPECT_EQ(bar, (std::vector<std::string>{"&File", "  -", "  E&xit 57665", "Setting",
                                           "  Set Alarm Ranges 32774", "  Set App Parameters 32775",
                                           "&Help", "  &About Velmo... 57664"}));
  EXPECT_TRUE(rig.Tray().Shown());
  EXPECT_EQ(rig.Tray().IconShown(), 132);
  EXPECT_TRUE(rig.host->Timer().isActive());
  EXPECT_EQ(rig.host->Timer().interval(), 5000);
}

TEST(FrameWindow, TabsFollowTheBoardModel) {
  const struct {
    const char* bios;
    std::vector<std::string> tabs;
    std::vector<int32_t> icons;
  } rows[] = {
      {"7K4XZQB1", {"Cpu Monitor", "System Monitor", "Miscellaneous"}, {151, 159, 153}},
      {"7K4XHQBC",
       {"Cpu Monitor", "Cpu2 Monitor", "System Monitor", "Miscellaneous"},
       {151, 151, 159, 153}},
  };
  for (const auto& row : rows) {
    GuiRigOptions options;
    options.board = BoardText(45, "", row.bios);
    GuiRig rig(options);
    CMonitorSheet& sheet = rig.Window().Sheet();
    std::vector<std::string> tabs;
    for (int i = 0; i < sheet.count(); ++i) {
      tabs.push_back(sheet.tabText(i).toStdString());
      const QImage shown =
          sheet.tabIcon(i).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
      const QImage expected = display::IconPixmap(row.icons[static_cast<size_t>(i)], 16)
                                  .toImage()
                                  .convertToFormat(QImage::Format_ARGB32);
      EXPECT_EQ(shown, expected) << row.bios << " tab " << i;
    }
    EXPECT_EQ(tabs, row.tabs) << row.bios;
  }
}

TEST(FrameWindow, PageCommandsBringTheirPageToTheFront) {
  const struct {
    const char* bios;
    uint32_t command;
    int tab;
  } rows[] = {
      {"7K4XZQB1", 32771, 0}, {"7K4XZQB1", 32772, 1}, {"7K4XZQB1", 32781, 2},
      {"7K4XHQBC", 32771, 1},  // the CPU page is the second tab on board model 4
      {"7K4XHQBC", 32772, 2},
  };
  for (const auto& row : rows) {
    GuiRigOptions options;
    options.board = BoardText(45, "", row.bios);
    GuiRig rig(options);
    rig.host->Command(row.command);
    EXPECT_TRUE(rig.Window().isVisible()) << row.command;
    EXPECT_EQ(rig.Window().Sheet().currentIndex(), row.tab) << row.bios << " " << row.command;
  }
}

TEST(FrameWindow, ClosingOrExitOnlyHidesAndMonitoringGoesOn) {
  GuiRig rig;
  rig.host->Command(32772);
  ASSERT_TRUE(rig.Window().isVisible());
  rig.Window().close();
  EXPECT_FALSE(rig.Window().isVisible());
  rig.host->Command(32771);
  ASSERT_TRUE(rig.Window().isVisible());
  for (QAction* top : rig.Window().menuBar()->actions())
    for (QAction* a : top->menu()->actions())
      if (a->data().toUInt() == 57665) a->trigger();
  EXPECT_FALSE(rig.Window().isVisible());
  EXPECT_TRUE(rig.quits.empty());
  EXPECT_TRUE(rig.host->Timer().isActive());
  const uint64_t ticks = rig.frame->TickCount();
  rig.Tick();
  EXPECT_EQ(rig.frame->TickCount(), ticks + 1);
  EXPECT_TRUE(rig.Tray().Shown());
}

TEST(FrameWindow, OnlyThePageInViewRepaintsAndHiddenPagesCatchUp) {
  GuiRig rig;
  CMonitorSheet& sheet = rig.Window().Sheet();
  for (int i = 0; i < 3; ++i)
    rig.Tick();
  for (const Page p : {Page::kCpu, Page::kSystem, Page::kMisc})
    EXPECT_EQ(sheet.RefreshCount(p), 0) << "nothing repaints while the frame is hidden";

  // The System page was never shown: it takes the latest readings when it first shows.
  rig.board->PokeRegister(2, 0x50, 41);
  rig.Tick();
  rig.host->Command(32772);
  auto* system = static_cast<display::CSysMonitor*>(sheet.PageWidget(Page::kSystem));
  EXPECT_EQ(system->ReadoutAt(display::CSysMonitor::kTempC).Text(), " 41");

  rig.Tick();
  rig.Tick();
  EXPECT_EQ(sheet.RefreshCount(Page::kSystem), 2);
  EXPECT_EQ(sheet.RefreshCount(Page::kCpu), 0);

  // The CPU page shown once, then passed by while another page is in front, catches up.
  rig.host->Command(32771);
  rig.board->PokeRegister(1, 0x50, 52);
  rig.host->Command(32772);
  rig.Tick();
  EXPECT_EQ(sheet.RefreshCount(Page::kSystem), 3);
  rig.host->Command(32771);
  auto* cpu = static_cast<display::CCpuMonitor*>(sheet.PageWidget(Page::kCpu));
  EXPECT_EQ(cpu->ReadoutAt(display::CCpuMonitor::kTempC).Text(), " 52");

  rig.Window().close();
  const int cpuRefreshes = sheet.RefreshCount(Page::kCpu);
  rig.Tick();
  EXPECT_EQ(sheet.RefreshCount(Page::kCpu), cpuRefreshes);
}

TEST(FrameWindow, SuspendEndsThroughTheExitPathWithSettingsSaved) {
  GuiRig rig;
  QAction* suspend = nullptr;
  for (QAction* a : rig.Tray().Menu().actions())
    if (a->data().toUInt() == 32773) suspend = a;
  ASSERT_TRUE(suspend);
  suspend->trigger();
  EXPECT_EQ(rig.quits, std::vector<int>{0});
  EXPECT_TRUE(rig.host->Saved());
  EXPECT_GT(rig.registry.saves, 0);
  EXPECT_FALSE(rig.Tray().Shown());
  EXPECT_FALSE(rig.host->Timer().isActive());
  // Whatever arrives afterwards finds the program ended.
  rig.host->Command(32771);
  EXPECT_FALSE(rig.Window().isVisible());
}

}  // namespace
}  // namespace velmo::app::gui::test
