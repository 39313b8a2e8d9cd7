// The property sheet of the frame: one tab per monitor page, built from a table so that further
// pages can follow the board's own ones, and refreshed so that only the page in view repaints.
#pragma once

#include <QTabWidget>
#include <cstdint>
#include <vector>

#include "monitor/core/FrameHost.h"
#include "monitor/core/PageSlots.h"

namespace velmo::core {
class History;
struct MonitorState;
}  // namespace velmo::core

namespace velmo::display {
class CHistoryPage;
class CMonitorPage;
class CCpuMonitor;
class CSysMonitor;
class CVagpMonitor;
}  // namespace velmo::display

namespace velmo::app::gui {

// One tab: the page it holds, its image, and its text when that is not the page's caption.
struct TabSpec {
  core::Page page;
  int32_t icon;
  const char* text = nullptr;
  bool operator==(const TabSpec&) const = default;
};
// The tabs of a board model, in order.
std::vector<TabSpec> TabLayout(int32_t mbModel);

class CMonitorSheet : public QTabWidget {
  Q_OBJECT

 public:
  explicit CMonitorSheet(QWidget* parent = nullptr);
  ~CMonitorSheet() override;

  // Adds the pages of the board model; once.
  void CreatePages(int32_t mbModel);
  // Adds the history extension's tab after the board's pages; once.
  void AddHistoryPage(const core::History& history, const core::MonitorState& state);
  display::CHistoryPage* HistoryPage() const { return history_; }
  // After a sample was added to the history.
  void RefreshHistory(bool inView);
  bool HasPages() const { return count() > 0; }
  // The display slots every page draws from; a page takes them when it is next refreshed or
  // first shown.
  void SetSlots(const core::PageSlots& pageSlots);
  // What the frame's refresh does: the page in view redraws when `inView` (the frame shows);
  // the others wait until they come into view.
  void Refresh(bool inView);
  // Redraws the page in view if a refresh passed it by.
  void CatchUp();
  void ShowPage(core::Page page);
  display::CMonitorPage* PageWidget(core::Page page) const;
  // Times a page redrew on a refresh (for tests of what repaints when).
  int RefreshCount(core::Page page) const;

 private:
  struct Entry {
    core::Page page;
    display::CMonitorPage* widget;
    bool stale = false;
    int refreshes = 0;
  };
  Entry* Find(core::Page page);
  const Entry* Find(core::Page page) const;
  Entry* Current();
  void Redraw(Entry& entry);

  std::vector<Entry> entries_;
  display::CCpuMonitor* cpu_ = nullptr;
  display::CCpuMonitor* cpu2_ = nullptr;
  display::CSysMonitor* system_ = nullptr;
  display::CVagpMonitor* misc_ = nullptr;
  display::CHistoryPage* history_ = nullptr;
};

}  // namespace velmo::app::gui
