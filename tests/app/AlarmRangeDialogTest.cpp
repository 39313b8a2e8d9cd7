// Alarm Range Setting: the item list and its close-up rule, the mouse-adjusted readouts, the limit
// labels, Default, and what OK and Cancel give back to the channels.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "monitor/app/gui/AlarmRangeDialog.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

using core::CPUTEMP;
using core::SYSTEMP;
using core::V5;
using core::VN12;
using core::VN5;

// Opens the list, picks `name` in it with the keyboard and lets the list close.
void Choose(CAlarmRangeDialog& dialog, const QString& name) {
  CItemList& list = dialog.ItemList();
  list.showPopup();
  const int row = list.findText(name);
  ASSERT_GE(row, 0) << name.toStdString();
  list.view()->setCurrentIndex(list.model()->index(row, 0));
  QTest::keyClick(list.view(), Qt::Key_Return);
  QCoreApplication::processEvents();
}

void Click(display::CLedReadout& readout, Qt::MouseButton button, int times = 1) {
  for (int i = 0; i < times; ++i)
    QTest::mouseClick(&readout, button);
}

void PressOk(CAlarmRangeDialog& dialog) {
  QTest::mouseClick(dialog.Layout().ItemAs<QPushButton>(kIdOk), Qt::LeftButton);
}

// Runs "Set Alarm Ranges" with `drive` working the dialog.
void SetAlarmRanges(GuiRig& rig, std::function<void(CAlarmRangeDialog&)> drive) {
  WhenModal<CAlarmRangeDialog>(std::move(drive));
  rig.host->Command(32774);
}

TEST(AlarmRangeDialog, OpensOnTheFirstItemWithItsLimitsAndLabels) {
  GuiRig rig;
  bool ran = false;
  SetAlarmRanges(rig, [&](CAlarmRangeDialog& d) {
    ran = true;
    EXPECT_EQ(d.windowTitle(), "Alarm Range Setting");
    EXPECT_EQ(d.ShownItem(), 1);
    EXPECT_EQ(d.ItemList().currentText(), "CPU Temp.");
    std::vector<std::string> items;
    for (int i = 0; i < d.ItemList().count(); ++i)
      items.push_back(d.ItemList().itemText(i).toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"CPU Temp.", "System Temp.", "+5V  Voltage",
                                               "+12V Valtage", "-5V  Voltage", "-12V Voltage"}));
    EXPECT_EQ(d.UpperReadout().Text(), "95");
    EXPECT_EQ(d.LowerReadout().Text(), "90");
    EXPECT_EQ(d.LabelText(CAlarmRangeDialog::kUpperMin), "30C/86F");
    EXPECT_EQ(d.LabelText(CAlarmRangeDialog::kLowerMax), "120C/248F");
    EXPECT_FALSE(d.Layout().ItemAs<QCheckBox>(CAlarmRangeDialog::kDisable)->isChecked());
    EXPECT_FALSE(d.UpperReadout().testAttribute(Qt::WA_TransparentForMouseEvents));
    d.reject();
  });
  EXPECT_TRUE(ran);
}

TEST(AlarmRangeDialog, LeftClickLowersRightClickRaisesByTheReadoutsStep) {
  GuiRig rig;
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    Click(d.UpperReadout(), Qt::LeftButton, 3);
    EXPECT_EQ(d.UpperReadout().Text(), "92");
    Click(d.LowerReadout(), Qt::RightButton, 2);
    EXPECT_EQ(d.LowerReadout().Text(), "92");
    Choose(d, "+5V  Voltage");
    Click(d.UpperReadout(), Qt::RightButton);
    EXPECT_EQ(d.UpperReadout().Text(), "5.510");
    Click(d.LowerReadout(), Qt::LeftButton);
    EXPECT_EQ(d.LowerReadout().Text(), "4.490");
    d.reject();
  });
}

TEST(AlarmRangeDialog, OkStoresOnlyTheItemShown) {
  GuiRig rig;
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    Click(d.UpperReadout(), Qt::LeftButton, 5);  // CPU upper 95 -> 90, not stored
    Choose(d, "System Temp.");
    EXPECT_EQ(d.ShownItem(), 2);
    Click(d.LowerReadout(), Qt::RightButton);  // system lower 65 -> 66
    d.Layout().ItemAs<QCheckBox>(CAlarmRangeDialog::kDisable)->setChecked(true);
    PressOk(d);
  });
  EXPECT_EQ(rig.State()[CPUTEMP].alarm.upper, 95);
  EXPECT_EQ(rig.State()[CPUTEMP].alarm.enabled, 1);
  EXPECT_EQ(rig.State()[SYSTEMP].alarm.lower, 66);
  EXPECT_EQ(rig.State()[SYSTEMP].alarm.upper, 70);
  EXPECT_EQ(rig.State()[SYSTEMP].alarm.enabled, 0);
}

