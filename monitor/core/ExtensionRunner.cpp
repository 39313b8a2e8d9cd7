#include "monitor/core/ExtensionRunner.h"

#include "monitor/core/MetricsFile.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {

ExtensionRunner::ExtensionRunner(ExtensionSettings settings, CommandLauncher& launcher,
                                 AlarmCommands::Report report, base::WarningSink warn)
    : settings_(std::move(settings)),
      warn_(std::move(warn)),
      commands_(launcher, std::move(report)) {
  commands_.Configure(settings_.alarmCommand, settings_.alarmEndCommand, warn_);
  if (settings_.showHistory) history_ = std::make_unique<History>();
}

void ExtensionRunner::OnTick(const MonitorState& state, const std::string& boardText) {
  commands_.OnTick(state);
  if (history_) {
    history_->SetInterval(state.params.AutoUpdateInterval);
    history_->Record(state.readings);
  }
  if (!settings_.metricsDir.empty()) {
    std::string error;
    if (WriteMetricsFile(settings_.metricsDir, MetricsText(state, boardText), &error)) {
      lastMetricsError_.clear();
    } else if (error != lastMetricsError_) {
      lastMetricsError_ = error;
      if (warn_) warn_("metrics not written: " + error);
    }
  }
}

}  // namespace velmo::core
