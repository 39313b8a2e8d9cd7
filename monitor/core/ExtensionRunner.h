// What the extensions do on every tick: the alarm commands, the metrics file and the history.
// Built from the extension settings; with all of them off it does nothing at all. The frame runs
// it once a tick, for either host.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/base/Warning.h"
#include "monitor/core/AlarmCommands.h"
#include "monitor/core/ExtensionSettings.h"
#include "monitor/core/History.h"

namespace velmo::core {

struct MonitorState;

class ExtensionRunner {
 public:
  // What one tick of the extensions did: the commands run and what there is to say.
  struct Outcome {
    std::vector<AlarmCommands::Run> runs;
    std::vector<std::string> warnings;
  };

  // `warn` hears what is wrong with the settings themselves (a command line that cannot be
  // split), at once.
  ExtensionRunner(ExtensionSettings settings, CommandLauncher& launcher, base::WarningSink warn);

  // After every tick: the alarm episodes that started or ended, and the period the update
  // interval gives the timer (the history's rings span an hour of it).
  Outcome OnTick(const MonitorState& state, const std::string& boardText,
                 const std::vector<AlarmEpisodes::Change>& changes, uint32_t updatePeriodMs);

  const ExtensionSettings& Settings() const { return settings_; }
  // Kept only with ShowHistory.
  const History* GetHistory() const { return history_ ? &*history_ : nullptr; }

 private:
  ExtensionSettings settings_;
  Outcome* outcome_ = nullptr;  // the tick's, while it runs
  AlarmCommands commands_;
  std::unique_ptr<History> history_;
  std::string lastMetricsError_;  // said once until it changes
};

}  // namespace velmo::core
