#include "monitor/display/ShadedBar.h"

#include <QApplication>
#include <QPalette>

namespace velmo::display {
namespace {

int LightenChannel(int channel, int step) {
  return channel + step <= 255 ? channel + step : channel;
}
int DarkenChannel(int channel, int step) {
  return channel >= step ? channel - step : channel;
}
int MidChannel(int buttonShadow, int darkShadow) {
  return buttonShadow + ((darkShadow - buttonShadow) >> 1);
}

}  // namespace

QColor Lighten(const QColor& c, int step) {
  return QColor(LightenChannel(c.red(), step), LightenChannel(c.green(), step),
                LightenChannel(c.blue(), step));
}

QColor Darken(const QColor& c, int step) {
  return QColor(DarkenChannel(c.red(), step), DarkenChannel(c.green(), step),
                DarkenChannel(c.blue(), step));
}

QColor MidShadow(const QColor& buttonShadow, const QColor& darkShadow) {
  return QColor(MidChannel(buttonShadow.red(), darkShadow.red()),
                MidChannel(buttonShadow.green(), darkShadow.green()),
                MidChannel(buttonShadow.blue(), darkShadow.blue()));
}

CShadedBar::CShadedBar(const QWidget* paletteSource) : paletteSource_(paletteSource) {
  ComputeShades();
  CreatePens();
}

void CShadedBar::SetBaseColor(const QColor& base) {
  base_ = base.toRgb();
  base_.setAlpha(255);
  ComputeShades();
  CreatePens();
}

void CShadedBar::ComputeShades() {
  light1_ = Lighten(base_, kStep);
  light2_ = Lighten(light1_, kStep);
  light3_ = Lighten(light2_, kStep);
  dark1_ = Darken(base_, kStep);
  dark2_ = Darken(dark1_, kStep);
  const QPalette palette = paletteSource_ ? paletteSource_->palette() : QApplication::palette();
  darkShadow_ = palette.color(QPalette::Shadow);
  buttonShadow_ = palette.color(QPalette::Dark);
  midShadow_ = MidShadow(buttonShadow_, darkShadow_);
}

void CShadedBar::CreatePens() {
  const QColor colours[kPenCount] = {base_,  light1_,    light2_,      dark1_,
                                     dark2_, midShadow_, buttonShadow_};
  for (int i = 0; i < kPenCount; ++i) {
    pens_[static_cast<size_t>(i)] = QPen(colours[i], 1, Qt::SolidLine);
  }
}

void CShadedBar::Draw(QPainter& dc, const Rect& r) const {
  const int L = r.left;
  const int T = r.top;
  const int R = r.right;
  const int B = r.bottom;
  if (R - L == 0) return;
  const QPen& base = pens_[kBase];
  const QPen& light1 = pens_[kLight1];
  const QPen& light2 = pens_[kLight2];
  const QPen& dark1 = pens_[kDark1];
  const QPen& dark2 = pens_[kDark2];
  const QPen saved = dc.pen();

  FillRect(dc, r, light3_);

  LineTo(dc, light1, {L + 2, B - 4}, {R - 2, B - 4});
  LineTo(dc, light1, {L + 2, T + 2}, {R - 2, T + 2});
  SetPixel(dc, {L + 1, B - 3}, light1_);
  SetPixel(dc, {L + 1, T + 1}, light1_);

  Polyline(dc, light2, {{L + 2, B - 5}, {R - 3, B - 5}, {R - 3, T + 3}, {L + 1, T + 3}});
  SetPixel(dc, {L + 1, B - 4}, light2_);
  SetPixel(dc, {L + 1, T + 2}, light2_);

  Polyline(dc, base, {{L, B - 1}, {L, T}, {L + 2, T}});
  SetPixel(dc, {L + 1, B - 2}, base_);
  LineTo(dc, base, {L + 2, B - 3}, {R - 2, B - 3});
  LineTo(dc, base, {L + 2, T + 1}, {R - 1, T + 1});

  Polyline(dc, dark1, {{L + 2, B - 2}, {R - 2, B - 2}, {R - 2, T + 1}});
  LineTo(dc, dark1, {L + 2, T}, {R, T});
  SetPixel(dc, {L + 1, B - 1}, dark1_);

  Polyline(dc, dark2, {{L + 2, B - 1}, {R - 1, B - 1}, {R - 1, T}});

  LineTo(dc, pens_[kMidShadow], {R, T}, {R, B});
  LineTo(dc, pens_[kButtonShadow], {R + 1, T}, {R + 1, B});

  dc.setPen(saved);
}

}  // namespace velmo::display
