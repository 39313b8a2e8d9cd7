// CShadedBar: the shades of one base colour and the bevelled value bar drawn with them.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QWidget>
#include <array>

#include "monitor/display/Gdi.h"

namespace velmo::display {

// Each of red, green and blue independently: channel + step when that is at most 255, otherwise
// the channel unchanged (not clamped).
QColor Lighten(const QColor& c, int step);
// Each channel: channel - step when the channel is at least step, otherwise unchanged.
QColor Darken(const QColor& c, int step);
// Per channel buttonShadow + ((darkShadow - buttonShadow) >> 1) on the signed difference: between
// the two, rounding toward the darker value.
QColor MidShadow(const QColor& buttonShadow, const QColor& darkShadow);

class CShadedBar {
 public:
  static constexpr int kStep = 51;

  // The system colours are read from paletteSource's palette (the application's when null) each
  // time the shades are computed: now and at every SetBaseColor.
  explicit CShadedBar(const QWidget* paletteSource = nullptr);
  CShadedBar(const CShadedBar&) = delete;
  CShadedBar& operator=(const CShadedBar&) = delete;
  virtual ~CShadedBar() = default;

  void SetBaseColor(const QColor& base);

  // Paints the bar into r. Strokes are not clipped to r: the two shadow columns lie at r.right and
  // r.right + 1, and low rectangles get overlapping rows. A zero-width r draws nothing.
  void Draw(QPainter& dc, const Rect& r) const;

  const QColor& Base() const { return base_; }
  const QColor& Light1() const { return light1_; }
  const QColor& Light2() const { return light2_; }
  const QColor& Light3() const { return light3_; }
  const QColor& Dark1() const { return dark1_; }
  const QColor& Dark2() const { return dark2_; }
  const QColor& DarkShadow() const { return darkShadow_; }
  const QColor& MidShadowColor() const { return midShadow_; }
  const QColor& ButtonShadow() const { return buttonShadow_; }

 private:
  enum PenIndex { kBase, kLight1, kLight2, kDark1, kDark2, kMidShadow, kButtonShadow, kPenCount };

  void ComputeShades();
  void CreatePens();

  QPointer<const QWidget> paletteSource_;
  QColor base_{0, 100, 0};
  QColor light1_;
  QColor light2_;
  QColor light3_;
  QColor dark1_;
  QColor dark2_;
  QColor darkShadow_;
  QColor midShadow_;
  QColor buttonShadow_;
  std::array<QPen, kPenCount> pens_;
};

}  // namespace velmo::display
