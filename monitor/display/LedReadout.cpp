#include "monitor/display/LedReadout.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "monitor/display/BufferedDC.h"
#include "monitor/display/ValueFormat.h"

namespace velmo::display {
namespace {

constexpr int kMaxPadding = 40;
constexpr int kTimeTextLimit = 128;  // 127 characters and the terminator
// Keeps the bar's stroke arithmetic far from int overflow; anything this wide is clipped anyway.
constexpr int32_t kBarWidthLimit = 1 << 20;

int SegmentBit(int segment) {
  return 0x80 >> segment;  // a = 0x80 ... g = 0x02
}

}  // namespace

int SegmentMask(char c) {
  static constexpr int kDigits[10] = {0xFC, 0x60, 0xDA, 0xF2, 0x66, 0xB6, 0xBE, 0xE0, 0xFE, 0xF6};
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  switch (c) {
    case '-':
      return 0x02;
    case '.':
      return kDecimalPoint;
    case ':':
      return kColon;
    default:
      return -1;
  }
}

CLedReadout::CLedReadout(QWidget* parent) : QWidget(parent), bar_(this) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

CLedReadout::~CLedReadout() = default;

void CLedReadout::Create(QWidget* container, const QRect& windowRect, uint32_t style) {
  style_ = style;
  setParent(container);
  setGeometry(windowRect);
  // A static control without SS_NOTIFY lets clicks through to the window underneath.
  setAttribute(Qt::WA_TransparentForMouseEvents, !AcceptsMouse());
  created_ = true;
  setVisible((style & kWsVisible) != 0);
}

void CLedReadout::SetFormat(const std::string& format) {
  format_ = format;
  const size_t f = format_.find('f');
  floatMode_ = f != std::string::npos && f >= 1;
  if (created_) SetText(text_);
}

void CLedReadout::SetText(const std::string& text) {
  text_ = text;
  Invalidate();
}

void CLedReadout::SetIntValue(int32_t v, bool useRange, float min, float max) {
  floatMode_ = false;
  if (useRange) {
    minimum_ = min;
    maximum_ = max;
    if (static_cast<float>(v) < min) {
      v = TruncateToInt(min);
    } else if (static_cast<float>(v) > max) {
      v = TruncateToInt(max);
    }
  }
  value_ = static_cast<float>(v);
  ShowInt(TruncateToInt(value_));
}

void CLedReadout::SetFloatValue(float v, bool useRange, float min, float max) {
  floatMode_ = true;
  if (useRange) {
    minimum_ = min;
    maximum_ = max;
    if (v < min) {
      v = min;
    } else if (v > max) {
      v = max;
    }
  }
  value_ = v;
  ShowFloat(value_);
}

void CLedReadout::ShowInt(int32_t v, bool setFormat, const std::string& format) {
  floatMode_ = false;
  if (setFormat) format_ = format;
  text_ = FormatInt(format_, v);
  if (created_) Invalidate();
}

void CLedReadout::ShowFloat(float v, bool setFormat, const std::string& format) {
  floatMode_ = true;
  if (setFormat) format_ = format;
  text_ = FormatFloat(format_, static_cast<double>(v));
  if (created_) Invalidate();
}

void CLedReadout::ShowNoValue() {
  // The shape of a zero in the current format, its digits and padding turned into dashes.
  std::string text = floatMode_ ? FormatFloat(format_, 0.0) : FormatInt(format_, 0);
  for (char& c : text)
    if (c == ' ' || (c >= '0' && c <= '9')) c = '-';
  text_ = text;
  value_ = minimum_;
  if (created_) Invalidate();
}

void CLedReadout::SetColors(const QColor& segment, const QColor& background, const QColor& bar) {
  segment_ = segment;
  background_ = background;
  bar_.SetBaseColor(bar);
  if (created_) Invalidate();
}

void CLedReadout::ShowTime(const std::string& format) {
  ShowTime(format, std::time(nullptr));
}

void CLedReadout::ShowTime(const std::string& format, std::time_t now) {
  showBar_ = false;
  std::string text;
  std::tm local{};
  if (localtime_r(&now, &local) != nullptr) {
    char buffer[kTimeTextLimit];
    const size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &local);
    text.assign(buffer, n);
  }
  SetText(text);
}

