#include "monitor/app/gui/AlarmRangeDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <cstdlib>

#include "monitor/core/Units.h"
#include "monitor/core/boards/BoardTable.h"
#include "monitor/display/ValueFormat.h"

namespace velmo::app::gui {
namespace {

using K = ItemKind;
using display::kStaticId;

constexpr int32_t kWidth = 252;
constexpr int32_t kHeight = 170;

// Template 135.
constexpr DialogItem kTemplate[] = {
    {kIdOk, K::kDefaultButton, "OK", 0, 181, 88, 50, 14},
    {kIdCancel, K::kButton, "Cancel", 0, 181, 113, 50, 14},
    {1014, K::kButton, "Default", 0, 181, 137, 50, 14},
    {1015, K::kPlaceholder, "upper", 0, 34, 65, 99, 26},
    {1016, K::kPlaceholder, "lower", 0, 34, 125, 99, 26},
    {kStaticId, K::kText, "Mouse left button to increase.\nUse mouse right button to decrease.", 0,
     19, 13, 122, 17},
    {kStaticId, K::kBlackFrame, "", 0, 14, 7, 131, 28},
    {kStaticId, K::kText, "Select Item:", 0, 164, 7, 63, 8},
    {kStaticId, K::kBlackFrame, "", 0, 161, 54, 1, 103},
    {kStaticId, K::kText, "Upper Limit :", 0, 51, 54, 50, 10},
    {kStaticId, K::kText, "Lower Limit :", 0, 51, 113, 47, 10},
    {1018, K::kText, "min value", 0, 13, 92, 59, 9},
    {1019, K::kTextRight, "max value", 0, 98, 94, 53, 10},
    {1020, K::kText, "min value", 0, 14, 153, 54, 10},
    {1021, K::kTextRight, "max value", 0, 103, 154, 50, 9},
    {1022, K::kCheckBox, "Disable this Alarm", 0, 45, 39, 81, 10},
};
// The item list's closed field; its template height is that of the open list.
constexpr int32_t kListX = 163, kListY = 23, kListWidth = 78, kListHeight = 13;

const char* const kNames[CAlarmRangeDialog::kItems + 1] = {
    "", "CPU Temp.", "System Temp.", "+5V  Voltage", "+12V Valtage", "-5V  Voltage", "-12V Voltage",
};
constexpr QRgb kSegmentWhite = qRgb(250, 250, 250);
constexpr QRgb kBarRed = qRgb(150, 0, 0);

}  // namespace

void CItemList::hidePopup() {
  QComboBox::hidePopup();
  // The list applies a choice made in it only after hiding itself: report once that is done.
  QTimer::singleShot(0, this, &CItemList::closedUp);
}

std::string TemperatureLabel(int32_t celsius) {
  return std::to_string(celsius) + "C/" + std::to_string(core::Fahrenheit(celsius)) + "F";
}

std::string VoltageLabel(int32_t millivolts, bool withUnit) {
  const int64_t mv = millivolts;
  const int64_t magnitude = std::llabs(mv);
  std::string remainder = std::to_string(magnitude % 1000);
  remainder.insert(0, 3 - remainder.size(), '0');
  std::string text = (mv < 0 ? "-" : "") + std::to_string(magnitude / 1000) + "." + remainder;
  if (withUnit) text += "V";
  return text;
}

CAlarmRangeDialog::CAlarmRangeDialog(const core::AlarmRangeDialogData& data, QWidget* parent)
    : QDialog(parent), layout_(*this, kWidth, kHeight) {
  for (int k = 1; k <= kItems; ++k)
    m_strName[k] = QString::fromLatin1(kNames[k]);
  // The hand-over of the frame.
  m_nBoardModel = data.mbModel;
  for (int k = 1; k <= kItems; ++k) {
    const core::AlarmRangeEntry& e = data.channels[static_cast<size_t>(k - 1)];
    m_bOffered[k] = e.present;
    m_bEnabled[k] = e.enabled;
    m_bDefaultEnabled[k] = e.defaultEnabled;
    m_nUpper[k] = e.upper;
    m_nLower[k] = e.lower;
    m_nAdjustMax[k] = e.adjustMax;
    m_nAdjustMin[k] = e.adjustMin;
    m_nDefaultUpper[k] = e.defaultUpper;
    m_nDefaultLower[k] = e.defaultLower;
  }

  // OnInitDialog.
  setWindowTitle(QStringLiteral("Alarm Range Setting"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  layout_.Create(kTemplate);
  list_ = new CItemList(this);
  list_->setObjectName(QString::number(kItemList));
  list_->setEditable(true);
  list_->setInsertPolicy(QComboBox::NoInsert);
  list_->setGeometry(layout_.Pixels(kListX, kListY, kListWidth, kListHeight));
  setTabOrder(layout_.Item(kDisable), list_);

  for (const core::ChannelCaption& name : core::BoardFor(m_nBoardModel).rangeDialogNames) {
    for (int k = 1; k <= kItems; ++k)
      if (core::kRangeDialogChannels[k - 1] == name.item)
        m_strName[k] = QString::fromLatin1(name.name);
  }
  constexpr uint32_t style = display::kWsVisible | display::kSsSunken | display::kSsNotify;
  m_upperReadout.Create(this, layout_.Item(kUpperHolder)->geometry(), style);
  m_lowerReadout.Create(this, layout_.Item(kLowerHolder)->geometry(), style);
  for (display::CLedReadout* r : {&m_upperReadout, &m_lowerReadout}) {
    r->SetSegmentColor(QColor(kSegmentWhite));
    r->SetBackgroundColor(Qt::black);
    r->BarPainter().SetBaseColor(QColor(kBarRed));
    r->update();
    r->SetBarHeight(10);
  }
  for (int k = 1; k <= kItems; ++k) {
    if (m_bOffered[k]) list_->addItem(m_strName[k]);
  }
  // The first entry beginning with the first item's name, searched from the second entry on and
  // wrapping round to the first.
  int selected = -1;
  for (int n = 0; n < list_->count() && selected < 0; ++n) {
    const int j = (n + 1) % list_->count();
    if (list_->itemText(j).startsWith(m_strName[1], Qt::CaseInsensitive)) selected = j;
  }
  list_->setCurrentIndex(selected);
  ShowItem(m_nItem);

  connect(list_, &CItemList::closedUp, this, &CAlarmRangeDialog::OnItemCloseUp);
  connect(layout_.ItemAs<QPushButton>(kDefault), &QPushButton::clicked, this,
          &CAlarmRangeDialog::OnDefault);
  connect(layout_.ItemAs<QPushButton>(kIdOk), &QPushButton::clicked, this,
          &CAlarmRangeDialog::accept);
  connect(layout_.ItemAs<QPushButton>(kIdCancel), &QPushButton::clicked, this,
          &CAlarmRangeDialog::reject);
}

CAlarmRangeDialog::~CAlarmRangeDialog() = default;

QString CAlarmRangeDialog::ItemName(int k) const {
  return k >= 1 && k <= kItems ? m_strName[k] : QString();
}

QString CAlarmRangeDialog::LabelText(int32_t id) const {
  const QLabel* label = layout_.ItemAs<QLabel>(id);
  return label ? label->text() : QString();
}

void CAlarmRangeDialog::LoadReadout(display::CLedReadout& r, int k, int32_t v) {
  const bool degrees = IsTemperature(k);
  r.SetFormat(degrees ? "%2d" : "%.3f");
  r.SetMinWidth(5);
  r.SetFloatMode(!degrees);
  if (degrees) {
    const auto min = static_cast<float>(m_nAdjustMin[k]);
    const auto max = static_cast<float>(m_nAdjustMax[k]);
    r.SetMinimum(min);
    r.SetMaximum(max);
    int32_t shown = v;
    if (shown < m_nAdjustMin[k]) {
      shown = m_nAdjustMin[k];
    } else if (shown > m_nAdjustMax[k]) {
      shown = m_nAdjustMax[k];
    }
    r.SetValue(static_cast<float>(shown));
    r.ShowInt(display::TruncateToInt(r.Value()));
  } else {
    // Whole volts at both ends, even where a limit is not.
    const auto min = static_cast<float>(m_nAdjustMin[k] / 1000);
    const auto max = static_cast<float>(m_nAdjustMax[k] / 1000);
    r.SetMinimum(min);
    r.SetMaximum(max);
    double volts = static_cast<double>(v) * static_cast<double>(0.001f);
    if (volts < min) {
      volts = min;
    } else if (volts > max) {
      volts = max;
    }
    r.SetValue(static_cast<float>(volts));
    r.ShowFloat(r.Value());
  }
}

void CAlarmRangeDialog::ShowLimits(int k, int32_t upper, int32_t lower, bool unitOnVolts) {
  const auto label = [&](int32_t v) {
    return QString::fromStdString(IsTemperature(k) ? TemperatureLabel(v)
                                                   : VoltageLabel(v, unitOnVolts));
  };
  m_strUpperMin = m_strLowerMin = label(m_nAdjustMin[k]);
  m_strUpperMax = m_strLowerMax = label(m_nAdjustMax[k]);
  LoadReadout(m_upperReadout, k, upper);
  LoadReadout(m_lowerReadout, k, lower);
}

void CAlarmRangeDialog::ShowItem(int k) {
  if (k >= 1 && k <= kItems) {
    ShowLimits(k, m_nUpper[k], m_nLower[k], true);
    m_bDisable = m_bEnabled[k] == 0 ? 1 : 0;
  }
  m_nItem = k;
  PushMembers();
}

void CAlarmRangeDialog::OnDefault() {
  const int k = m_nItem;
  if (k < 1 || k > kItems) return;
  ShowLimits(k, m_nDefaultUpper[k], m_nDefaultLower[k], false);
  m_bDisable = m_bDefaultEnabled[k] == 0 ? 1 : 0;
  PushMembers();
}

void CAlarmRangeDialog::OnItemCloseUp() {
  const int index = list_->currentIndex();
  const QString text = index >= 0 ? list_->itemText(index) : QString();
  int candidate = m_nItem;
  for (int k = 1; k <= kItems; ++k) {
    if (text == m_strName[k]) candidate = k;  // the last matching name wins
  }
  ShowItem(candidate);
}

void CAlarmRangeDialog::PushMembers() {
  layout_.ItemAs<QLabel>(kLowerMax)->setText(m_strLowerMax);
  layout_.ItemAs<QLabel>(kLowerMin)->setText(m_strLowerMin);
  layout_.ItemAs<QLabel>(kUpperMax)->setText(m_strUpperMax);
  layout_.ItemAs<QLabel>(kUpperMin)->setText(m_strUpperMin);
  layout_.ItemAs<QCheckBox>(kDisable)->setChecked(m_bDisable != 0);
}

void CAlarmRangeDialog::ReadMembers() {
  m_bDisable = layout_.ItemAs<QCheckBox>(kDisable)->isChecked() ? 1 : 0;
}

void CAlarmRangeDialog::accept() {
  ReadMembers();
  const int k = m_nItem;
  if (k >= 1 && k <= kItems) {
    if (IsTemperature(k)) {
      m_nUpper[k] = display::TruncateToInt(m_upperReadout.Value());
      m_nLower[k] = display::TruncateToInt(m_lowerReadout.Value());
    } else {
      // The product of the single-precision value and 1000 is exact in double precision.
      m_nUpper[k] = display::TruncateToInt(static_cast<double>(m_upperReadout.Value()) * 1000.0);
      m_nLower[k] = display::TruncateToInt(static_cast<double>(m_lowerReadout.Value()) * 1000.0);
    }
    m_bEnabled[k] = m_bDisable == 0 ? 1 : 0;
  }
  QDialog::accept();
}

core::AlarmRangeDialogData CAlarmRangeDialog::Result() const {
  core::AlarmRangeDialogData data;
  data.mbModel = m_nBoardModel;
  for (int k = 1; k <= kItems; ++k) {
    core::AlarmRangeEntry& e = data.channels[static_cast<size_t>(k - 1)];
    e = {m_bOffered[k],   m_bEnabled[k],   m_bDefaultEnabled[k], m_nUpper[k],       m_nLower[k],
         m_nAdjustMax[k], m_nAdjustMin[k], m_nDefaultUpper[k],   m_nDefaultLower[k]};
  }
  return data;
}

}  // namespace velmo::app::gui
