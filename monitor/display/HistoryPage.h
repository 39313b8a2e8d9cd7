// CHistoryPage: the "History" tab of the history extension: the last hour of every present channel
// as one small plot per group (temperatures, fans, voltages), the alarm limits of the enabled
// channels drawn as dashed lines in their channel's colour.
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>
#include <array>
#include <cstdint>

namespace velmo::core {
class History;
struct MonitorState;
}  // namespace velmo::core

namespace velmo::display {

class CHistoryPage : public QWidget {
  Q_OBJECT

 public:
  enum Group { kTemperatures, kFans, kVoltages };
  static constexpr int kGroups = 3;

  CHistoryPage(const core::History& history, const core::MonitorState& state,
               QWidget* parent = nullptr);

  // The plot area of a group, and the pixel row of a value in it (for the samples and limits
  // drawn there, and for tests).
  QRect PlotRect(Group group) const;
  int RowOf(Group group, double value) const;
  // The colour a channel is drawn in.
  static QColor ChannelColor(int item);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Scale {
    double low = 0, high = 1;
  };
  Scale ScaleOf(Group group) const;

  const core::History& history_;
  const core::MonitorState& state_;
};

}  // namespace velmo::display
