#include "monitor/display/HistoryPage.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "monitor/core/ChannelLabels.h"
#include "monitor/core/History.h"
#include "monitor/core/MonitorState.h"

namespace velmo::display {

namespace {

constexpr const char* kTitles[CHistoryPage::kGroups] = {"Temperatures (C)", "Fans (RPM)",
                                                        "Voltages (V)"};

bool InGroup(CHistoryPage::Group group, int item) {
  switch (group) {
    case CHistoryPage::kTemperatures:
      return core::IsTemperature(item);
    case CHistoryPage::kFans:
      return core::IsFan(item);
    case CHistoryPage::kVoltages:
      return core::IsVoltage(item);
  }
  return false;
}

// Limits worth drawing: an enabled channel with a range.
bool HasLimits(const core::ChannelRecord& r, int item) {
  return !core::IsFan(item) && r.alarm.enabled != 0 && (r.alarm.upper != 0 || r.alarm.lower != 0);
}

}  // namespace

CHistoryPage::CHistoryPage(const core::History& history, const core::MonitorState& state,
                           QWidget* parent)
    : QWidget(parent), history_(history), state_(state) {
  setWindowTitle(QStringLiteral("History"));
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::black);
  setPalette(p);
}

QColor CHistoryPage::ChannelColor(int item) {
  static const QRgb kColors[] = {qRgb(0, 250, 0), qRgb(0, 200, 255), qRgb(255, 200, 0),
                                 qRgb(255, 90, 90), qRgb(200, 120, 255)};
  int index = 0;  // its place in its group
  for (int other = 0; other < item; ++other)
    if ((core::IsFan(other) && core::IsFan(item)) ||
        (core::IsVoltage(other) && core::IsVoltage(item)) ||
        (core::IsTemperature(other) && core::IsTemperature(item)))
      ++index;
  return QColor(kColors[index % 5]);
}

QRect CHistoryPage::PlotRect(Group group) const {
  constexpr int kMargin = 6, kTitle = 14, kScale = 36;
  const int height = (this->height() - kMargin) / kGroups;
  const int top = kMargin + group * height + kTitle;
  return QRect(kMargin + kScale, top, width() - 2 * kMargin - kScale, height - kTitle - kMargin);
}

CHistoryPage::Scale CHistoryPage::ScaleOf(Group group) const {
  bool any = false;
  double low = 0, high = 0;
  auto take = [&](double v) {
    low = any ? std::min(low, v) : v;
    high = any ? std::max(high, v) : v;
    any = true;
  };
  for (int item = 0; item < core::kChannelCount; ++item) {
    const core::ChannelRecord& r = state_[item];
    if (!InGroup(group, item) || r.present == 0) continue;
    for (int32_t v : history_.Samples(item))
      if (v != core::kNoValue) take(core::InBaseUnits(item, v));
    if (HasLimits(r, item)) {
      take(core::InBaseUnits(item, r.alarm.upper));
      take(core::InBaseUnits(item, r.alarm.lower));
    }
  }
  if (!any) return {};
  const double pad = std::max((high - low) * 0.08, group == kVoltages ? 0.1 : 1.0);
  return {low - pad, high + pad};
}

int CHistoryPage::RowOf(Group group, double value) const {
  const QRect plot = PlotRect(group);
  const Scale s = ScaleOf(group);
  const double f = (value - s.low) / (s.high - s.low);
  return plot.bottom() - static_cast<int>(std::lround(f * (plot.height() - 1)));
}

void CHistoryPage::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  dc.setFont(font());
  const size_t capacity = std::max<size_t>(history_.Capacity(), 2);
  for (int g = 0; g < kGroups; ++g) {
    const auto group = static_cast<Group>(g);
    const QRect plot = PlotRect(group);
    // The title, then the channels' labels in their colours as far as the row goes.
    const QFontMetrics metrics(font());
    const QString title = QString::fromLatin1(kTitles[g]);
    dc.setPen(QColor(188, 188, 188));
    dc.drawText(QPoint(plot.left(), plot.top() - 3), title);
    int legendX = plot.left() + metrics.horizontalAdvance(title) + 12;
    for (int item = 0; item < core::kChannelCount; ++item) {
      if (!InGroup(group, item) || state_[item].present == 0) continue;
      const QString label = QString::fromStdString(core::ChannelLabel(item, state_.mbModel));
      const int width = metrics.horizontalAdvance(label);
      if (legendX + width > plot.right()) break;
      dc.setPen(ChannelColor(item));
      dc.drawText(QPoint(legendX, plot.top() - 3), label);
      legendX += width + 10;
    }
    dc.setPen(QColor(0, 100, 100));
    dc.drawRect(plot.adjusted(0, 0, -1, -1));
    const Scale s = ScaleOf(group);
    dc.setPen(QColor(150, 150, 150));
    dc.drawText(QRect(0, plot.top() - 6, plot.left() - 4, 12), Qt::AlignRight | Qt::AlignVCenter,
                QString::number(s.high, 'f', group == kVoltages ? 1 : 0));
    dc.drawText(QRect(0, plot.bottom() - 6, plot.left() - 4, 12), Qt::AlignRight | Qt::AlignVCenter,
                QString::number(s.low, 'f', group == kVoltages ? 1 : 0));
    dc.setClipRect(plot);
    for (int item = 0; item < core::kChannelCount; ++item) {
      const core::ChannelRecord& r = state_[item];
      if (!InGroup(group, item) || r.present == 0) continue;
      const QColor color = ChannelColor(item);
      if (HasLimits(r, item)) {
        dc.setPen(QPen(color.darker(130), 1, Qt::DashLine));
        for (int32_t limit : {r.alarm.upper, r.alarm.lower}) {
          const int y = RowOf(group, core::InBaseUnits(item, limit));
          dc.drawLine(plot.left(), y, plot.right(), y);
        }
      }
      // The newest sample at the right edge, an hour back at the left.
      // Ticks without a value leave a gap; a sample alone between gaps is drawn as a point.
      const std::vector<int32_t> samples = history_.Samples(item);
      QPainterPath path;
      std::vector<QPointF> lone;
      bool inRun = false;
      size_t runLength = 0;
      QPointF runStart;
      auto endRun = [&] {
        if (inRun && runLength == 1) lone.push_back(runStart);
        inRun = false;
      };
      for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] == core::kNoValue) {
          endRun();
          continue;
        }
        const double x = plot.right() - 2 -
                         static_cast<double>(samples.size() - 1 - i) * (plot.width() - 5) /
                             static_cast<double>(capacity - 1);
        const QPointF point(x, RowOf(group, core::InBaseUnits(item, samples[i])));
        if (!inRun) {
          path.moveTo(point);
          inRun = true;
          runLength = 1;
          runStart = point;
        } else {
          path.lineTo(point);
          ++runLength;
        }
      }
      endRun();
      dc.setPen(QPen(color, 2));
      dc.drawPath(path);
      for (const QPointF& point : lone)
        dc.drawPoint(point);
    }
    dc.setClipping(false);
  }
}

}  // namespace velmo::display
