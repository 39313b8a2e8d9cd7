// Renders the monitor pages for a set of display slots into images and PNG files.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <ctime>
#include <optional>

#include "monitor/core/PageSlots.h"
#include "monitor/display/MonitorPage.h"

namespace velmo::display {

struct RenderOptions {
  std::optional<std::time_t> clockTime;  // the clock's time; the system clock when empty
};

// The page as the host shows it: initialised (with its current slots), refreshed once, drawn.
QImage RenderPage(CMonitorPage& page);

// Writes cpu.png, cpu2.png (board model 4 only, judged by the CPU page's slots), system.png and
// misc.png into outDir, creating it if needed. Returns the paths written; on failure an empty list
// and a message in error.
QStringList RenderPages(const core::PageSlots& pageSlots, const QString& outDir,
                        const RenderOptions& options = {}, QString* error = nullptr);

}  // namespace velmo::display
