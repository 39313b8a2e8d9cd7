// The alarm action dialog: how it opens, each action with OK, Esc, and the desktop notification
// of a starting alarm.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "monitor/core/ExtensionSettings.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

constexpr const char* kCpuAlarm = "The CPU  Temperature has exceeded Normal Operating Tolerance.";

// Ticks until the board has overheated and the dialog is open.
void RaiseAlarm(GuiRig& rig) {
  rig.Tick();
  rig.Tick();
  ASSERT_TRUE(rig.AlarmDialog().isVisible());
}

void ClickOk(GuiRig& rig, int32_t action) {
  CAlarmActionDialog& dialog = rig.AlarmDialog();
  if (action >= 0) {
    auto* radio = dialog.Layout().ItemAs<QRadioButton>(CAlarmActionDialog::kFirstRadio + action);
    QTest::mouseClick(radio, Qt::LeftButton);
  }
  QTest::mouseClick(dialog.Layout().ItemAs<QPushButton>(kIdOk), Qt::LeftButton);
  rig.Settle();  // the posted action
}

TEST(AlarmDialog, AnAlarmOpensItWithoutTakingTheFocus) {
  GuiRig rig(OnBoard(OverheatingBoard(10)));
  rig.Tick();
  EXPECT_FALSE(rig.AlarmDialog().isVisible());
  rig.Tick();
  CAlarmActionDialog& dialog = rig.AlarmDialog();
  ASSERT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialog.isWindow());
  EXPECT_FALSE(dialog.isModal());
  EXPECT_TRUE(dialog.testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint) << "no close box";
  EXPECT_EQ(dialog.windowTitle().trimmed(), "");
  EXPECT_FALSE(rig.Window().isVisible()) << "the frame stays where it was";
  EXPECT_EQ(dialog.Condition(), kCpuAlarm);
  EXPECT_EQ(dialog.Action(), 0) << "iWarningActs preselected";

  std::vector<std::string> radios;
  for (int32_t i = 0; i < 5; ++i)
    radios.push_back(dialog.Layout()
                         .ItemAs<QRadioButton>(CAlarmActionDialog::kFirstRadio + i)
                         ->text()
                         .toStdString());
  EXPECT_EQ(radios,
            (std::vector<std::string>{"Open Velmo", "Temporarily Disable this alarm",
                                      "Temporarily Disable all alarms", "Restart the computer",
                                      "Panic! Shutdown the computer"}));
  std::vector<std::string> texts;
  bool picture = false;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    texts.push_back(label->text().toStdString());
    picture = picture || !label->pixmap().isNull();
  }
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Velmo\n Version 3.10"), texts.end());
  EXPECT_TRUE(picture) << "the alarm picture";
  // Further ticks while it is open do not open it again.
  rig.Tick();
  EXPECT_EQ(dialog.Condition(), kCpuAlarm);
}

TEST(AlarmDialog, EachActionWithOk) {
  enum class Expect { kFrameOnCpu, kChannelOff, kAlarmsOff, kReboot, kPowerOff };
  const struct {
    int32_t action;
    Expect expect;
  } rows[] = {
      {0, Expect::kFrameOnCpu}, {1, Expect::kChannelOff}, {2, Expect::kAlarmsOff},
      {3, Expect::kReboot},     {4, Expect::kPowerOff},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.action);
    GuiRig rig(OnBoard(OverheatingBoard(10)));
    rig.host->Command(32772);  // the System page in front, so "Open Velmo" visibly changes it
    rig.Window().close();
    RaiseAlarm(rig);
    ClickOk(rig, row.action);
    const bool ends = row.expect == Expect::kReboot || row.expect == Expect::kPowerOff;
    // "Open Velmo" leaves the alarm on: the action's own tick opens the dialog again.
    EXPECT_EQ(rig.AlarmDialog().isVisible(), row.expect == Expect::kFrameOnCpu);
    EXPECT_EQ(rig.Window().isVisible(), row.expect == Expect::kFrameOnCpu);
    if (row.expect == Expect::kFrameOnCpu) {
      EXPECT_EQ(rig.Window().Sheet().currentIndex(), 0);
    }
    EXPECT_EQ(rig.State()[core::CPUTEMP].alarm.enabled, row.expect == Expect::kChannelOff ? 0 : 1);
    EXPECT_EQ(rig.State().params.bAlarm, row.expect == Expect::kAlarmsOff ? 0 : 1);
    const std::vector<core::PowerRequest> power =
        row.expect == Expect::kReboot     ? std::vector{core::PowerRequest::kReboot}
        : row.expect == Expect::kPowerOff ? std::vector{core::PowerRequest::kPowerOff}
                                          : std::vector<core::PowerRequest>{};
    EXPECT_EQ(rig.power.requests, power);
    EXPECT_EQ(rig.quits, ends ? std::vector<int>{0} : std::vector<int>{});
    EXPECT_EQ(rig.host->Saved(), ends);
    if (row.expect == Expect::kReboot) {
      // The chip's temperature trip limits go up before the restart.
      for (const int item : {core::SYSTEMP, core::CPUTEMP}) {
        const core::ChannelRecord& r = rig.State()[item];
        const auto bank = static_cast<unsigned>(r.bank);
        EXPECT_EQ(rig.board->PeekRegister(bank, static_cast<uint8_t>(r.upperRegister)), 127);
        EXPECT_EQ(rig.board->PeekRegister(bank, static_cast<uint8_t>(r.lowerRegister)), 126);
      }
    }
  }
}

