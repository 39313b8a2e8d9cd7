// What the extensions do on every tick, for either host: the alarm commands, the metrics file and
// the history. Built from the extension settings; with all of them off it does nothing at all.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "monitor/base/Warning.h"
#include "monitor/core/AlarmCommands.h"
#include "monitor/core/ExtensionSettings.h"
#include "monitor/core/History.h"

namespace velmo::core {

struct MonitorState;

class ExtensionRunner {
 public:
  ExtensionRunner(ExtensionSettings settings, CommandLauncher& launcher,
                  AlarmCommands::Report report, base::WarningSink warn);

  // After every tick.
  void OnTick(const MonitorState& state, const std::string& boardText);

  const ExtensionSettings& Settings() const { return settings_; }
  // Kept only with ShowHistory.
  const History* GetHistory() const { return history_ ? &*history_ : nullptr; }

 private:
  ExtensionSettings settings_;
  base::WarningSink warn_;
  AlarmCommands commands_;
  std::unique_ptr<History> history_;
  std::string lastMetricsError_;  // said once until it changes
};

}  // namespace velmo::core
