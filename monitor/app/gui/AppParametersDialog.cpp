#include "monitor/app/gui/AppParametersDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <charconv>

#include "monitor/core/Resources.h"

namespace velmo::app::gui {
namespace {

using K = ItemKind;
using display::kStaticId;

// Template 139.
constexpr DialogItem kTemplate[] = {
    {kStaticId, K::kGroupBox, "Automation", 0, 17, 50, 181, 70},
    {kIdOk, K::kDefaultButton, "OK", 0, 19, 129, 50, 14},
    {kIdCancel, K::kButton, "Cancel", 0, 87, 129, 50, 14},
    {1014, K::kButton, "Default", 0, 155, 129, 50, 14},
    {1032, K::kCheckBox, "Auto Update", 0, 33, 64, 67, 9},
    {1029, K::kCheckBox, "Enable Alarm", 0, 112, 64, 67, 9},
    {kStaticId, K::kText, "Update Interval :", 0, 31, 86, 70, 11},
    {1030, K::kEdit, "", 0, 112, 83, 26, 14},
};
constexpr int32_t kUpDownRect[] = {136, 82, 11, 18};
constexpr core::AppParamsDialogData kDefaults{1, 1, 5};  // bAutoUpdate, bAlarm, interval

}  // namespace

std::optional<int32_t> ParseInteger(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return std::nullopt;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

CAppParametersDialog::CAppParametersDialog(const core::AppParamsDialogData& data, QWidget* parent)
    : QDialog(parent), layout_(*this, 215, 150), result_(data) {
  setWindowTitle(QStringLiteral("Set Application Parameters"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  layout_.Create(kTemplate);
  upDown_ = new CUpDownControl(this);
  upDown_->setObjectName(QString::number(kUpDown));
  upDown_->setGeometry(
      layout_.Pixels(kUpDownRect[0], kUpDownRect[1], kUpDownRect[2], kUpDownRect[3]));
  setTabOrder(layout_.Item(kInterval), upDown_);
  Push(data);
  upDown_->SetRange(kLowest, kHighest);
  // The arrows start from the current interval rather than from an unrelated default.
  upDown_->SetPosition(data.AutoUpdateInterval);

  auto* edit = layout_.ItemAs<QLineEdit>(kInterval);
  connect(upDown_, &CUpDownControl::stepped, edit,
          [edit](int32_t position) { edit->setText(QString::number(position)); });
  connect(layout_.ItemAs<QPushButton>(kDefault), &QPushButton::clicked, this,
          &CAppParametersDialog::OnDefault);
  connect(layout_.ItemAs<QPushButton>(kIdOk), &QPushButton::clicked, this,
          &CAppParametersDialog::accept);
  connect(layout_.ItemAs<QPushButton>(kIdCancel), &QPushButton::clicked, this,
          &CAppParametersDialog::reject);
}

CAppParametersDialog::~CAppParametersDialog() = default;

void CAppParametersDialog::Push(const core::AppParamsDialogData& data) {
  layout_.ItemAs<QCheckBox>(kEnableAlarm)->setChecked(data.bAlarm != 0);
  layout_.ItemAs<QCheckBox>(kAutoUpdate)->setChecked(data.bAutoUpdate != 0);
  layout_.ItemAs<QLineEdit>(kInterval)->setText(QString::number(data.AutoUpdateInterval));
}

void CAppParametersDialog::OnDefault() {
  Push(kDefaults);  // the up-down control keeps its position
}

void CAppParametersDialog::accept() {
  auto* edit = layout_.ItemAs<QLineEdit>(kInterval);
  const std::optional<int32_t> interval = ParseInteger(edit->text().toStdString());
  if (!interval) {
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(core::kAppTitle),
                    QStringLiteral("Please enter an integer."), QMessageBox::Ok, this);
    box.exec();
    edit->setFocus();
    edit->selectAll();
    return;
  }
  result_.bAlarm = layout_.ItemAs<QCheckBox>(kEnableAlarm)->isChecked() ? 1 : 0;
  result_.bAutoUpdate = layout_.ItemAs<QCheckBox>(kAutoUpdate)->isChecked() ? 1 : 0;
  result_.AutoUpdateInterval = *interval;
  QDialog::accept();
}

}  // namespace velmo::app::gui