TEST(AlarmRangeDialog, ClosingTheListWithoutAChoiceReloadsTheItem) {
  GuiRig rig;
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    Click(d.UpperReadout(), Qt::LeftButton, 2);
    d.Layout().ItemAs<QCheckBox>(CAlarmRangeDialog::kDisable)->setChecked(true);
    d.ItemList().showPopup();
    QTest::keyClick(d.ItemList().view(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(d.UpperReadout().Text(), "95");
    EXPECT_FALSE(d.Layout().ItemAs<QCheckBox>(CAlarmRangeDialog::kDisable)->isChecked());
    d.reject();
  });
}

TEST(AlarmRangeDialog, ArrowKeysOnTheClosedListDoNotChangeTheItemShown) {
  GuiRig rig;
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    d.ItemList().setFocus();
    QTest::keyClick(&d.ItemList(), Qt::Key_Down);
    EXPECT_EQ(d.ItemList().currentText(), "System Temp.");
    EXPECT_EQ(d.ShownItem(), 1);
    Click(d.UpperReadout(), Qt::RightButton);
    PressOk(d);
  });
  EXPECT_EQ(rig.State()[CPUTEMP].alarm.upper, 96) << "OK stores into the item shown";
  EXPECT_EQ(rig.State()[SYSTEMP].alarm.upper, 70);
}

TEST(AlarmRangeDialog, UnchangedVoltageStaysAndOneClickFrom4750Stores4739) {
  GuiRig rig;
  rig.State()[V5].alarm.lower = 4750;
  rig.State()[V5].alarm.upper = 5250;
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    Choose(d, "+5V  Voltage");
    EXPECT_EQ(d.LowerReadout().Text(), "4.750");
    Click(d.LowerReadout(), Qt::LeftButton);
    EXPECT_EQ(d.LowerReadout().Text(), "4.740");
    PressOk(d);
  });
  EXPECT_EQ(rig.State()[V5].alarm.lower, 4739) << "the float lies just below 4.74";
  EXPECT_EQ(rig.State()[V5].alarm.upper, 5250) << "shown unchanged, stored unchanged";
}

TEST(AlarmRangeDialog, CancelChangesNothing) {
  GuiRig rig;
  const core::SensorReadings before = rig.State().readings;
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    Click(d.UpperReadout(), Qt::LeftButton, 4);
    Choose(d, "-12V Voltage");
    Click(d.LowerReadout(), Qt::RightButton, 4);
    d.Layout().ItemAs<QCheckBox>(CAlarmRangeDialog::kDisable)->setChecked(true);
    QTest::mouseClick(d.Layout().ItemAs<QPushButton>(kIdCancel), Qt::LeftButton);
  });
  for (int item = 0; item < core::kChannelCount; ++item)
    EXPECT_EQ(rig.State()[item].alarm, before[static_cast<size_t>(item)].alarm) << item;
  EXPECT_EQ(rig.frame->TickCount(), 1u) << "a tick runs at once after the dialog";
}

TEST(AlarmRangeDialog, BoardModel3RenamesTheNegativeRails) {
  GuiRig rig(OnBoard(BoardText(45, "", "7K4XNQBB")));
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    std::vector<std::string> items;
    for (int i = 0; i < d.ItemList().count(); ++i)
      items.push_back(d.ItemList().itemText(i).toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"CPU Temp.", "System Temp.", "+5V  Voltage",
                                               "+12V Valtage", "Vdimm  Voltage", "+3.3V Voltage"}));
    Choose(d, "+3.3V Voltage");
    EXPECT_EQ(d.ShownItem(), 6);
    d.reject();
  });
}

