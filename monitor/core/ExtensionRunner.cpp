#include "monitor/core/ExtensionRunner.h"

#include "monitor/core/MetricsFile.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {

ExtensionRunner::ExtensionRunner(ExtensionSettings settings, CommandLauncher& launcher,
                                 base::WarningSink warn)
    : settings_(std::move(settings)), commands_(launcher, [this](const AlarmCommands::Run& run) {
        if (outcome_) outcome_->runs.push_back(run);
      }) {
  commands_.Configure(settings_.alarmCommand, settings_.alarmEndCommand, warn);
  if (settings_.showHistory) history_ = std::make_unique<History>();
}

ExtensionRunner::Outcome ExtensionRunner::OnTick(const MonitorState& state,
                                                 const std::string& boardText,
                                                 const std::vector<AlarmEpisodes::Change>& changes,
                                                 uint32_t updatePeriodMs) {
  Outcome outcome;
  outcome_ = &outcome;
  commands_.OnChanges(state, changes);
  outcome_ = nullptr;
  if (history_) {
    history_->SetInterval(static_cast<int32_t>(updatePeriodMs / 1000));
    history_->Record(state.readings, state.noValue);
  }
  if (!settings_.metricsDir.empty()) {
    const auto written = WriteMetricsFile(settings_.metricsDir, MetricsText(state, boardText));
    if (written) {
      lastMetricsError_.clear();
    } else if (written.error().message != lastMetricsError_) {
      lastMetricsError_ = written.error().message;
      outcome.warnings.push_back("metrics not written: " + lastMetricsError_);
    }
  }
  return outcome;
}

}  // namespace velmo::core
