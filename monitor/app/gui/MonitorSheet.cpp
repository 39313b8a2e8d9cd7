#include "monitor/app/gui/MonitorSheet.h"

#include "monitor/core/Resources.h"
#include "monitor/core/boards/BoardTable.h"
#include "monitor/display/CpuMonitor.h"
#include "monitor/display/HistoryPage.h"
#include "monitor/display/Icons.h"
#include "monitor/display/SysMonitor.h"
#include "monitor/display/VagpMonitor.h"

namespace velmo::app::gui {

using core::Page;

std::vector<TabSpec> TabLayout(int32_t mbModel) {
  std::vector<TabSpec> tabs;
  for (const core::PageTab& tab : core::BoardFor(mbModel).tabs)
    tabs.push_back({tab.page, tab.icon, tab.text});
  return tabs;
}

CMonitorSheet::CMonitorSheet(QWidget* parent) : QTabWidget(parent) {
  setIconSize(QSize(16, 16));
  connect(this, &QTabWidget::currentChanged, this, [this] { CatchUp(); });
}

CMonitorSheet::~CMonitorSheet() = default;

void CMonitorSheet::CreatePages(int32_t mbModel) {
  if (HasPages()) return;
  for (const TabSpec& tab : TabLayout(mbModel)) {
    display::CMonitorPage* widget = nullptr;
    switch (tab.page) {
      case Page::kCpu:
        widget = cpu_ = new display::CCpuMonitor;
        break;
      case Page::kCpu2:
        widget = cpu2_ = new display::CCpuMonitor;
        break;
      case Page::kSystem:
        widget = system_ = new display::CSysMonitor;
        break;
      case Page::kMisc:
        widget = misc_ = new display::CVagpMonitor;
        break;
    }
    const QString text = tab.text ? QString::fromLatin1(tab.text) : widget->windowTitle();
    addTab(widget, display::IconOf(tab.icon), text);
    entries_.push_back({tab.page, widget});
  }
}

void CMonitorSheet::AddHistoryPage(const core::History& history, const core::MonitorState& state) {
  if (history_) return;
  history_ = new display::CHistoryPage(history, state);
  addTab(history_, history_->windowTitle());
}

void CMonitorSheet::SetSlots(const core::PageSlots& s) {
  if (cpu_) cpu_->SetSlots(s.cpu);
  if (cpu2_) cpu2_->SetSlots(s.cpu2);
  if (system_) system_->SetSlots(s.system);
  if (misc_) misc_->SetSlots(s.misc);
}

CMonitorSheet::Entry* CMonitorSheet::Find(Page page) {
  for (Entry& e : entries_)
    if (e.page == page) return &e;
  return nullptr;
}

const CMonitorSheet::Entry* CMonitorSheet::Find(Page page) const {
  for (const Entry& e : entries_)
    if (e.page == page) return &e;
  return nullptr;
}

CMonitorSheet::Entry* CMonitorSheet::Current() {
  for (Entry& e : entries_)
    if (e.widget == currentWidget()) return &e;
  return nullptr;
}

void CMonitorSheet::Redraw(Entry& e) {
  e.stale = false;
  ++e.refreshes;
  e.widget->OnTimer();
}

void CMonitorSheet::Refresh(bool inView) {
  Entry* current = inView ? Current() : nullptr;
  for (Entry& e : entries_) {
    // A page without a window yet takes its slots when it is first shown.
    if (!e.widget->IsInitialised()) continue;
    if (&e == current) {
      Redraw(e);
    } else {
      e.stale = true;
    }
  }
}

void CMonitorSheet::RefreshHistory(bool inView) {
  // Only while it is looked at; shown later, it paints afresh anyway.
  if (history_ && inView && currentWidget() == history_) history_->update();
}

void CMonitorSheet::CatchUp() {
  Entry* current = Current();
  if (current && current->stale && current->widget->IsInitialised() && isVisible())
    Redraw(*current);
}

void CMonitorSheet::ShowPage(Page page) {
  if (Entry* e = Find(page)) setCurrentWidget(e->widget);
}

display::CMonitorPage* CMonitorSheet::PageWidget(core::Page page) const {
  const Entry* e = Find(page);
  return e ? e->widget : nullptr;
}

int CMonitorSheet::RefreshCount(core::Page page) const {
  const Entry* e = Find(page);
  return e ? e->refreshes : 0;
}

}  // namespace velmo::app::gui
