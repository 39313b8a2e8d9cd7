// Which alarms have just started: a channel whose alarm is enabled and whose reading is out of
// range, where at the previous check it was not. The desktop notification announces each start
// once and stays quiet until the channel has recovered.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "monitor/core/ChannelTable.h"

namespace velmo::core {

struct MonitorState;

struct AlarmStart {
  int channel = -1;
  std::string sentence;  // what the tooltip and the alarm dialog say for this channel
  bool operator==(const AlarmStart&) const = default;
};

class AlarmStarts {
 public:
  // The alarms that started since the last check, in channel order. A start while the alarm
  // switch (bAlarm) is off is taken note of but not returned: the user asked for quiet.
  std::vector<AlarmStart> Check(const MonitorState& state);

 private:
  std::array<bool, kChannelCount> alarming_{};
};

}  // namespace velmo::core
