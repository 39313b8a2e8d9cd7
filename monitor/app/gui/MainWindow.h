// CMainWindow: the frame as a window: caption, menu 128, the property sheet filling a fixed client
// area, and, where no notification area exists, a status line that says so. Closing it asks the
// frame, which only hides it unless the program is ending.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <cstdint>
#include <functional>

#include "monitor/app/gui/MonitorSheet.h"

namespace velmo::app::gui {

class CMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 470;
  static constexpr int kClientHeight = 370;

  CMainWindow();
  ~CMainWindow() override;

  // A menu command chosen (by id); the close button pressed.
  std::function<void(uint32_t id)> onCommand;
  std::function<void()> onClose;

  CMonitorSheet& Sheet() { return *sheet_; }
  // Shows `text` in a status line under the sheet (created on first use).
  void ShowStatusLine(const QString& text);
  QString StatusLine() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenu();
  void FixSize();

  CMonitorSheet* sheet_;
  QLabel* status_ = nullptr;
};

}  // namespace velmo::app::gui