void CLedReadout::Invalidate() {
  update();
}

int CLedReadout::FrameWidth() const {
  int width = 0;
  if (style_ & kSsSunken) width += 1;
  if (style_ & kWsDlgFrame) width += 3;
  return width;
}

QRect CLedReadout::ClientRect() const {
  const int f = FrameWidth();
  const QRect inner = rect().adjusted(f, f, -f, -f);
  return inner.isValid() ? inner : QRect(f, f, 0, 0);
}

void CLedReadout::DrawFrame(QPainter& dc) const {
  const Rect outer = Rect::FromQRect(rect());
  const QPalette& p = palette();
  Rect r = outer;
  if (style_ & kWsDlgFrame) {
    // A raised dialog edge: two bevel rings and a ring of face colour.
    Draw3dRect(dc, r, p.color(QPalette::Midlight), p.color(QPalette::Shadow));
    r = Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    Draw3dRect(dc, r, p.color(QPalette::Light), p.color(QPalette::Dark));
    r = Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    Draw3dRect(dc, r, p.color(QPalette::Button), p.color(QPalette::Button));
    r = Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
  if (style_ & kSsSunken) {
    Draw3dRect(dc, r, p.color(QPalette::Dark), p.color(QPalette::Light));
  }
}

void CLedReadout::ComputeLayout() {
  int32_t h = clientRect_.bottom;
  if (showBar_) h = h + 2 - barHeight_;
  strokeThickness_ = std::max(TruncateToInt(0.06 * h), 1);
  segmentLength_ = std::max(TruncateToInt(0.35 * h), 1);
  penWidth_ = strokeThickness_;
  layoutValid_ = true;
}

void CLedReadout::paintEvent(QPaintEvent*) {
  QPainter paintDc(this);
  if (FrameWidth() > 0) DrawFrame(paintDc);
  const QRect client = ClientRect();
  clientRect_ = Rect{0, 0, client.width(), client.height()};
  paintDc.translate(client.topLeft());
  paintDc.setClipRect(clientRect_.ToQRect());
  CBufferedDC dc(paintDc, clientRect_);
  QPainter& p = dc.Painter();
  p.setRenderHint(QPainter::Antialiasing, false);

  FillRect(p, clientRect_, background_);
  if (!layoutValid_) ComputeLayout();

  std::string shown = text_;
  if (minWidth_ > 0 && static_cast<int64_t>(shown.size()) < minWidth_) {
    const int64_t pad =
        std::min<int64_t>(minWidth_ - static_cast<int64_t>(shown.size()), kMaxPadding);
    shown.insert(0, static_cast<size_t>(pad), ' ');
  }

  const int t = strokeThickness_;
  const int L = segmentLength_;
  int64_t x = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    const char c = shown[i];
    if (i > 0) {
      if (c == ':') {
        x += t + L;
      } else if (shown[i - 1] == ':') {
        x += L + 1;
      } else {
        x += L + 4 * t;
      }
    }
    // Cells further right cannot show.
    if (x > clientRect_.right) break;
    if (drawUnlit_ && c != ':') DrawDigit(p, kUnlitPattern, static_cast<int>(x));
    const int code = SegmentMask(c);
    if (code >= 0) DrawDigit(p, code, static_cast<int>(x));
  }

  if (showBar_) DrawBar(p);
}

