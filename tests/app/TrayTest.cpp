// The notification area: icon and tooltip, menu 131 and its default item, the icon's clicks, and
// the start on a desktop without one.
#include <unistd.h>

#include <QMenuBar>
#include <QMessageBox>
#include <filesystem>
#include <fstream>

#include "monitor/display/Icons.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

QAction* TrayAction(GuiRig& rig, uint32_t id) {
  for (QAction* a : rig.Tray().Menu().actions())
    if (!a->isSeparator() && a->data().toUInt() == id) return a;
  return nullptr;
}

TEST(Tray, MenuHasItsItemsInOrderWithOpenCpuAsTheBoldDefault) {
  GuiRig rig;
  QMenu& menu = rig.Tray().Menu();
  std::vector<std::string> items;
  for (QAction* a : menu.actions())
    items.push_back(a->isSeparator()
                        ? "-"
                        : a->text().toStdString() + " " + std::to_string(a->data().toUInt()));
  EXPECT_EQ(items, (std::vector<std::string>{"Open (CPU) 32771", "System 32772",
                                             "Miscellaneous 32781", "-", "Suspend Velmo 32773", "-",
                                             "-", "UnInstall Velmo 32782"}));
  ASSERT_FALSE(menu.actions().isEmpty());
  EXPECT_EQ(menu.defaultAction(), menu.actions().front());
  EXPECT_TRUE(menu.actions().front()->font().bold());
  EXPECT_EQ(rig.Tray().Tray().contextMenu(), &menu);
}

TEST(Tray, MenuCommandsReachTheFrame) {
  const struct {
    uint32_t command;
    int tab;
  } rows[] = {{32771, 0}, {32772, 1}, {32781, 2}};
  for (const auto& row : rows) {
    GuiRig rig;
    TrayAction(rig, row.command)->trigger();
    EXPECT_TRUE(rig.Window().isVisible()) << row.command;
    EXPECT_EQ(rig.Window().Sheet().currentIndex(), row.tab) << row.command;
  }
}

