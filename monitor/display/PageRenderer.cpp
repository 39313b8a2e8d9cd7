#include "monitor/display/PageRenderer.h"

#include <QDir>
#include <QPixmap>
#include <memory>
#include <utility>
#include <vector>

#include "monitor/core/boards/BoardTable.h"
#include "monitor/display/CpuMonitor.h"
#include "monitor/display/SysMonitor.h"
#include "monitor/display/VagpMonitor.h"

namespace velmo::display {

QImage RenderPage(CMonitorPage& page) {
  page.InitDialog();
  page.OnTimer();
  return page.grab().toImage();
}

QStringList RenderPages(const core::PageSlots& pageSlots, const QString& outDir,
                        const RenderOptions& options, QString* error) {
  if (!QDir().mkpath(outDir)) {
    if (error) *error = QStringLiteral("cannot create %1").arg(outDir);
    return {};
  }
  std::vector<std::pair<QString, std::unique_ptr<CMonitorPage>>> pages;
  auto cpu = std::make_unique<CCpuMonitor>();
  cpu->SetSlots(pageSlots.cpu);
  pages.emplace_back("cpu", std::move(cpu));
  if (core::BoardFor(pageSlots.cpu.mbModel).hasCpu2) {
    auto cpu2 = std::make_unique<CCpuMonitor>();
    cpu2->SetSlots(pageSlots.cpu2);
    pages.emplace_back("cpu2", std::move(cpu2));
  }
  auto system = std::make_unique<CSysMonitor>();
  system->SetSlots(pageSlots.system);
  pages.emplace_back("system", std::move(system));
  auto misc = std::make_unique<CVagpMonitor>();
  misc->SetSlots(pageSlots.misc);
  if (options.clockTime) {
    const std::time_t t = *options.clockTime;
    misc->SetClock([t] { return t; });
  }
  pages.emplace_back("misc", std::move(misc));

  QStringList written;
  for (auto& [name, page] : pages) {
    const QString path = QDir(outDir).filePath(name + ".png");
    if (!RenderPage(*page).save(path, "PNG")) {
      if (error) *error = QStringLiteral("cannot write %1").arg(path);
      return {};
    }
    written << path;
  }
  return written;
}

}  // namespace velmo::display
