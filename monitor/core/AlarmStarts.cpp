#include "monitor/core/AlarmStarts.h"

#include "monitor/core/AlarmText.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {

std::vector<AlarmStart> AlarmStarts::Check(const MonitorState& state) {
  std::vector<AlarmStart> started;
  for (int item = 0; item < kChannelCount; ++item) {
    const ChannelRecord& r = state[item];
    const bool alarming = r.alarm.enabled != 0 && r.outOfRange != 0;
    bool& was = alarming_[static_cast<size_t>(item)];
    if (alarming && !was && state.params.bAlarm != 0)
      started.push_back({item, ComposeStatusText(state.readings, item)});
    was = alarming;
  }
  return started;
}

}  // namespace velmo::core
