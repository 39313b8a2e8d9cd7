// GDI-style drawing on a QPainter: rectangles whose right and bottom edges lie outside the area,
// and lines that leave out their end point, so stroke lists written for LineTo keep their pixels.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <initializer_list>

namespace velmo::display {

// A RECT: left and top inside, right and bottom just outside.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  QRect ToQRect() const { return QRect(left, top, Width(), Height()); }
  static Rect FromQRect(const QRect& r) {
    return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
  bool operator==(const Rect&) const = default;
};

// A straight line from `from` towards `to` without the pixel at `to`, as LineTo draws it. One-pixel
// pens set exactly those pixels; wider pens stroke the line with the pen's own caps.
void LineTo(QPainter& dc, const QPen& pen, QPoint from, QPoint to);

// Consecutive lines through the points; every joint is drawn, only the last point is left out.
void Polyline(QPainter& dc, const QPen& pen, std::initializer_list<QPoint> points);

void SetPixel(QPainter& dc, QPoint at, const QColor& colour);

// Fills left..right-1 by top..bottom-1; an empty or inverted rectangle fills nothing.
void FillRect(QPainter& dc, const Rect& r, const QColor& colour);

// A one-pixel frame with the top and left edges in one colour and the right and bottom edges in
// another (the right and bottom edges cover the corners they share).
void Draw3dRect(QPainter& dc, const Rect& r, const QColor& topLeft, const QColor& bottomRight);

}  // namespace velmo::display
