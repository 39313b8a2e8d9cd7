// What one step of the frame changed (its creation, a tick, a command, its end), handed to the
// host in one piece: the host renders it and asks nothing back. The headless event stream is
// this report written out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "monitor/core/AlarmCommands.h"
#include "monitor/core/AlarmStarts.h"
#include "monitor/core/PageSlots.h"

namespace velmo::core {

class History;
struct MonitorState;

enum class Page { kCpu, kCpu2, kSystem, kMisc };
const char* PageName(Page page);

// The notification-area icon: icon 0 is no icon; the tooltip has at most 63 characters.
struct TrayView {
  int32_t icon = 0;
  std::string tooltip;
  bool operator==(const TrayView&) const = default;
};

// The modeless alarm dialog as it opens: its preselected action and its condition text.
struct AlarmDialogView {
  int32_t action = 0;
  std::string condition;
  bool operator==(const AlarmDialogView&) const = default;
};

// How the frame ended: the exit code, and whether the settings were saved (and why not).
struct FrameEnd {
  int exitCode = 0;
  bool saved = false;
  std::string notSavedReason;  // empty when saved
};

struct FrameReport {
  // ---- What the frame shows now (every report) ----
  uint64_t tick = 0;
  std::string status;
  bool alarmActive = false;
  int32_t currentAlarmChannel = -1;
  PageSlots pages;             // the pages' display slots
  uint32_t timerPeriodMs = 0;  // the update timer's period; 0 while it is stopped
  // Valid while the host renders: the readings and settings behind this report, and the
  // history extension's rings (null when it is off).
  const MonitorState* state = nullptr;
  const History* history = nullptr;

  // ---- What happened in this step, in the order a host shows it ----
  std::optional<int32_t> createPages;  // the pages of this board model, once, at creation
  bool hideFrame = false;
  bool closeAlarmDialog = false;
  std::optional<Page> showPage;  // make it the active page, show and raise the frame
  std::optional<AlarmDialogView> openAlarmDialog;
  std::optional<TrayView> tray;         // the icon was set in this step (icon 0: removed)
  bool timerSet = false;                // the timer was (re)started or stopped in this step
  bool ticked = false;                  // a tick ran: the pages refresh
  std::vector<AlarmStart> alarmStarts;  // alarms that started on this tick
  std::vector<AlarmCommands::Run> alarmCommands;  // the alarm commands this tick ran
  std::vector<std::string> warnings;              // what the extensions had to say on this tick
  std::optional<FrameEnd> end;                    // the frame is gone: the program ends
};

}  // namespace velmo::core