TEST(Tray, UninstallAsksRemovesTheStartupEntryAndEndsThroughTheExitPath) {
  const auto dir = std::filesystem::path(testing::TempDir()) /
                   ("velmo-gui-autostart-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "velmond.desktop") << "[Desktop Entry]\n";
  GuiRigOptions options;
  options.autostartDir = dir.string();
  GuiRig rig(options);
  std::vector<std::string> boxes;
  WhenModal<QMessageBox>([&boxes](QMessageBox& box) {
    boxes.push_back(box.windowTitle().toStdString() + ": " + box.text().toStdString());
    WhenModal<QMessageBox>([&boxes](QMessageBox& second) {
      boxes.push_back(second.windowTitle().toStdString() + ": " + second.text().toStdString());
      second.accept();
    });
    box.button(QMessageBox::Yes)->click();
  });
  TrayAction(rig, 32782)->trigger();
  EXPECT_EQ(boxes, (std::vector<std::string>{"Velmond: Are you really want to uninstall Velmo?",
                                             "Velmond: Velmo has been uninstalled!"}));
  EXPECT_FALSE(std::filesystem::exists(dir / "velmond.desktop"));
  EXPECT_EQ(rig.quits, std::vector<int>{0});
  EXPECT_TRUE(rig.host->Saved());
  std::filesystem::remove_all(dir);
}

TEST(Tray, ClicksOnTheIcon) {
  const struct {
    const char* what;
    bool activationOnly;
    QSystemTrayIcon::ActivationReason reason;
    bool opens;
  } rows[] = {
      {"double click", false, QSystemTrayIcon::DoubleClick, true},
      {"single click", false, QSystemTrayIcon::Trigger, false},
      {"middle click", false, QSystemTrayIcon::MiddleClick, false},
      {"activation on a StatusNotifierItem host", true, QSystemTrayIcon::Trigger, true},
  };
  for (const auto& row : rows) {
    GuiRigOptions options;
    options.activationOnlyTray = row.activationOnly;
    GuiRig rig(options);
    rig.host->Command(32781);
    rig.Window().close();
    emit rig.Tray().Tray().activated(row.reason);
    EXPECT_EQ(rig.Window().isVisible(), row.opens) << row.what;
    if (row.opens) {
      EXPECT_EQ(rig.Window().Sheet().currentIndex(), 0) << row.what;
    }
  }
}

TEST(Tray, RightClickShowsTheMenuOnce) {
  GuiRig rig;
  emit rig.Tray().Tray().activated(QSystemTrayIcon::Context);
  EXPECT_TRUE(rig.Tray().Menu().isVisible());
  rig.Tray().ShowMenu();  // the notification area opened it already: nothing more happens
  EXPECT_TRUE(rig.Tray().Menu().isVisible());
  rig.Tray().Menu().hide();
}

TEST(Tray, IconAndTooltipFollowTheAlarm) {
  GuiRig rig(OnBoard(OverheatingBoard(10)));
  EXPECT_EQ(rig.Tray().ToolTip(), "") << "no tooltip before the first tick";
  rig.Tick();
  EXPECT_EQ(rig.Tray().IconShown(), 132);
  EXPECT_EQ(rig.Tray().ToolTip().toStdString(), rig.frame->StatusText().substr(0, 63));
  EXPECT_TRUE(rig.Tray().ToolTip().startsWith("CPU Temp:45C/113F"));
  rig.Tick();
  EXPECT_EQ(rig.Tray().IconShown(), 137);
  EXPECT_EQ(
      rig.Tray().ToolTip().toStdString(),
      std::string("The CPU  Temperature has exceeded Normal Operating Tolerance.").substr(0, 63));
  EXPECT_LE(rig.Tray().ToolTip().size(), 63);
  rig.board->PokeRegister(1, 0x50, 50);
  rig.Tick();
  EXPECT_EQ(rig.Tray().IconShown(), 132);
}

TEST(Tray, AnIconNoAreaTookIsOfferedAgainOnTheNextReport) {
  bool available = false;
  int asked = 0;
  CNotificationArea area([&] { return ++asked, available; }, [] { return false; });
  EXPECT_FALSE(area.Show({132, "first"}));
  EXPECT_FALSE(area.Shown());
  available = true;
  EXPECT_TRUE(area.Show({137, "second"}));
  EXPECT_TRUE(area.Shown());
  EXPECT_EQ(area.IconShown(), 137);
  EXPECT_EQ(area.ToolTip(), "second");
  const int asks = asked;
  available = false;  // once shown, a change asks nothing
  EXPECT_TRUE(area.Show({132, "third"}));
  EXPECT_EQ(asked, asks);
  EXPECT_EQ(area.IconShown(), 132);
  EXPECT_TRUE(area.Show({0, "third"}));  // removed
  EXPECT_FALSE(area.Shown());
  EXPECT_FALSE(area.Show({132, "fourth"})) << "after its removal the area is asked again";
  EXPECT_EQ(asked, asks + 1);
}

TEST(Tray, IconsTellNormalFromAlarmAtSmallSizes) {
  for (const int size : {16, 22}) {
    const QImage normal = display::IconPixmap(132, size).toImage();
    for (const int alarm : {133, 137}) {
      const QImage alarmed = display::IconPixmap(alarm, size).toImage();
      ASSERT_FALSE(alarmed.isNull());
      // Count strongly red pixels: the alarm icons are mostly red, the normal one has none.
      const auto reds = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
          for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.alpha() > 200 && c.red() > 180 && c.green() < 80 && c.blue() < 80;
          }
        return n;
      };
      EXPECT_EQ(reds(normal), 0) << size;
      EXPECT_GT(reds(alarmed), size * size / 3) << alarm << " at " << size;
    }
  }
}

TEST(Tray, WithoutANotificationAreaTheFrameShowsAndSaysWhyOnce) {
  GuiRig rig(WithoutTray());
  ASSERT_TRUE(rig.created);
  EXPECT_TRUE(rig.host->NoTrayAtStart());
  EXPECT_TRUE(rig.Window().isVisible());
  EXPECT_EQ(rig.Window().StatusLine().toStdString(), kNoTrayStatus);
  EXPECT_EQ(rig.Window().height() - rig.Window().Sheet().height() > 0, true);
  rig.Tick();
  rig.Tick();
  EXPECT_EQ(rig.Window().StatusLine().toStdString(), kNoTrayStatus);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no message box to click away";
  // Closing cannot hide a window nothing else leads back to: it goes to the task bar.
  rig.Window().close();
  EXPECT_TRUE(rig.Window().isMinimized());
  EXPECT_TRUE(rig.quits.empty());
}

TEST(Tray, WithATrayTheFrameStaysHiddenWithoutStatusLine) {
  GuiRig rig;
  EXPECT_FALSE(rig.host->NoTrayAtStart());
  EXPECT_FALSE(rig.Window().isVisible());
  EXPECT_EQ(rig.Window().StatusLine(), "");
}

}  // namespace
}  // namespace velmo::app::gui::test
