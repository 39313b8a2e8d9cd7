// CAlarmRangeDialog: the modal dialog that sets the upper and lower alarm limit and the alarm
// switch of six channels, one item at a time, with two mouse-adjustable readouts. It works on
// copies of the channels' alarm words; only OK gives them back, and OK stores only the item shown.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <array>
#include <cstdint>
#include <string>

#include "monitor/app/gui/DialogLayout.h"
#include "monitor/core/FrameHost.h"
#include "monitor/display/LedReadout.h"

namespace velmo::app::gui {

// A drop-down list that says when its list closes (after a choice in it has taken effect),
// whether or not the selection changed.
class CItemList : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;
  void hidePopup() override;

 signals:
  void closedUp();
};

// The limit labels under the readouts: "%dC/%dF" for degrees, "%d.%03dV" (or without the V) for
// millivolts, one minus sign in front of a negative value.
std::string TemperatureLabel(int32_t celsius);
std::string VoltageLabel(int32_t millivolts, bool withUnit);

class CAlarmRangeDialog : public QDialog {
  Q_OBJECT

 public:
  enum ControlId : int32_t {
    kDefault = 1014,
    kUpperHolder = 1015,
    kLowerHolder = 1016,
    kItemList = 1017,
    kUpperMin = 1018,
    kUpperMax = 1019,
    kLowerMin = 1020,
    kLowerMax = 1021,
    kDisable = 1022,
  };
  static constexpr int kItems = 6;

  explicit CAlarmRangeDialog(const core::AlarmRangeDialogData& data, QWidget* parent = nullptr);
  ~CAlarmRangeDialog() override;

  // The words as the dialog holds them (after OK: with the shown item stored).
  core::AlarmRangeDialogData Result() const;
  int ShownItem() const { return m_nItem; }
  QString ItemName(int k) const;
  CItemList& ItemList() { return *list_; }
  display::CLedReadout& UpperReadout() { return m_upperReadout; }
  display::CLedReadout& LowerReadout() { return m_lowerReadout; }
  QString LabelText(int32_t id) const;
  const DialogLayout& Layout() const { return layout_; }

  void ShowItem(int k);

 protected:
  void accept() override;

 private:
  static bool IsTemperature(int k) { return k == 1 || k == 2; }
  void OnDefault();
  void OnItemCloseUp();
  void ShowLimits(int k, int32_t upper, int32_t lower, bool unitOnVolts);
  void LoadReadout(display::CLedReadout& readout, int k, int32_t v);
  void PushMembers();
  void ReadMembers();

  DialogLayout layout_;
  display::CLedReadout m_upperReadout;
  display::CLedReadout m_lowerReadout;
  int m_nItem = 1;
  int32_t m_nBoardModel = 0;
  // Index 1..6 is item k; index 0 is unused, so the item numbers read as they are.
  std::array<int32_t, kItems + 1> m_bOffered{};
  std::array<int32_t, kItems + 1> m_bEnabled{};
  std::array<int32_t, kItems + 1> m_bDefaultEnabled{};
  std::array<QString, kItems + 1> m_strName;
  std::array<int32_t, kItems + 1> m_nUpper{};
  std::array<int32_t, kItems + 1> m_nLower{};
  std::array<int32_t, kItems + 1> m_nAdjustMax{};
  std::array<int32_t, kItems + 1> m_nAdjustMin{};
  std::array<int32_t, kItems + 1> m_nDefaultUpper{};
  std::array<int32_t, kItems + 1> m_nDefaultLower{};
  CItemList* list_ = nullptr;
  QString m_strLowerMax, m_strLowerMin, m_strUpperMax, m_strUpperMin;
  int32_t m_bDisable = 0;
};

}  // namespace velmo::app::gui
