#include "monitor/display/LedReadout.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "tests/display/PixelSupport.h"

namespace velmo::display {
namespace {

using test::At;

constexpr QRgb kLit = qRgb(100, 255, 100);  // the default segment colour
constexpr QRgb kUnlit = qRgb(33, 85, 33);   // the same divided by 3
constexpr QRgb kBackground = qRgb(0, 0, 0);

struct Rig {
  QWidget container;
  CLedReadout readout;
  explicit Rig(QSize size, uint32_t style = kWsVisible) {
    container.resize(size.width() + 20, size.height() + 20);
    readout.Create(&container, QRect(QPoint(0, 0), size), style);
  }
  QImage Paint() { return test::Render(readout); }
};

// Midpoints of the seven segments a..g of the cell at x, from the stroke table.
std::vector<QPoint> SegmentMidpoints(int x, int t, int L) {
  return {{x + (2 * t + L) / 2, t},
          {x + L + t, (2 * t + L + 2 * t) / 2},
          {x + L + t, (L + 4 * t + 2 * L + 3 * t) / 2},
          {x + (2 * t + L) / 2, 2 * L + 4 * t},
          {x + t, (L + 4 * t + 2 * L + 3 * t) / 2},
          {x + t, (2 * t + L + 2 * t) / 2},
          {x + (2 * t + L) / 2, L + 3 * t}};
}

TEST(LedReadoutLayout, ThicknessAndLengthComeFromTheHeightLessTheBarOnce) {
  struct Row {
    int height;
    bool bar;
    int t, L;
  };
  const Row rows[] = {{50, false, 3, 17}, {39, true, 1, 10}, {17, false, 1, 5}, {8, true, 1, 1}};
  for (const Row& r : rows) {
    Rig rig(QSize(100, r.height));
    rig.readout.SetShowBar(r.bar);
    rig.readout.SetBarHeight(10);
    rig.Paint();
    EXPECT_EQ(rig.readout.StrokeThickness(), r.t) << r.height;
    EXPECT_EQ(rig.readout.SegmentLength(), r.L) << r.height;
    rig.readout.resize(100, 200);
    rig.Paint();
    EXPECT_EQ(rig.readout.SegmentLength(), r.L) << "layout is fixed at the first paint";
  }
}

TEST(LedReadoutDigits, EachCharacterLightsItsSegmentsOverTheUnlitPattern) {
  const struct {
    char c;
    int mask;
  } rows[] = {{'0', 0xFC}, {'1', 0x60}, {'2', 0xDA}, {'3', 0xF2}, {'4', 0x66}, {'5', 0xB6},
              {'6', 0xBE}, {'7', 0xE0}, {'8', 0xFE}, {'9', 0xF6}, {'-', 0x02}, {' ', 0x00}};
  for (const auto& row : rows) {
    Rig rig(QSize(100, 50));
    rig.readout.SetShowBar(false);
    rig.readout.SetText(std::string(1, row.c));
    const QImage image = rig.Paint();
    const auto mids = SegmentMidpoints(0, 3, 17);
    for (int s = 0; s < 7; ++s) {
      const bool lit = (row.mask & (0x80 >> s)) != 0;
      EXPECT_EQ(At(image, mids[s].x(), mids[s].y()), lit ? kLit : kUnlit)
          << "'" << row.c << "' segment " << char('a' + s);
    }
  }
}

TEST(LedReadoutDigits, OnePixelStrokesLeaveOutTheirEndPoints) {
  Rig rig(QSize(40, 17));  // t = 1, L = 5
  rig.readout.SetShowBar(false);
  rig.readout.SetDrawUnlit(false);
  rig.readout.SetText("8");
  const QImage image = rig.Paint();
  EXPECT_EQ(At(image, 2, 1), kLit);  // a from (2t, t) ...
  EXPECT_EQ(At(image, 4, 1), kLit);
  EXPECT_EQ(At(image, 5, 1), kBackground);  // ... to (L, t), left out
  EXPECT_EQ(At(image, 6, 6), kLit);         // b from (L+t, 2t) to (L+t, L+2t)
  EXPECT_EQ(At(image, 6, 7), kBackground);
  EXPECT_EQ(At(image, 1, 12), kLit);  // e from (t, L+4t) to (t, 2L+3t)
  EXPECT_EQ(At(image, 1, 13), kBackground);
}

TEST(LedReadoutDigits, ColonsDecimalPointsAndPaddingPlaceTheCells) {
  const int t = 3, L = 17, pitch = L + 4 * t;
  {
    SCOPED_TRACE("12:34:56");
    Rig rig(QSize(260, 50));
    rig.readout.SetShowBar(false);
    rig.readout.SetText("12:34:56");
    const QImage image = rig.Paint();
    const int colon = pitch + t + L;  // a colon sits t + L after the previous cell
    const int three = colon + L + 1;  // the next digit L + 1 after the colon
    const int colon2 = three + pitch + t + L;
    for (const int x : {colon, colon2}) {
      EXPECT_EQ(At(image, x + (4 * t + L / 2 + 2 * t) / 2, L), kLit) << "upper colon stroke";
      EXPECT_EQ(At(image, x + (4 * t + L / 2 + 2 * t) / 2, 2 * L + t), kLit) << "lower stroke";
      EXPECT_EQ(At(image, x + (2 * t + L) / 2, L + 3 * t), kBackground) << "no unlit pattern";
    }
    EXPECT_EQ(At(image, three + (2 * t + L) / 2, t), kLit) << "segment a of the 3";
    EXPECT_EQ(At(image, three + (2 * t + L) / 2, L + 3 * t), kLit) << "segment g of the 3";
    EXPECT_EQ(At(image, pitch + (2 * t + L) / 2, L + 3 * t), kLit) << "segment g of the 2";
  }
  {
    SCOPED_TRACE("1.75");
    Rig rig(QSize(200, 50));
    rig.readout.SetShowBar(false);
    rig.readout.SetText("1.75");
    const QImage image = rig.Paint();
    EXPECT_EQ(At(image, pitch + (2 * t + L / 2) / 2, 2 * L + 4 * t), kLit) << "the point";
    EXPECT_EQ(At(image, pitch + L - 1, 2 * L + 4 * t), kUnlit) << "only a short stroke";
    EXPECT_EQ(At(image, pitch + (2 * t + L) / 2, t), kUnlit) << "its cell has the pattern";
    EXPECT_EQ(At(image, 2 * pitch + (2 * t + L) / 2, t), kLit) << "the 7 in the next cell";
  }
  {
    SCOPED_TRACE("minimum width 5, text 70");
    Rig rig(QSize(200, 50));
    rig.readout.SetShowBar(false);
    rig.readout.SetMinWidth(5);
    rig.readout.SetText("70");
    const QImage image = rig.Paint();
    for (int cell = 0; cell < 3; ++cell) {
      EXPECT_EQ(At(image, cell * pitch + (2 * t + L) / 2, t), kUnlit) << cell;
    }
    EXPECT_EQ(At(image, 3 * pitch + (2 * t + L) / 2, t), kLit);
    EXPECT_EQ(At(image, 4 * pitch + t, L + 4 * t + 7), kLit) << "segment e of the 0";
  }
}

TEST(LedReadoutDigits, PaddingStopsAtFortySpaces) {
  Rig rig(QSize(600, 17));  // t = 1, L = 5, pitch 9
  rig.readout.SetShowBar(false);
  rig.readout.SetDrawUnlit(false);
  rig.readout.SetMinWidth(100);
  rig.readout.SetText("8");
  const QImage image = rig.Paint();
  int first = -1, last = -1;
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 0; y < image.height(); ++y) {
      if (At(image, x, y) == kLit) {
        if (first < 0) first = x;
        last = x;
      }
    }
  }
  EXPECT_EQ(first, 40 * 9 + 1);
  EXPECT_EQ(last, 40 * 9 + 5 + 1);
}

