// What velmond's command line asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmo::app {

struct Options {
  bool headless = false;
  std::string board;     // simulated board file; empty: the real machine
  std::string registry;  // settings file; empty: the default
  bool direct = false;
  bool driver = false;
  std::optional<int64_t> ticks;
  bool answerYes = false;
  bool confirmAlarm = false;
  bool dryRunPower = false;
};

}  // namespace velmo::app
