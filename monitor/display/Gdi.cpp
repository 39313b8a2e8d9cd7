#include "monitor/display/Gdi.h"

#include <algorithm>
#include <cstdlib>

namespace velmo::display {

void LineTo(QPainter& dc, const QPen& pen, QPoint from, QPoint to) {
  if (from == to) return;
  if (pen.width() > 1) {
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setPen(pen);
    dc.drawLine(from, to);
    dc.restore();
    return;
  }
  const QColor colour = pen.color();
  if (from.y() == to.y()) {
    // Horizontal: from.x up to, but not including, to.x.
    const int x0 = from.x() < to.x() ? from.x() : to.x() + 1;
    const int x1 = from.x() < to.x() ? to.x() - 1 : from.x();
    dc.fillRect(QRect(QPoint(x0, from.y()), QPoint(x1, from.y())), colour);
    return;
  }
  if (from.x() == to.x()) {
    const int y0 = from.y() < to.y() ? from.y() : to.y() + 1;
    const int y1 = from.y() < to.y() ? to.y() - 1 : from.y();
    dc.fillRect(QRect(QPoint(from.x(), y0), QPoint(from.x(), y1)), colour);
    return;
  }
  // Diagonal: Bresenham, stopping one step short of the end point.
  const int64_t dx = std::llabs(int64_t{to.x()} - from.x());
  const int64_t dy = -std::llabs(int64_t{to.y()} - from.y());
  const int sx = from.x() < to.x() ? 1 : -1;
  const int sy = from.y() < to.y() ? 1 : -1;
  int64_t err = dx + dy;
  int x = from.x();
  int y = from.y();
  while (x != to.x() || y != to.y()) {
    dc.fillRect(x, y, 1, 1, colour);
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void Polyline(QPainter& dc, const QPen& pen, std::initializer_list<QPoint> points) {
  const QPoint* previous = nullptr;
  for (const QPoint& p : points) {
    if (previous) LineTo(dc, pen, *previous, p);
    previous = &p;
  }
}

void SetPixel(QPainter& dc, QPoint at, const QColor& colour) {
  dc.fillRect(at.x(), at.y(), 1, 1, colour);
}

void FillRect(QPainter& dc, const Rect& r, const QColor& colour) {
  if (r.IsEmpty()) return;
  dc.fillRect(r.ToQRect(), colour);
}

void Draw3dRect(QPainter& dc, const Rect& r, const QColor& topLeft, const QColor& bottomRight) {
  const int32_t w = r.Width();
  const int32_t h = r.Height();
  if (w <= 0 || h <= 0) return;
  FillRect(dc, Rect{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
  FillRect(dc, Rect{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
  FillRect(dc, Rect{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
  FillRect(dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

}  // namespace velmo::display
