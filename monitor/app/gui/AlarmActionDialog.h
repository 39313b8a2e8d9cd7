// CAlarmActionDialog: the modeless warning shown when an enabled channel leaves its range: the
// alarm condition and five reactions. OK hands the chosen one to the frame, which closes the
// dialog; Esc only hides it.
#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QLabel>
#include <cstdint>
#include <functional>
#include <string>

#include "monitor/app/gui/DialogLayout.h"

namespace velmo::app::gui {

class CAlarmActionDialog : public QDialog {
  Q_OBJECT

 public:
  enum ControlId : int32_t {
    kFirstRadio = 1023,  // the five radios are 1023..1027, in action order
    kCondition = 1033,
  };

  CAlarmActionDialog();
  ~CAlarmActionDialog() override;

  // OK with the selected action (m_iAction: 0..4, -1 for none); Esc or a close by the window
  // manager only hides the dialog and reports it.
  std::function<void(int32_t action)> onOk;
  std::function<void()> onCancel;

  // Shows the dialog with `action` preselected (none for a value outside 0..4) and the condition
  // text, without taking the focus from the window the user works in.
  void Open(int32_t action, const std::string& condition);
  int32_t Action() const;
  QString Condition() const;
  const DialogLayout& Layout() const { return layout_; }

 protected:
  void reject() override;

 private:
  void Ok();

  DialogLayout layout_;
  QButtonGroup radios_;
};

}  // namespace velmo::app::gui
