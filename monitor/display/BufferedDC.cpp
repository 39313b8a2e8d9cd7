#include "monitor/display/BufferedDC.h"

#include <QPagedPaintDevice>
#include <QPaintDevice>
#include <QPaintEngine>
#include <algorithm>

namespace velmo::display {

CBufferedDC::CBufferedDC(QPainter& target, const Rect& area)
    : target_(target),
      area_(area),
      isMemory_(dynamic_cast<QPagedPaintDevice*>(target.device()) == nullptr) {
  if (!isMemory_) return;
  if (area_ == Rect{}) area_ = ClipBox(target_);
  const qreal ratio = target_.device() ? target_.device()->devicePixelRatioF() : 1.0;
  // At least one pixel, so the memory painter is always active even for an empty area.
  const int w = std::max(area_.Width(), 1);
  const int h = std::max(area_.Height(), 1);
  bitmap_ = QImage(qRound(w * ratio), qRound(h * ratio), QImage::Format_RGB32);
  bitmap_.setDevicePixelRatio(ratio);
  // Not part of the contract (the owner paints its background first), but keeps stale memory off
  // the screen should an owner not do so.
  bitmap_.fill(Qt::black);
  memory_.begin(&bitmap_);
  memory_.translate(-area_.left, -area_.top);
}

CBufferedDC::~CBufferedDC() {
  if (!isMemory_) return;
  memory_.end();
  if (area_.IsEmpty()) return;
  target_.drawImage(QPoint(area_.left, area_.top), bitmap_);
}

Rect CBufferedDC::ClipBox(QPainter& target) {
  QRect box;
  if (QPaintDevice* device = target.device()) box = QRect(0, 0, device->width(), device->height());
  if (QPaintEngine* engine = target.paintEngine()) {
    const QRegion system = engine->systemClip();
    if (!system.isEmpty()) box &= system.boundingRect();
  }
  // Device to logical coordinates, then the painter's own clip.
  box = target.deviceTransform().inverted().mapRect(box);
  if (target.hasClipping()) box &= target.clipBoundingRect().toAlignedRect();
  return Rect::FromQRect(box);
}

}  // namespace velmo::display