TEST(LedReadoutDigits, UnlitPatternIsTheSegmentColourDividedByThree) {
  Rig rig(QSize(100, 50));
  rig.readout.SetShowBar(false);
  rig.readout.SetColors(QColor(250, 20, 7), QColor(0, 0, 90), QColor(0, 100, 0));
  rig.readout.SetText("1");
  const QImage image = rig.Paint();
  EXPECT_EQ(At(image, (6 + 17) / 2, 3), qRgb(83, 6, 2));
  EXPECT_EQ(At(image, 20, 14), qRgb(250, 20, 7));
  EXPECT_EQ(At(image, 60, 25), qRgb(0, 0, 90));
}

class LedReadoutBar : public ::testing::Test {
 protected:
  LedReadoutBar() {
    rig_.readout.SetBarHeight(10);
    rig_.readout.SetFormat("%d");
  }
  // Row T + 4 of the bar, the one row that is plain fill inside a 10-pixel bar.
  static constexpr int kRow = 30 + 4;
  QRgb Fill() const { return rig_.readout.BarPainter().Light3().rgb(); }
  QRgb Face() const { return rig_.readout.palette().color(QPalette::Button).rgb(); }
  Rig rig_{QSize(200, 40)};
};

TEST_F(LedReadoutBar, WidthFollowsTheValueWithinTheRange) {
  rig_.readout.SetIntValue(50, true, 0, 100);
  const QImage image = rig_.Paint();
  EXPECT_EQ(At(image, 50, kRow), Fill());
  EXPECT_EQ(At(image, 100, kRow), rig_.readout.BarPainter().MidShadowColor().rgb());
  EXPECT_EQ(At(image, 101, kRow), rig_.readout.BarPainter().ButtonShadow().rgb());
  EXPECT_EQ(At(image, 102, kRow), Face()) << "the sunken strip shows right of the bar";
  EXPECT_EQ(At(image, 199, kRow), rig_.readout.palette().color(QPalette::Light).rgb());
}

