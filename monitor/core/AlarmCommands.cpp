#include "monitor/core/AlarmCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "monitor/base/Subprocess.h"
#include "monitor/core/AlarmText.h"
#include "monitor/core/ChannelLabels.h"
#include "monitor/core/MonitorState.h"

namespace velmo::core {

namespace {

std::string InUnit(int item, int32_t value) {
  if (!IsVoltage(item)) return std::to_string(value);
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value / 1000.0);
  return text;
}

}  // namespace

base::Expected<std::vector<std::string>> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < line.size()) {
        word += line[++i];
      } else {
        word += c;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote)
    return base::Error{std::string("unclosed ") + quote + " in the command \"" + line + "\""};
  if (inWord) words.push_back(std::move(word));
  return words;
}

AlarmFacts FactsOf(const MonitorState& s, int item) {
  const ChannelRecord& r = s[item];
  // An end command may run because the channel's sensor went away: no number to give then.
  const bool missing = r.present != 0 && s.noValue[static_cast<size_t>(item)];
  return {ChannelName(item),
          ChannelLabel(item, s.mbModel),
          missing ? std::string("--") : InUnit(item, r.value),
          ChannelUnit(item),
          InUnit(item, r.alarm.upper),
          InUnit(item, r.alarm.lower),
          ComposeStatusText(s, item)};
}

std::vector<std::string> SubstituteWords(const std::vector<std::string>& words,
                                         const AlarmFacts& f) {
  std::vector<std::string> out;
  out.reserve(words.size());
  for (const std::string& word : words) {
    std::string w;
    for (size_t i = 0; i < word.size(); ++i) {
      if (word[i] != '%' || i + 1 == word.size()) {
        w += word[i];
        continue;
      }
      switch (word[++i]) {
        case 'c':
          w += f.channel;
          break;
        case 'l':
          w += f.label;
          break;
        case 'v':
          w += f.value;
          break;
        case 'u':
          w += f.unit;
          break;
        case 'U':
          w += f.upper;
          break;
        case 'L':
          w += f.lower;
          break;
        case 's':
          w += f.sentence;
          break;
        case '%':
          w += '%';
          break;
        default:  // not a placeholder: kept as written
          w += '%';
          w += word[i];
          break;
      }
    }
    out.push_back(std::move(w));
  }
  return out;
}

base::Expected<void> DetachedLauncher::Launch(const std::vector<std::string>& argv) {
  int err = 0;
  base::DetachedOptions options;
  options.outputToStderr = true;
  if (base::SpawnDetached(argv, options, &err)) return {};
  return base::Error{err ? std::strerror(err) : "cannot start a process", err};
}

AlarmCommands::AlarmCommands(CommandLauncher& launcher, Report report)
    : launcher_(launcher), report_(std::move(report)) {}

void AlarmCommands::Configure(const std::string& startCommand, const std::string& endCommand,
                              const base::WarningSink& warn) {
  warn_ = warn;
  auto split = [&warn](const std::string& line, const char* name) {
    if (line.size() > kMaxCommandLength) {
      if (warn)
        warn(std::string(name) + " is off: it is " + std::to_string(line.size()) +
             " bytes long, more than the " + std::to_string(kMaxCommandLength) + " allowed");
      return std::vector<std::string>();
    }
    auto words = SplitCommandLine(line);
    if (!words) {
      if (warn) warn(std::string(name) + " is off: " + words.error().message);
      return std::vector<std::string>();
    }
    return std::move(words).value();
  };
  start_ = split(startCommand, "AlarmCommand");
  end_ = split(endCommand, "AlarmEndCommand");
}

void AlarmCommands::OnChanges(const MonitorState& state,
                              const std::vector<AlarmEpisodes::Change>& changes) {
  clock_ += static_cast<uint64_t>(std::max<int32_t>(state.params.AutoUpdateInterval, 1));
  while (!starts_.empty() && clock_ - starts_.front() >= 60)
    starts_.pop_front();
  if (starts_.size() < kMaxRunsPerMinute) heldBack_ = false;
  for (const AlarmEpisodes::Change& change : changes)
    RunCommand(change.started ? start_ : end_, state, change.channel, change.started);
}

std::string AlarmCommands::NotStartedLine(const Run& run) {
  return std::string(run.start ? "AlarmCommand" : "AlarmEndCommand") + " " +
         (run.argv.empty() ? std::string() : run.argv.front()) +
         " cannot be started: " + run.error + "; not tried again";
}

void AlarmCommands::RunCommand(const std::vector<std::string>& words, const MonitorState& state,
                               int item, bool start) {
  if (words.empty() || failed_.count(words.front())) return;
  if (starts_.size() >= kMaxRunsPerMinute) {
    if (!heldBack_ && warn_)
      warn_("alarm commands held back: more than " + std::to_string(kMaxRunsPerMinute) +
            " in a minute");
    heldBack_ = true;
    return;
  }
  starts_.push_back(clock_);
  Run run{item, start, SubstituteWords(words, FactsOf(state, item)), false, {}};
  const auto launched = launcher_.Launch(run.argv);
  run.started = launched.has_value();
  if (!launched) run.error = launched.error().message;
  if (!run.started) failed_.insert(words.front());
  if (report_) report_(run);
}

}  // namespace velmo::core
