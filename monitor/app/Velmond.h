// The velmond program: command line, start-up (single instance, hardware back-end, frame) and
// the headless monitoring loop.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
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

// Parses the command line; returns nullopt after printing help or an error (`exitCode` set).
std::optional<Options> ParseOptions(int argc, char** argv, int* exitCode);
// Runs the headless monitor (the window host is its own program, GuiProgram.h); returns the
// process exit code.
int RunVelmond(const Options& options, std::ostream& out);

}  // namespace velmo::app
