#include "monitor/core/AlarmStarts.h"

#include "monitor/core/AlarmText.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {

std::vector<AlarmEpisodes::Change> AlarmEpisodes::Update(const MonitorState& state) {
  std::vector<Change> changes;
  for (int item = 0; item < kChannelCount; ++item) {
    const ChannelRecord& r = state[item];
    // A channel without a reading has nothing out of range: its alarm ends until it reads again.
    const bool alarming =
        r.alarm.enabled != 0 && r.outOfRange != 0 && !state.noValue[static_cast<size_t>(item)];
    bool& was = alarming_[static_cast<size_t>(item)];
    if (alarming != was) changes.push_back({item, alarming});
    was = alarming;
  }
  return changes;
}

std::vector<AlarmStart> StartsOf(const MonitorState& state,
                                 const std::vector<AlarmEpisodes::Change>& changes) {
  std::vector<AlarmStart> started;
  for (const AlarmEpisodes::Change& change : changes) {
    if (change.started && state.params.bAlarm != 0)
      started.push_back({change.channel, ComposeStatusText(state, change.channel)});
  }
  return started;
}

}  // namespace velmo::core
