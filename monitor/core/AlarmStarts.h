// Alarm episodes: a channel's alarm starts when it is enabled and its reading out of range where at
// the previous check it was not, and ends when that no longer holds. The desktop notification
// announces each start once; the alarm commands run at starts and ends.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "monitor/core/ChannelTable.h"

namespace velmo::core {

struct MonitorState;

// The starts and ends since the last check.
class AlarmEpisodes {
 public:
  struct Change {
    int channel;
    bool started;  // else ended
  };
  std::vector<Change> Update(const MonitorState& state);

 private:
  std::array<bool, kChannelCount> alarming_{};
};

struct AlarmStart {
  int channel = -1;
  std::string sentence;  // what the tooltip and the alarm dialog say for this channel
  bool operator==(const AlarmStart&) const = default;
};

// The alarms among `changes` that started, in channel order. A start while the alarm switch
// (bAlarm) is off is not returned: the user asked for quiet.
std::vector<AlarmStart> StartsOf(const MonitorState& state,
                                 const std::vector<AlarmEpisodes::Change>& changes);

}  // namespace velmo::core