void CLedReadout::DrawDigit(QPainter& dc, int code, int x) const {
  QColor colour = segment_;
  if (code == kUnlitPattern) {
    colour = QColor(segment_.red() / 3, segment_.green() / 3, segment_.blue() / 3);
  }
  const QPen pen(colour, penWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  const int t = strokeThickness_;
  const int L = segmentLength_;
  struct Stroke {
    QPoint from;
    QPoint to;
  };
  const Stroke segments[7] = {
      {{x + 2 * t, t}, {x + L, t}},                          // a
      {{x + L + t, 2 * t}, {x + L + t, L + 2 * t}},          // b
      {{x + L + t, L + 4 * t}, {x + L + t, 2 * L + 3 * t}},  // c
      {{x + 2 * t, 2 * L + 4 * t}, {x + L, 2 * L + 4 * t}},  // d
      {{x + t, L + 4 * t}, {x + t, 2 * L + 3 * t}},          // e
      {{x + t, 2 * t}, {x + t, L + 2 * t}},                  // f
      {{x + 2 * t, L + 3 * t}, {x + L, L + 3 * t}},          // g
  };
  for (int s = 0; s < 7; ++s) {
    if (code == kUnlitPattern || (code & 0xFF & SegmentBit(s)) != 0) {
      LineTo(dc, pen, segments[s].from, segments[s].to);
    }
  }
  if (code == kDecimalPoint) {
    LineTo(dc, pen, {x + 2 * t, 2 * L + 4 * t}, {x + L / 2, 2 * L + 4 * t});
  } else if (code == kColon) {
    LineTo(dc, pen, {x + 4 * t, L}, {x + L / 2 + 2 * t, L});
    LineTo(dc, pen, {x + 4 * t, 2 * L + t}, {x + L / 2 + 2 * t, 2 * L + t});
  }
}

void CLedReadout::DrawBar(QPainter& dc) const {
  const int32_t R = clientRect_.right;
  const int32_t B = clientRect_.bottom;
  const int32_t Lc = clientRect_.left;
  const int32_t range = TruncateToInt(std::fabs(100.0f * maximum_ - 100.0f * minimum_));
  // A range below 0.01 would divide by zero; such a bar stays empty.
  const float width = range == 0 ? 0.0f
                                 : static_cast<float>(R) * (100.0f * value_ - 100.0f * minimum_) /
                                       static_cast<float>(range);
  const int32_t barWidth = std::clamp(TruncateToInt(width), -kBarWidthLimit, kBarWidthLimit);

  const QPalette& p = palette();
  const Rect strip{Lc, B - barHeight_, Lc + R, B};
  FillRect(dc, strip, p.color(QPalette::Button));
  Draw3dRect(dc, strip, p.color(QPalette::Dark), p.color(QPalette::Light));
  bar_.Draw(dc, Rect{Lc, B - barHeight_, Lc + barWidth, B});
}

int CLedReadout::ClientX(const QMouseEvent* event) const {
  return TruncateToInt(event->position().x()) - FrameWidth();
}

void CLedReadout::mousePressEvent(QMouseEvent* event) {
  if (!AcceptsMouse()) {
    event->ignore();
    return;
  }
  // Qt grabs the mouse for the pressed widget until every button is up, which is the capture
  // the adjustment relies on.
  if (event->button() == Qt::LeftButton) {
    leftHeld_ = true;
    lastMouseX_ = ClientX(event);
  } else if (event->button() == Qt::RightButton) {
    rightHeld_ = true;
    lastMouseX_ = ClientX(event);
  }
}

void CLedReadout::mouseMoveEvent(QMouseEvent* event) {
  if (!AcceptsMouse()) {
    event->ignore();
    return;
  }
  if (!leftHeld_ && !rightHeld_) return;
  const int x = ClientX(event);
  const int dx = x - lastMouseX_;
  lastMouseX_ = x;
  dragDelta_ = dx;
  if (leftHeld_) {
    value_ += static_cast<float>(dx);
  } else {
    value_ += static_cast<float>(dx) * 0.01f;
  }
  ClampValue();
  Redisplay();
}

void CLedReadout::mouseReleaseEvent(QMouseEvent* event) {
  if (!AcceptsMouse()) {
    event->ignore();
    return;
  }
  const bool left = event->button() == Qt::LeftButton;
  if (!left && event->button() != Qt::RightButton) return;
  if (dragDelta_ == 0) {
    value_ = left ? value_ - Step() : value_ + Step();
    ClampValue();
    Redisplay();
  }
  dragDelta_ = 0;
  if (left) {
    leftHeld_ = false;
  } else {
    rightHeld_ = false;
  }
}

void CLedReadout::ClampValue() {
  if (value_ < minimum_) {
    value_ = minimum_;
  } else if (value_ > maximum_) {
    value_ = maximum_;
  }
}

void CLedReadout::Redisplay() {
  if (floatMode_) {
    ShowFloat(value_);
  } else {
    ShowInt(TruncateToInt(value_));
  }
}

}  // namespace velmo::display