TEST_F(LedReadoutBar, ZeroWidthBarLeavesTheEmptyStrip) {
  rig_.readout.SetIntValue(-20, true, 0, 100);
  const QImage image = rig_.Paint();
  EXPECT_EQ(test::CountColour(image, QRect(0, 30, 200, 10), Fill()), 0);
  EXPECT_EQ(At(image, 0, kRow), rig_.readout.palette().color(QPalette::Dark).rgb());
  EXPECT_EQ(At(image, 1, kRow), Face());
}

TEST_F(LedReadoutBar, ClampedValueFillsTheStripAndUnclampedKeepsTheRange) {
  rig_.readout.SetIntValue(150, true, 0, 100);
  EXPECT_EQ(rig_.readout.Text(), "100");
  EXPECT_EQ(rig_.readout.Value(), 100.0f);
  const QImage image = rig_.Paint();
  EXPECT_EQ(test::CountColour(image, QRect(1, kRow, 198, 1), Face()), 0);

  rig_.readout.SetIntValue(10, true, 0, 50);
  rig_.readout.SetIntValue(150, false, 0, 100);
  EXPECT_EQ(rig_.readout.Text(), "150");
  EXPECT_EQ(rig_.readout.Maximum(), 50.0f);
  rig_.readout.SetFloatValue(-2.5f, true, -1.0f, 1.0f);
  EXPECT_EQ(rig_.readout.Value(), -1.0f);
  EXPECT_TRUE(rig_.readout.FloatMode());
}

TEST_F(LedReadoutBar, RangeBelowOneHundredthDrawsNoBarInsteadOfDividingByZero) {
  rig_.readout.SetMinimum(5.0f);
  rig_.readout.SetMaximum(5.0f);
  rig_.readout.SetValue(7.0f);
  rig_.readout.ShowInt(7);
  const QImage image = rig_.Paint();
  EXPECT_EQ(test::CountColour(image, QRect(0, 30, 200, 10), Fill()), 0);
}

