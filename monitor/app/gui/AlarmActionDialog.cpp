#include "monitor/app/gui/AlarmActionDialog.h"

#include <QAbstractButton>

#include "monitor/core/FrameHost.h"
#include "monitor/core/Resources.h"

namespace velmo::app::gui {
namespace {

using K = ItemKind;
using display::kStaticId;

// Template 136: 186 x 189 dialog units, no caption text.
constexpr DialogItem kItems[] = {
    {kStaticId, K::kPicture, "", core::kBitmapAlarmDialog, 10, 7, 36, 34},
    {kStaticId, K::kTextCentre, "Velmo\n Version 3.10", 0, 52, 14, 124, 20},
    {kStaticId, K::kGroupBox, "Alarm Condition", 0, 7, 44, 172, 46},
    {1033, K::kTextCentre, "", 0, 14, 56, 158, 30},
    {kStaticId, K::kGroupBox, "Choose an Action", 0, 7, 94, 172, 72},
    {1023, K::kRadio, "Open Velmo", 0, 16, 106, 150, 10},
    {1024, K::kRadio, "Temporarily Disable this alarm", 0, 16, 118, 150, 10},
    {1025, K::kRadio, "Temporarily Disable all alarms", 0, 16, 130, 150, 10},
    {1026, K::kRadio, "Restart the computer", 0, 16, 142, 150, 10},
    {1027, K::kRadio, "Panic! Shutdown the computer", 0, 16, 154, 150, 10},
    {kIdOk, K::kDefaultButton, "OK", 0, 68, 171, 50, 14},
};
constexpr int32_t kActions = 5;

}  // namespace

CAlarmActionDialog::CAlarmActionDialog() : layout_(*this, 186, 189) {
  // A top-level window of its own, with a title bar but no close box; it comes up above the
  // other windows without taking the keyboard from them.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setModal(false);
  // No caption text. Qt would put the program's name in an empty title; a blank stays blank.
  setWindowTitle(QStringLiteral(" "));
  layout_.Create(kItems);
  for (int32_t i = 0; i < kActions; ++i)
    radios_.addButton(layout_.ItemAs<QAbstractButton>(kFirstRadio + i), i);
  connect(layout_.ItemAs<QPushButton>(kIdOk), &QPushButton::clicked, this, &CAlarmActionDialog::Ok);
}

CAlarmActionDialog::~CAlarmActionDialog() = default;

void CAlarmActionDialog::Open(int32_t action, const std::string& condition) {
  // An exclusive group keeps one radio checked; clearing all of them needs it off for a moment.
  radios_.setExclusive(false);
  for (QAbstractButton* b : radios_.buttons())
    b->setChecked(radios_.id(b) == action);
  radios_.setExclusive(true);
  layout_.ItemAs<QLabel>(kCondition)->setText(QString::fromStdString(condition));
  if (!isVisible()) show();
}

int32_t CAlarmActionDialog::Action() const {
  return radios_.checkedId();  // -1 when none is checked
}

QString CAlarmActionDialog::Condition() const {
  return layout_.ItemAs<QLabel>(kCondition)->text();
}

void CAlarmActionDialog::Ok() {
  if (onOk) onOk(Action());
}

void CAlarmActionDialog::reject() {
  QDialog::reject();  // hides
  if (onCancel) onCancel();
}

}  // namespace velmo::app::gui
