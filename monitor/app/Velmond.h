// The velmond program: command line, start-up (single instance, hardware back-end, frame) and
// the headless monitoring loop.
#pragma once

#include <optional>
#include <ostream>

#include "monitor/app/Options.h"

namespace velmo::app {

// Parses the command line; returns nullopt after printing help or an error (`exitCode` set).
std::optional<Options> ParseOptions(int argc, char** argv, int* exitCode);
// Runs the headless monitor (the window host is its own program, GuiProgram.h); returns the
// process exit code.
int RunVelmond(const Options& options, std::ostream& out);

}  // namespace velmo::app