TEST_F(LedReadoutBar, NoValueIsDashesInEveryDigitPlaceAndAnEmptyBar) {
  const struct {
    const char* format;
    bool floating;
    const char* dashes;
  } rows[] = {{"%4d", false, "----"},
              {"%3d", false, "---"},
              {"%.2f", true, "-.--"},
              {"%.3f", true, "-.---"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.format);
    rig_.readout.SetFormat(row.format);
    if (row.floating) {
      rig_.readout.SetFloatValue(100.0f, true, 0, 100);
    } else {
      rig_.readout.SetIntValue(100, true, 0, 100);
    }
    rig_.readout.ShowNoValue();
    EXPECT_EQ(rig_.readout.Text(), row.dashes);
    const QImage image = rig_.Paint();
    EXPECT_EQ(test::CountColour(image, QRect(0, 30, 200, 10), Fill()), 0) << "the bar is empty";
    // The first cell lights segment g alone.
    const auto mids =
        SegmentMidpoints(0, rig_.readout.StrokeThickness(), rig_.readout.SegmentLength());
    for (int seg = 0; seg < 7; ++seg)
      EXPECT_EQ(At(image, mids[seg].x(), mids[seg].y()), seg == 6 ? kLit : kUnlit)
          << "segment " << char('a' + seg);
  }
}

TEST(LedReadoutText, FormatDecidesFloatModeAndTextFollowsTheCalls) {
  const struct {
    const char* format;
    bool floatMode;
  } rows[] = {{"%.2f", true}, {"%4d", false}, {"%.3d", false}, {"f%d", false}, {"%f", true}};
  CLedReadout r;
  for (const auto& row : rows) {
    r.SetFormat(row.format);
    EXPECT_EQ(r.FloatMode(), row.floatMode) << row.format;
  }
  EXPECT_EQ(r.Format(), "%f");
  r.ShowInt(7, true, "%.3d");
  EXPECT_EQ(r.Text(), "007");
  EXPECT_FALSE(r.FloatMode());
  r.ShowFloat(1.755f, true, "%.2f");
  EXPECT_EQ(r.Text(), "1.75");  // 1.755f is 1.75499999...
  EXPECT_EQ(r.Value(), 0.0f) << "Show* leave the value alone";
  r.SetFloatValue(-12.096f, false, 0, 100);
  EXPECT_EQ(r.Text(), "-12.10") << "the format is kept";
}

TEST(LedReadoutText, FormatsThatWouldReadTheWrongArgumentAreMadeSafe) {
  const struct {
    const char* format;
    bool asFloat;
    const char* text;
  } rows[] = {
      {"%4d", false, "  42"},   {"%.3f", true, "42.250"},  {"%d", true, "42"},
      {"%.1f", false, "42.0"},  {"%s", false, "%s"},       {"%n%d", false, "%n42"},
      {"%*d", false, "%*d"},    {"%100d", false, "%100d"}, {"100%%", false, "100%"},
      {"%ld V", false, "42 V"}, {"%", false, "%"},
  };
  for (const auto& row : rows) {
    CLedReadout r;
    if (row.asFloat) {
      r.ShowFloat(42.25f, true, row.format);
    } else {
      r.ShowInt(42, true, row.format);
    }
    EXPECT_EQ(r.Text(), row.text) << row.format;
  }
  CLedReadout r;
  r.ShowInt(42, true, std::string("%\0d%\0", 5));
  EXPECT_EQ(r.Text(), std::string("%\0d%\0", 5)) << "a NUL is no conversion";
}

TEST(LedReadoutText, ShowTimeFormatsLocalTimeAndHidesTheBar) {
  const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
  setenv("TZ", "UTC", 1);
  tzset();
  CLedReadout r;
  r.ShowTime("%H:%M:%S", 45296);
  EXPECT_EQ(r.Text(), "12:34:56");
  EXPECT_FALSE(r.ShowBar());
  r.ShowTime(std::string(130, 'x'), 45296);
  EXPECT_EQ(r.Text(), "") << "longer than 127 characters";
  r.ShowTime(std::string(127, 'x'), 45296);
  EXPECT_EQ(r.Text().size(), 127u);
  if (zone.empty()) {
    unsetenv("TZ");
  } else {
    setenv("TZ", zone.c_str(), 1);
  }
  tzset();
}

