// CAboutDialog: "About Velmo": the product and version line and four contact lines read, each time
// the box opens, from the OEM information file beside the program.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "monitor/app/gui/DialogLayout.h"

namespace velmo::app::gui {

class CAboutDialog : public QDialog {
  Q_OBJECT

 public:
  enum ControlId : int32_t { kWeb = 1055, kTel = 1056, kEmail = 1057, kName = 1058 };

  // `oemFile` is read now; a missing file shows "Unknown" on every line.
  explicit CAboutDialog(const std::string& oemFile, QWidget* parent = nullptr);
  ~CAboutDialog() override;

  QString Line(int32_t id) const;
  const DialogLayout& Layout() const { return layout_; }

 private:
  DialogLayout layout_;
};

}  // namespace velmo::app::gui
