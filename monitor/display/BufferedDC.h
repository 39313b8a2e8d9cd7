// CBufferedDC: an off-screen drawing surface that a paint handler draws into and that is copied
// to the target in one block when the surface goes out of scope.
#pragma once

#include <QImage>
#include <QPainter>

#include "monitor/display/Gdi.h"

namespace velmo::display {

class CBufferedDC {
 public:
  // target is the paint handler's active painter; area is in its logical coordinates, and the
  // empty rectangle (0,0,0,0) stands for the target's clip box. On a paged device (printer, PDF)
  // drawing goes straight to the target and nothing is copied.
  CBufferedDC(QPainter& target, const Rect& area);
  CBufferedDC(const CBufferedDC&) = delete;
  CBufferedDC& operator=(const CBufferedDC&) = delete;
  // Copies the area to the target at (area.left, area.top), once.
  ~CBufferedDC();

  // Where all drawing goes, in the target's logical coordinates.
  QPainter& Painter() { return isMemory_ ? memory_ : target_; }
  bool IsMemory() const { return isMemory_; }
  const Rect& Area() const { return area_; }

 private:
  static Rect ClipBox(QPainter& target);

  QPainter& target_;
  Rect area_;
  bool isMemory_;
  QImage bitmap_;
  QPainter memory_;
};

}  // namespace velmo::display
