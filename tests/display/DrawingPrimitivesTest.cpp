#include <gtest/gtest.h>

#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QWidget>

#include "monitor/display/BufferedDC.h"
#include "monitor/display/ShadedBar.h"
#include "tests/display/PixelSupport.h"

namespace velmo::display {
namespace {

using test::At;

QRgb Rgb(const QColor& c) {
  return c.rgb();
}

// A widget whose palette carries the two shadow colours the bar reads.
struct PaletteSource {
  QWidget widget;
  PaletteSource(QColor darkShadow, QColor buttonShadow) {
    QPalette p = widget.palette();
    p.setColor(QPalette::Shadow, darkShadow);
    p.setColor(QPalette::Dark, buttonShadow);
    widget.setPalette(p);
  }
};

TEST(ShadedBarShades, LightenAndDarkenKeepAChannelThatWouldLeaveTheByteRange) {
  struct Row {
    QColor base, light1, light2, light3, dark1, dark2;
  };
  const Row rows[] = {
      {{0, 100, 0}, {51, 151, 51}, {102, 202, 102}, {153, 253, 153}, {0, 49, 0}, {0, 49, 0}},
      {{0, 250, 0}, {51, 250, 51}, {102, 250, 102}, {153, 250, 153}, {0, 199, 0}, {0, 148, 0}},
      {{0, 0, 150}, {51, 51, 201}, {102, 102, 252}, {153, 153, 252}, {0, 0, 99}, {0, 0, 48}},
      {{200, 0, 0}, {251, 51, 51}, {251, 102, 102}, {251, 153, 153}, {149, 0, 0}, {98, 0, 0}},
  };
  CShadedBar bar;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.base.name().toStdString());
    bar.SetBaseColor(r.base);
    EXPECT_EQ(bar.Light1(), r.light1);
    EXPECT_EQ(bar.Light2(), r.light2);
    EXPECT_EQ(bar.Light3(), r.light3);
    EXPECT_EQ(bar.Dark1(), r.dark1);
    EXPECT_EQ(bar.Dark2(), r.dark2);
  }
}

TEST(ShadedBarShades, MidShadowRoundsTowardTheDarkShadowPerChannel) {
  struct Row {
    QColor darkShadow, buttonShadow, mid;
  };
  const Row rows[] = {
      {{0, 0, 0}, {128, 128, 128}, {64, 64, 64}},      // the classic scheme
      {{117, 0, 1}, {128, 255, 0}, {122, 127, 0}},     // odd differences: -11 -> -6, -255 -> -128
      {{10, 200, 255}, {20, 100, 0}, {15, 150, 127}},  // dark shadow lighter in some channels
  };
  for (const Row& r : rows) {
    PaletteSource source(r.darkShadow, r.buttonShadow);
    const CShadedBar bar(&source.widget);
    EXPECT_EQ(bar.MidShadowColor(), r.mid) << r.darkShadow.name().toStdString();
    EXPECT_EQ(bar.DarkShadow(), r.darkShadow);
    EXPECT_EQ(bar.ButtonShadow(), r.buttonShadow);
  }
}

TEST(ShadedBarShades, SystemColoursAreReadOnlyWhenTheShadesAreComputed) {
  PaletteSource source(QColor(0, 0, 0), QColor(128, 128, 128));
  CShadedBar bar(&source.widget);
  QPalette p = source.widget.palette();
  p.setColor(QPalette::Dark, QColor(100, 100, 100));
  source.widget.setPalette(p);
  EXPECT_EQ(bar.MidShadowColor(), QColor(64, 64, 64));
  bar.SetBaseColor(QColor(0, 100, 0));
  EXPECT_EQ(bar.MidShadowColor(), QColor(50, 50, 50));
}

class ShadedBarDraw : public ::testing::Test {
 protected:
  static constexpr QRgb kUntouched = qRgb(1, 2, 3);
  ShadedBarDraw() : source_(QColor(0, 0, 0), QColor(128, 128, 128)), bar_(&source_.widget) {
    image_.fill(kUntouched);
  }
  void Draw(const Rect& r) {
    QPainter p(&image_);
    p.setPen(QPen(Qt::red, 5));
    bar_.Draw(p, r);
    penAfter_ = p.pen();
  }
  PaletteSource source_;
  CShadedBar bar_;
  QImage image_{80, 50, QImage::Format_RGB32};
  QPen penAfter_;
};