// Mouse adjustment on a sunken readout that accepts the mouse, driven by a script of events:
// "L10" left press at x = 10, "l10" left release, "R"/"r" the right button, "m13" a move.
void Play(CLedReadout& r, const std::string& script) {
  Qt::MouseButtons held;
  std::istringstream in(script);
  std::string step;
  while (in >> step) {
    const QPointF at(std::stoi(step.substr(1)), 10);
    const char c = step[0];
    const Qt::MouseButton button = (c == 'L' || c == 'l')   ? Qt::LeftButton
                                   : (c == 'R' || c == 'r') ? Qt::RightButton
                                                            : Qt::NoButton;
    QEvent::Type type = QEvent::MouseMove;
    if (c == 'L' || c == 'R') {
      held |= button;
      type = QEvent::MouseButtonPress;
    } else if (c == 'l' || c == 'r') {
      held &= ~Qt::MouseButtons(button);
      type = QEvent::MouseButtonRelease;
    }
    QMouseEvent event(type, at, r.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&r, &event);
  }
}

TEST(LedReadoutMouse, ClicksStepAndDragsMoveTheValueWithinItsRange) {
  // Volts: "%.3f" within 4.5 to 5.5; counts: "%d" within 0 to 100.
  const struct Row {
    const char* name;
    bool volts;
    float start;
    const char* script;
    float value;
    const char* text;
  } rows[] = {
      {"left click steps down", true, 4.75f, "L10 l10", 4.74f, "4.740"},
      {"right click steps up", true, 4.75f, "R10 r10", 4.76f, "4.760"},
      {"left click at the minimum", false, 0, "L10 l10", 0, "0"},
      {"right click at the maximum", false, 100, "R5 r5", 100, "100"},
      {"left drag, a unit per pixel", false, 50, "L10 m13 l13", 53, "53"},
      {"left drag leftwards", false, 50, "L10 m4 l4", 44, "44"},
      {"right drag, 0.01 per pixel", true, 4.75f, "R10 m15 r15", 4.8f, "4.800"},
      {"drag clamps at the maximum", false, 98, "L10 m30 l30", 100, "100"},
      {"drag clamps at the minimum", false, 3, "L30 m10 l10", 0, "0"},
      {"last move without motion makes a click", false, 50, "L10 m12 m12 l12", 51, "51"},
      {"moves without a button change nothing", false, 50, "m40", 50, "stale"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig(QSize(120, 40), kWsVisible | kSsSunken | kSsNotify);
    CLedReadout& r = rig.readout;
    r.SetFormat(row.volts ? "%.3f" : "%d");
    r.SetMinimum(row.volts ? 4.5f : 0.0f);
    r.SetMaximum(row.volts ? 5.5f : 100.0f);
    r.SetValue(row.start);
    r.SetText("stale");
    Play(r, row.script);
    EXPECT_FLOAT_EQ(r.Value(), row.value);
    EXPECT_EQ(r.Text(), row.text);
  }
}

TEST(LedReadoutMouse, ClickOnAVoltageLimitTruncatesToTheMillivoltBelow) {
  Rig rig(QSize(150, 40), kWsVisible | kSsSunken | kSsNotify);
  CLedReadout& r = rig.readout;
  r.SetFormat("%.3f");
  r.SetMinimum(4.5f);
  r.SetMaximum(5.5f);
  r.SetValue(4.75f);
  r.ShowFloat(4.75f);
  QTest::mouseClick(&r, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_EQ(r.Text(), "4.740");
  EXPECT_EQ(static_cast<int32_t>(static_cast<double>(r.Value()) * 1000.0), 4739);
}

// A container that records the clicks that reach it.
class ClickCounter : public QWidget {
 public:
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST(LedReadoutMouse, ReadoutWithoutNotifyLetsClicksThroughToItsContainer) {
  ClickCounter container;
  container.resize(200, 100);
  CLedReadout r;
  r.Create(&container, QRect(10, 10, 120, 40), kWsVisible);
  r.SetIntValue(50, true, 0, 100);
  container.show();
  QTest::mouseClick(&r, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  QTest::mouseClick(&r, Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_EQ(r.Value(), 50.0f);
  EXPECT_EQ(r.Text(), "050");
  EXPECT_EQ(container.presses, 2);
}

}  // namespace
}  // namespace velmo::display