TEST(AlarmDialog, RefusedRestartIsReportedAfterTheSettingsWereSaved) {
  GuiRig rig(OnBoard(OverheatingBoard(10)));
  rig.power.refuse = true;
  RaiseAlarm(rig);
  std::string message;
  bool savedFirst = false;
  WhenModal<QMessageBox>([&](QMessageBox& box) {
    message = box.windowTitle().toStdString() + ": " + box.text().toStdString();
    savedFirst = rig.registry.saves > 0;
    box.accept();
  });
  ClickOk(rig, 3);
  EXPECT_EQ(message, "Velmond: You have no System-Restart Privileges!");
  EXPECT_TRUE(savedFirst);
  EXPECT_EQ(rig.quits, std::vector<int>{0});
}

TEST(AlarmDialog, DryRunSendsNoPowerRequest) {
  GuiRigOptions options = OnBoard(OverheatingBoard(10));
  options.dryRunPower = true;
  GuiRig rig(options);
  RaiseAlarm(rig);
  ClickOk(rig, 4);
  EXPECT_TRUE(rig.power.requests.empty());
  EXPECT_EQ(rig.quits, std::vector<int>{0});
  EXPECT_TRUE(rig.host->Saved());
}

TEST(AlarmDialog, OkWithNoActionSelectedOnlyClosesIt) {
  GuiRigOptions options = OnBoard(OverheatingBoard(10));
  options.settings = [](core::MemoryRegistry& registry) {
    registry.model.OpenKey("HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10")
        .Set({"iWarningActs", core::REG_BINARY, {7, 0, 0, 0}});
  };
  GuiRig rig(options);
  RaiseAlarm(rig);
  EXPECT_EQ(rig.AlarmDialog().Action(), -1);
  ClickOk(rig, -1);
  // The action's own tick found the alarm still there and opened the dialog again.
  EXPECT_TRUE(rig.AlarmDialog().isVisible());
  EXPECT_FALSE(rig.Window().isVisible());
  EXPECT_TRUE(rig.power.requests.empty());
  EXPECT_EQ(rig.State().params.bAlarm, 1);
}

TEST(AlarmDialog, EscHidesItWithoutActionAndNoAlarmDialogOpensAgain) {
  GuiRig rig(OnBoard(OverheatingBoard(10)));
  RaiseAlarm(rig);
  QTest::keyClick(&rig.AlarmDialog(), Qt::Key_Escape);
  rig.Settle();
  EXPECT_FALSE(rig.AlarmDialog().isVisible());
  EXPECT_TRUE(rig.frame->AlarmDialogShown());
  EXPECT_EQ(rig.State().params.bAlarm, 1);
  EXPECT_EQ(rig.State()[core::CPUTEMP].alarm.enabled, 1);
  for (int i = 0; i < 3; ++i)
    rig.Tick();
  EXPECT_FALSE(rig.AlarmDialog().isVisible()) << "not for the rest of the run";
  EXPECT_EQ(rig.Tray().IconShown(), 137) << "while the tray still shows the alarm";
  EXPECT_EQ(rig.Tray().ToolTip().toStdString(), std::string(kCpuAlarm).substr(0, 63));
}

TEST(AlarmDialog, DesktopNotificationOncePerAlarmStart) {
  GuiRig rig(OnBoard(OverheatingBoard(10)));
  rig.Tick();
  EXPECT_TRUE(rig.notifier.bodies.empty());
  rig.Tick();
  EXPECT_EQ(rig.notifier.bodies, std::vector<QString>{kCpuAlarm});
  rig.Tick();
  rig.Tick();
  EXPECT_EQ(rig.notifier.bodies.size(), 1u) << "not again while the alarm lasts";
  rig.board->PokeRegister(1, 0x50, 50);
  rig.Tick();
  rig.board->PokeRegister(1, 0x50, 99);
  rig.Tick();
  EXPECT_EQ(rig.notifier.bodies.size(), 2u) << "recovered, then a new alarm";
}

TEST(AlarmDialog, DesktopNotificationOffInTheExtensionsKey) {
  GuiRigOptions options = OnBoard(OverheatingBoard(10));
  options.settings = [](core::MemoryRegistry& registry) {
    registry.model.OpenKey(core::ExtensionsKeyPath())
        .Set({"DesktopNotification", core::REG_DWORD, {0, 0, 0, 0}});
  };
  GuiRig rig(options);
  RaiseAlarm(rig);
  EXPECT_TRUE(rig.notifier.bodies.empty());
}

}  // namespace
}  // namespace velmo::app::gui::test
