// An up-down control: two arrow buttons stepping a position within a range, as spin controls
// without a field of their own do. Every step reports the position, also at the range's ends.
#pragma once

#include <QToolButton>
#include <QWidget>
#include <cstdint>

namespace velmo::app::gui {

class CUpDownControl : public QWidget {
  Q_OBJECT

 public:
  explicit CUpDownControl(QWidget* parent = nullptr);

  // Up steps toward `upper`, down toward `lower`; the position is kept within the range.
  void SetRange(int32_t lower, int32_t upper);
  void SetPosition(int32_t position);
  int32_t Position() const { return position_; }
  int32_t Lower() const { return lower_; }
  int32_t Upper() const { return upper_; }
  QToolButton& UpButton() { return *up_; }
  QToolButton& DownButton() { return *down_; }

 signals:
  void stepped(int32_t position);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Step(int32_t direction);

  QToolButton* up_;
  QToolButton* down_;
  int32_t lower_ = 0;
  int32_t upper_ = 100;
  int32_t position_ = 0;
};

}  // namespace velmo::app::gui