TEST(AlarmRangeDialog, DefaultShowsTheDefaultsWithoutTheUnitUntilAnItemIsChosen) {
  GuiRig rig;
  rig.State()[V5].alarm.upper = 5900;
  rig.State()[V5].alarm.enabled = 0;
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    Choose(d, "+5V  Voltage");
    EXPECT_EQ(d.UpperReadout().Text(), "5.900");
    EXPECT_TRUE(d.Layout().ItemAs<QCheckBox>(CAlarmRangeDialog::kDisable)->isChecked());
    QTest::mouseClick(d.Layout().ItemAs<QPushButton>(CAlarmRangeDialog::kDefault), Qt::LeftButton);
    EXPECT_EQ(d.UpperReadout().Text(), "5.500");
    EXPECT_EQ(d.LowerReadout().Text(), "4.500");
    EXPECT_FALSE(d.Layout().ItemAs<QCheckBox>(CAlarmRangeDialog::kDisable)->isChecked());
    EXPECT_EQ(d.LabelText(CAlarmRangeDialog::kUpperMin), "4.000");
    EXPECT_EQ(d.LabelText(CAlarmRangeDialog::kUpperMax), "6.000");
    EXPECT_EQ(d.ShownItem(), 3);
    Choose(d, "+5V  Voltage");
    EXPECT_EQ(d.LabelText(CAlarmRangeDialog::kLowerMin), "4.000V");
    EXPECT_EQ(d.UpperReadout().Text(), "5.900") << "choosing again reloads the stored words";
    QTest::mouseClick(d.Layout().ItemAs<QPushButton>(CAlarmRangeDialog::kDefault), Qt::LeftButton);
    PressOk(d);
  });
  EXPECT_EQ(rig.State()[V5].alarm.upper, 5500);
  EXPECT_EQ(rig.State()[V5].alarm.enabled, 1);
}

TEST(AlarmRangeDialog, LimitsOutsideTheRangeShowAndStoreClamped) {
  GuiRig rig;
  rig.State()[CPUTEMP].alarm.upper = 150;  // above adjustMax 120
  rig.State()[VN5].alarm.lower = -7000;    // below the whole-volt minimum -6
  SetAlarmRanges(rig, [](CAlarmRangeDialog& d) {
    EXPECT_EQ(d.UpperReadout().Text(), "120");
    Choose(d, "-5V  Voltage");
    EXPECT_EQ(d.LabelText(CAlarmRangeDialog::kLowerMin), "-6.500V");
    EXPECT_EQ(d.LowerReadout().Text(), "-6.000");
    Click(d.LowerReadout(), Qt::LeftButton);
    EXPECT_EQ(d.LowerReadout().Text(), "-6.000") << "the readout stops at its minimum";
    PressOk(d);
  });
  EXPECT_EQ(rig.State()[CPUTEMP].alarm.upper, 150) << "item 1 was not shown at OK";
  EXPECT_EQ(rig.State()[VN5].alarm.lower, -6000);
}

TEST(AlarmRangeDialog, ItemsNotPresentAreNotOffered) {
  core::AlarmRangeDialogData data;
  data.mbModel = 9;
  for (core::AlarmRangeEntry& e : data.channels)
    e = {1, 1, 1, 5000, 4000, 6000, 3000, 5000, 4000};
  data.channels[0].present = 0;  // CPU Temp.
  data.channels[4].present = 0;  // -5V
  CAlarmRangeDialog d(data);
  std::vector<std::string> items;
  for (int i = 0; i < d.ItemList().count(); ++i)
    items.push_back(d.ItemList().itemText(i).toStdString());
  EXPECT_EQ(items, (std::vector<std::string>{"System Temp.", "+5V  Voltage", "+12V Valtage",
                                             "-12V Voltage"}));
  EXPECT_EQ(d.ItemList().currentIndex(), -1) << "no selection when item 1 is not offered";
  EXPECT_EQ(d.ShownItem(), 1);
  EXPECT_EQ(d.UpperReadout().Text(), "5000") << "the readouts still show item 1";
}

TEST(AlarmRangeDialog, LabelFormats) {
  const struct {
    int32_t value;
    std::string degrees, volts, bare;
  } rows[] = {
      {30, "30C/86F", "0.030V", "0.030"},
      {80, "80C/176F", "0.080V", "0.080"},
      {-4750, "-4750C/-8518F", "-4.750V", "-4.750"},
      {-500, "-500C/-868F", "-0.500V", "-0.500"},
      {6000, "6000C/10832F", "6.000V", "6.000"},
      {0, "0C/32F", "0.000V", "0.000"},
      {INT32_MIN, "-2147483648C/-2147483648F", "-2147483.648V", "-2147483.648"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(TemperatureLabel(row.value), row.degrees);
    EXPECT_EQ(VoltageLabel(row.value, true), row.volts);
    EXPECT_EQ(VoltageLabel(row.value, false), row.bare);
  }
}

}  // namespace
}  // namespace velmo::app::gui::test
