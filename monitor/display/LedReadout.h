// CLedReadout: a short text shown as seven-segment digits, with an optional value bar and, for
// readouts that accept the mouse, adjustment of the value by clicks and drags.
#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>
#include <ctime>
#include <string>

#include "monitor/display/Gdi.h"
#include "monitor/display/ShadedBar.h"

namespace velmo::display {

// Window styles a container gives a readout when it places it (the Windows bit values).
enum ReadoutStyle : uint32_t {
  kWsVisible = 0x10000000,
  kWsDlgFrame = 0x00400000,
  kSsSunken = 0x00001000,
  kSsNotify = 0x00000100,
};

// Cell codes: bits 7..1 are the segments a (top), b, c, d, e, f, g (middle); the three whole codes
// below draw a decimal point, a colon and all seven segments in the dimmed colour.
inline constexpr int kDecimalPoint = 0x100;
inline constexpr int kColon = 0x101;
inline constexpr int kUnlitPattern = 999;
// The cell code of c, or -1 when c draws nothing (its cell stays empty but keeps its width).
int SegmentMask(char c);

class CLedReadout : public QWidget {
  Q_OBJECT

 public:
  explicit CLedReadout(QWidget* parent = nullptr);
  ~CLedReadout() override;

  // Makes this the container's child over windowRect (container coordinates) with the given
  // ReadoutStyle bits. Without kSsNotify the readout is transparent to the mouse.
  void Create(QWidget* container, const QRect& windowRect, uint32_t style);
  bool IsCreated() const { return created_; }

  // Float mode is on exactly when the first 'f' of format stands at index 1 or later.
  void SetFormat(const std::string& format);
  void SetText(const std::string& text);
  // Set float mode, the value (clamped to [min, max] with useRange, which also stores the range)
  // and the text formatted from the value.
  void SetIntValue(int32_t v, bool useRange, float min, float max);
  void SetFloatValue(float v, bool useRange, float min, float max);
  // Change only the text (and float mode, and the format when setFormat).
  void ShowInt(int32_t v, bool setFormat = false, const std::string& format = {});
  void ShowFloat(float v, bool setFormat = false, const std::string& format = {});
  // No reading to show: every digit place the format gives a value (and its padding) shows a
  // dash, segment g ("%4d" "----", "%.2f" "-.--"), and the bar is empty.
  void ShowNoValue();
  void SetColors(const QColor& segment, const QColor& background, const QColor& bar);
  // Hides the bar and shows the local time in strftime format (empty when it does not fit in 127
  // characters or the time cannot be converted).
  void ShowTime(const std::string& format);
  void ShowTime(const std::string& format, std::time_t now);

  // Plain fields a container sets directly; the appearance ones must be final before the first
  // paint, which fixes the layout.
  void SetBarHeight(uint16_t h) { barHeight_ = h; }
  void SetShowBar(bool on) { showBar_ = on; }
  void SetDrawUnlit(bool on) { drawUnlit_ = on; }
  void SetMinWidth(int32_t w) { minWidth_ = w; }
  void SetFloatMode(bool on) { floatMode_ = on; }
  void SetMinimum(float v) { minimum_ = v; }
  void SetMaximum(float v) { maximum_ = v; }
  void SetValue(float v) { value_ = v; }
  void SetSegmentColor(const QColor& c) { segment_ = c; }
  void SetBackgroundColor(const QColor& c) { background_ = c; }
  CShadedBar& BarPainter() { return bar_; }

  const std::string& Text() const { return text_; }
  const std::string& Format() const { return format_; }
  float Value() const { return value_; }
  float Maximum() const { return maximum_; }
  bool FloatMode() const { return floatMode_; }
  bool ShowBar() const { return showBar_; }
  uint16_t BarHeight() const { return barHeight_; }
  const QColor& SegmentColor() const { return segment_; }
  const CShadedBar& BarPainter() const { return bar_; }
  int32_t StrokeThickness() const { return strokeThickness_; }
  int32_t SegmentLength() const { return segmentLength_; }
  // The client area in widget coordinates: the widget less its frame (sunken or dialog frame).
  QRect ClientRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  int FrameWidth() const;
  void DrawFrame(QPainter& dc) const;
  void ComputeLayout();
  void DrawDigit(QPainter& dc, int code, int x) const;
  void DrawBar(QPainter& dc) const;
  void Invalidate();
  void ClampValue();
  void Redisplay();
  float Step() const { return floatMode_ ? 0.01f : 1.0f; }
  bool AcceptsMouse() const { return (style_ & kSsNotify) != 0; }
  int ClientX(const QMouseEvent* event) const;

  int32_t dragDelta_ = 0;
  uint16_t barHeight_ = 4;
  bool drawUnlit_ = true;
  bool layoutValid_ = false;
  std::string text_ = "0";
  std::string format_ = "%.3d";
  Rect clientRect_;
  float minimum_ = 0.0f;
  float maximum_ = 100.0f;
  int32_t minWidth_ = 0;
  int32_t lastMouseX_ = 0;
  CShadedBar bar_;
  int32_t penWidth_ = 1;
  int32_t segmentLength_ = 1;
  int32_t strokeThickness_ = 1;
  QColor background_{0, 0, 0};
  QColor segment_{100, 255, 100};
  float value_ = 0.0f;
  bool showBar_ = true;
  bool leftHeld_ = false;
  bool rightHeld_ = false;
  bool floatMode_ = false;

  uint32_t style_ = 0;
  bool created_ = false;
};

}  // namespace velmo::display