TEST_F(ShadedBarDraw, StrokesLeaveOutTheirEndPointsAndShadowTwoColumnsRightOfTheRectangle) {
  const int L = 10, T = 10, R = 50, B = 30;
  Draw(Rect{L, T, R, B});
  const QRgb base = Rgb(bar_.Base()), l1 = Rgb(bar_.Light1()), l2 = Rgb(bar_.Light2()),
             l3 = Rgb(bar_.Light3()), d1 = Rgb(bar_.Dark1()), d2 = Rgb(bar_.Dark2());
  const QRgb mid = qRgb(64, 64, 64), shadow = qRgb(128, 128, 128);
  struct Probe {
    int x, y;
    QRgb colour;
    const char* why;
  };
  const Probe probes[] = {
      {L + 20, T + 10, l3, "fill"},
      {L, T, base, "corner of the base polyline"},
      {L + 1, T, base, "top of the base polyline"},
      {L + 2, T, d1, "dark1 top line starts"},
      {R - 1, T, d1, "dark2 vertical stops short of its end point"},
      {L, B - 1, base, "base polyline starts at the bottom"},
      {L + 1, B - 1, d1, "pixel"},
      {L + 1, B - 2, base, "pixel"},
      {L + 1, B - 3, l1, "pixel"},
      {L + 1, B - 4, l2, "pixel"},
      {L + 1, T + 1, l1, "pixel"},
      {L + 1, T + 2, l2, "pixel"},
      {L + 1, T + 3, l3, "light2 polyline leaves out its last point"},
      {R - 3, T + 3, l2, "light2 polyline joint"},
      {R - 2, T + 1, base, "dark1 vertical leaves out its end point"},
      {R - 2, B - 2, d1, "dark1 polyline joint"},
      {R - 1, B - 1, d2, "dark2 polyline joint"},
      {L + 20, B - 3, base, "base line"},
      {L + 20, T + 2, l1, "light1 line"},
      {L + 20, B - 5, l2, "light2 line"},
      {R, T, mid, "mid shadow column"},
      {R, B - 1, mid, "mid shadow column"},
      {R + 1, T, shadow, "button shadow column"},
      {R + 1, B - 1, shadow, "button shadow column"},
      {R, B, kUntouched, "shadow columns stop above the bottom"},
      {R + 2, T + 5, kUntouched, "nothing beyond the shadows"},
      {L - 1, T + 5, kUntouched, "nothing left of the bar"},
      {L + 5, B, kUntouched, "nothing below the bar"},
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(At(image_, p.x, p.y), p.colour | 0xFF000000u) << p.why << " at " << p.x << "," << p.y;
  }
  EXPECT_EQ(penAfter_, QPen(Qt::red, 5)) << "the caller's pen comes back";
}

TEST_F(ShadedBarDraw, ZeroWidthDrawsNothingAtAll) {
  const QImage before = image_;
  Draw(Rect{20, 10, 20, 30});
  EXPECT_EQ(image_, before);
}

TEST(BufferedDC, DrawingReachesTheTargetOnlyAtDestructionAndOnlyInsideTheArea) {
  QImage target(60, 60, QImage::Format_RGB32);
  target.fill(Qt::white);
  QPainter paint(&target);
  {
    CBufferedDC dc(paint, Rect{10, 10, 30, 40});
    EXPECT_TRUE(dc.IsMemory());
    dc.Painter().fillRect(QRect(0, 0, 60, 60), Qt::blue);  // logical coordinates of the target
    dc.Painter().fillRect(QRect(10, 10, 1, 1), Qt::red);
    EXPECT_EQ(At(target, 15, 15), qRgb(255, 255, 255)) << "nothing is copied before the end";
  }
  paint.end();
  EXPECT_EQ(At(target, 10, 10), qRgb(255, 0, 0));
  EXPECT_EQ(At(target, 29, 39), qRgb(0, 0, 255));
  EXPECT_EQ(At(target, 30, 20), qRgb(255, 255, 255));
  EXPECT_EQ(At(target, 20, 40), qRgb(255, 255, 255));
  EXPECT_EQ(At(target, 5, 5), qRgb(255, 255, 255));
}

TEST(BufferedDC, EmptyAreaCoversTheTargetsClipBox) {
  QImage target(60, 40, QImage::Format_RGB32);
  QPainter paint(&target);
  EXPECT_EQ(CBufferedDC(paint, Rect{}).Area(), (Rect{0, 0, 60, 40}));
  paint.setClipRect(QRect(5, 6, 10, 20));
  EXPECT_EQ(CBufferedDC(paint, Rect{}).Area(), (Rect{5, 6, 15, 26}));
}

TEST(BufferedDC, PagedDeviceIsDrawnStraightThrough) {
  QTemporaryDir dir;
  QPdfWriter pdf(dir.filePath("page.pdf"));
  QPainter paint(&pdf);
  CBufferedDC dc(paint, Rect{0, 0, 10, 10});
  EXPECT_FALSE(dc.IsMemory());
  EXPECT_EQ(&dc.Painter(), &paint);
}

}  // namespace
}  // namespace velmo::display
