// Helpers of the display tests: rendering widgets and reading pixels.
#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>
#include <QWidget>
#include <map>

namespace velmo::display::test {

inline QImage Render(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRgb At(const QImage& image, int x, int y) {
  return image.pixel(x, y) | 0xFF000000u;
}

// The most frequent colour in area other than `except`; 0 when there is none.
inline QRgb DominantColour(const QImage& image, const QRect& area, QRgb except) {
  std::map<QRgb, int> counts;
  const QRect r = area & image.rect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb c = At(image, x, y);
      if (c != (except | 0xFF000000u)) ++counts[c];
    }
  }
  QRgb best = 0;
  int most = 0;
  for (const auto& [colour, n] : counts) {
    if (n > most) {
      best = colour;
      most = n;
    }
  }
  return best;
}

inline int CountColour(const QImage& image, const QRect& area, QRgb colour) {
  int n = 0;
  const QRect r = area & image.rect();
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x)
      n += At(image, x, y) == (colour | 0xFF000000u);
  }
  return n;
}

}  // namespace velmo::display::test
