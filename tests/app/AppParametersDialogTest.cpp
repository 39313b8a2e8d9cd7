// Set Application Parameters: the check boxes, the interval field and its up-down control, the
// integer check, Default, and the timer the frame re-arms afterwards.
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "monitor/app/gui/AppParametersDialog.h"
#include "tests/app/GuiRig.h"

namespace velmo::app::gui::test {
namespace {

using D = CAppParametersDialog;

QLineEdit& Field(D& d) {
  return *d.Layout().ItemAs<QLineEdit>(D::kInterval);
}
QCheckBox& Box(D& d, int32_t id) {
  return *d.Layout().ItemAs<QCheckBox>(id);
}
void Press(D& d, int32_t id) {
  QTest::mouseClick(d.Layout().ItemAs<QPushButton>(id), Qt::LeftButton);
}
void Type(D& d, const QString& text) {
  Field(d).selectAll();
  QTest::keyClicks(&Field(d), text);
}

void SetAppParameters(GuiRig& rig, std::function<void(D&)> drive) {
  WhenModal<D>(std::move(drive));
  rig.host->Command(32775);
}

TEST(AppParametersDialog, ShowsTheParameters) {
  GuiRig rig;
  rig.State().params.bAlarm = 0;
  rig.State().params.AutoUpdateInterval = 7;
  SetAppParameters(rig, [](D& d) {
    EXPECT_EQ(d.windowTitle(), "Set Application Parameters");
    EXPECT_TRUE(Box(d, D::kAutoUpdate).isChecked());
    EXPECT_FALSE(Box(d, D::kEnableAlarm).isChecked());
    EXPECT_EQ(Field(d).text(), "7");
    d.reject();
  });
}

TEST(AppParametersDialog, CancelReArmsTheTimerWithTheUnchangedValues) {
  GuiRig rig;
  rig.State().params.AutoUpdateInterval = 9;
  const core::AppParams before = rig.State().params;
  const uint64_t ticks = rig.frame->TickCount();
  SetAppParameters(rig, [](D& d) {
    Type(d, "60");
    Box(d, D::kAutoUpdate).setChecked(false);
    Press(d, kIdCancel);
  });
  EXPECT_EQ(rig.State().params, before);
  EXPECT_TRUE(rig.host->Timer().isActive());
  EXPECT_EQ(rig.host->Timer().interval(), 9000);
  EXPECT_EQ(rig.frame->TickCount(), ticks + 1) << "and a tick runs at once";
}

TEST(AppParametersDialog, CancelWithAutoUpdateOffKeepsTheTimerStopped) {
  GuiRig rig;
  rig.State().params.bAutoUpdate = 0;
  SetAppParameters(rig, [](D& d) { Press(d, kIdCancel); });
  EXPECT_FALSE(rig.host->Timer().isActive());
}

TEST(AppParametersDialog, OkTakesTheValuesAndReArmsTheTimer) {
  const struct {
    const char* typed;
    bool autoUpdate;
    bool alarm;
    bool timerRuns;
    int interval;
  } rows[] = {
      {"600", true, true, true, 600000},  // beyond the arrows' range, accepted as typed
      {"10", true, false, true, 10000},
      {"  12 ", true, true, true, 12000},
      {"30", false, true, false, 0},
      {"0", true, true, true, 5000},  // below one second: the default period, not a busy timer
  };
  for (const auto& row : rows) {
    GuiRig rig;
    SetAppParameters(rig, [&](D& d) {
      Type(d, row.typed);
      Box(d, D::kAutoUpdate).setChecked(row.autoUpdate);
      Box(d, D::kEnableAlarm).setChecked(row.alarm);
      Press(d, kIdOk);
    });
    EXPECT_EQ(rig.State().params.bAutoUpdate, row.autoUpdate ? 1 : 0) << row.typed;
    EXPECT_EQ(rig.State().params.bAlarm, row.alarm ? 1 : 0) << row.typed;
    EXPECT_EQ(rig.host->Timer().isActive(), row.timerRuns) << row.typed;
    if (row.timerRuns) {
      EXPECT_EQ(rig.host->Timer().interval(), row.interval) << row.typed;
    }
  }
}

TEST(AppParametersDialog, TextThatIsNotAnIntegerIsRefusedAndTheDialogStaysOpen) {
  GuiRig rig;
  std::vector<std::string> boxes;
  SetAppParameters(rig, [&](D& d) {
    Type(d, "ten");
    WhenModal<QMessageBox>([&](QMessageBox& box) {
      boxes.push_back(box.windowTitle().toStdString() + ": " + box.text().toStdString());
      EXPECT_EQ(box.icon(), QMessageBox::Warning);
      box.accept();
      QTimer::singleShot(0, &d, [&d] {
        EXPECT_TRUE(d.isVisible()) << "the dialog stays open";
        EXPECT_EQ(d.focusWidget(), &Field(d)) << "the field has the focus back";
        EXPECT_EQ(Field(d).selectedText(), "ten");
        Type(d, "15");
        Press(d, kIdOk);
      });
    });
    Press(d, kIdOk);
  });
  EXPECT_EQ(boxes, std::vector<std::string>{"Velmond: Please enter an integer."});
  EXPECT_EQ(rig.State().params.AutoUpdateInterval, 15);
}

TEST(AppParametersDialog, DefaultRestoresTheControlsOnly) {
  GuiRig rig;
  rig.State().params.bAlarm = 0;
  rig.State().params.bAutoUpdate = 0;
  rig.State().params.AutoUpdateInterval = 40;
  SetAppParameters(rig, [](D& d) {
    Press(d, D::kDefault);
    EXPECT_TRUE(Box(d, D::kAutoUpdate).isChecked());
    EXPECT_TRUE(Box(d, D::kEnableAlarm).isChecked());
    EXPECT_EQ(Field(d).text(), "5");
    EXPECT_EQ(d.UpDown().Position(), 40) << "the up-down control keeps its position";
    Press(d, kIdCancel);
  });
  EXPECT_EQ(rig.State().params.AutoUpdateInterval, 40);
  EXPECT_EQ(rig.State().params.bAlarm, 0);
}

TEST(AppParametersDialog, TheArrowsWriteTheirOwnPositionWithinFiveTo120) {
  GuiRig rig;
  rig.State().params.AutoUpdateInterval = 118;
  SetAppParameters(rig, [](D& d) {
    EXPECT_EQ(d.UpDown().Lower(), 5);
    EXPECT_EQ(d.UpDown().Upper(), 120);
    for (int i = 0; i < 4; ++i)
      QTest::mouseClick(&d.UpDown().UpButton(), Qt::LeftButton);
    EXPECT_EQ(Field(d).text(), "120");
    Type(d, "7");
    QTest::mouseClick(&d.UpDown().DownButton(), Qt::LeftButton);
    EXPECT_EQ(Field(d).text(), "119") << "the typed value is not where the arrows go on from";
    for (int i = 0; i < 200; ++i)
      QTest::mouseClick(&d.UpDown().DownButton(), Qt::LeftButton);
    EXPECT_EQ(Field(d).text(), "5");
    d.UpDown().setFocus();
    QTest::keyClick(&d.UpDown(), Qt::Key_Up);
    EXPECT_EQ(Field(d).text(), "6");
    Press(d, kIdOk);
  });
  EXPECT_EQ(rig.State().params.AutoUpdateInterval, 6);
}

TEST(AppParametersDialog, IntegerRules) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } rows[] = {
      {"5", 5},
      {"  42\t", 42},
      {"+8", 8},
      {"-3", -3},
      {"0", 0},
      {"", {}},
      {" ", {}},
      {"abc", {}},
      {"12abc", {}},
      {"1 2", {}},
      {"+-1", {}},
      {"--1", {}},
      {"0x10", {}},
      {"1.5", {}},
      {"2147483647", INT32_MAX},
      {"2147483648", {}},
      {"-2147483649", {}},
      {"-", {}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ParseInteger(row.text), row.value) << '"' << row.text << '"';
}

}  // namespace
}  // namespace velmo::app::gui::test
