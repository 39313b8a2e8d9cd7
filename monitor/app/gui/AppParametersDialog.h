// CAppParametersDialog: the modal "Set Application Parameters" dialog: periodic update on or off,
// the alarm switch, and the update interval in an edit field beside an up-down control that
// writes its own position into the field.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string_view>

#include "monitor/app/gui/DialogLayout.h"
#include "monitor/app/gui/UpDownControl.h"
#include "monitor/core/FrameHost.h"

namespace velmo::app::gui {

// The edit field's text as a whole number the way the dialog accepts it: blanks around it, an
// optional sign, decimal digits, within int32; nullopt otherwise.
std::optional<int32_t> ParseInteger(std::string_view text);

class CAppParametersDialog : public QDialog {
  Q_OBJECT

 public:
  enum ControlId : int32_t {
    kDefault = 1014,
    kEnableAlarm = 1029,
    kInterval = 1030,
    kUpDown = 1031,
    kAutoUpdate = 1032,
  };
  static constexpr int32_t kLowest = 5;
  static constexpr int32_t kHighest = 120;

  explicit CAppParametersDialog(const core::AppParamsDialogData& data, QWidget* parent = nullptr);
  ~CAppParametersDialog() override;

  // The three parameters as the controls held them at OK.
  core::AppParamsDialogData Result() const { return result_; }
  CUpDownControl& UpDown() { return *upDown_; }
  const DialogLayout& Layout() const { return layout_; }

 protected:
  void accept() override;

 private:
  void OnDefault();
  void Push(const core::AppParamsDialogData& data);

  DialogLayout layout_;
  CUpDownControl* upDown_ = nullptr;
  core::AppParamsDialogData result_;
};

}  // namespace velmo::app::gui
