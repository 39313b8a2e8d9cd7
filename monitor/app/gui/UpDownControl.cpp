#include "monitor/app/gui/UpDownControl.h"

#include <QKeyEvent>
#include <algorithm>

namespace velmo::app::gui {

CUpDownControl::CUpDownControl(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  setFocusPolicy(Qt::StrongFocus);
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CUpDownControl::SetRange(int32_t lower, int32_t upper) {
  lower_ = lower;
  upper_ = upper;
  SetPosition(position_);
}

void CUpDownControl::SetPosition(int32_t position) {
  position_ = std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_));
}

void CUpDownControl::Step(int32_t direction) {
  // With the range given upside down the arrows step the other way, as they point to the ends.
  const int32_t toward = upper_ >= lower_ ? direction : -direction;
  SetPosition(
      static_cast<int32_t>(std::clamp<int64_t>(int64_t{position_} + toward, INT32_MIN, INT32_MAX)));
  emit stepped(position_);
}

void CUpDownControl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up) {
    Step(+1);
  } else if (event->key() == Qt::Key_Down) {
    Step(-1);
  } else {
    QWidget::keyPressEvent(event);
  }
}

void CUpDownControl::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace velmo::app::gui
