// Commands run when a channel's alarm starts and when it ends (the AlarmCommand and
// AlarmEndCommand extensions): split into words without a shell, the placeholders replaced word
// by word, started detached so that no tick waits for them.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "monitor/base/Error.h"
#include "monitor/base/Warning.h"
#include "monitor/core/AlarmStarts.h"
#include "monitor/core/ChannelTable.h"

namespace velmo::core {

struct MonitorState;

// Splits a command line into words: blanks separate them, "..." and '...' keep blanks inside a
// word, a backslash keeps the next character. An error for an unclosed quote.
base::Expected<std::vector<std::string>> SplitCommandLine(const std::string& line);

// What the placeholders stand for: %c channel name, %l the label the pages use, %v the value in
// its unit ("--" for a channel without a reading), %u the unit, %U and %L the limits, %s the
// alarm sentence, %% a percent sign.
struct AlarmFacts {
  std::string channel, label, value, unit, upper, lower, sentence;
};
AlarmFacts FactsOf(const MonitorState& state, int item);
std::vector<std::string> SubstituteWords(const std::vector<std::string>& words,
                                         const AlarmFacts& facts);

// Starts a command detached, or says why it cannot be started.
class CommandLauncher {
 public:
  virtual ~CommandLauncher() = default;
  virtual base::Expected<void> Launch(const std::vector<std::string>& argv) = 0;
};
// The real one: its own session, standard output and error both on the monitor's standard
// error: the headless event stream on standard output stays the monitor's alone, and a command
// that outlives the monitor holds no pipe that a reader of the events waits on.
class DetachedLauncher : public CommandLauncher {
 public:
  base::Expected<void> Launch(const std::vector<std::string>& argv) override;
};

// Runs the start command when an enabled channel goes
// out of range, the end command when it comes back (or its alarm is switched off): once each per
// alarm episode. A command that cannot be started is reported once and not tried again.
// A reading that flaps around a limit cannot start a flood: at most kMaxRunsPerMinute commands
// (start and end together) start within any minute of the monitor's clock (a tick is one update
// interval); the rest are skipped, said once per such minute.
class AlarmCommands {
 public:
  static constexpr size_t kMaxCommandLength = 4096;  // bytes of a command line as stored
  static constexpr size_t kMaxRunsPerMinute = 10;

  struct Run {
    int channel;
    bool start;  // the start command, or the end command
    std::vector<std::string> argv;
    bool started;
    std::string error;  // why it did not start (the first time only)
  };
  using Report = std::function<void(const Run&)>;

  // The log line of a run that did not start.
  static std::string NotStartedLine(const Run& run);

  AlarmCommands(CommandLauncher& launcher, Report report);
  // Empty: off. A line that cannot be split, or longer than kMaxCommandLength, is reported
  // through `warn` (which also hears of commands held back) and stays off.
  void Configure(const std::string& startCommand, const std::string& endCommand,
                 const base::WarningSink& warn);
  // Runs the commands of the episodes that started or ended (AlarmEpisodes::Update).
  void OnChanges(const MonitorState& state, const std::vector<AlarmEpisodes::Change>& changes);

 private:
  void RunCommand(const std::vector<std::string>& words, const MonitorState& state, int item,
                  bool start);

  CommandLauncher& launcher_;
  Report report_;
  std::vector<std::string> start_, end_;
  std::set<std::string> failed_;  // program names that could not be started
  base::WarningSink warn_;
  uint64_t clock_ = 0;           // seconds of monitor time: the update intervals of the ticks
  std::deque<uint64_t> starts_;  // when the commands of the last minute started
  bool heldBack_ = false;        // the current minute's skipping has been said
};

}  // namespace velmo::core
