// Running other programs: a command waited for, or a detached process left running on its own.
#pragma once

#include <string>
#include <vector>

namespace velmo::hw {

// Runs `args` (looked up in PATH) and waits for it. Returns its exit status (-1 when it could not
// run or did not exit normally); its standard output goes to `output` when given.
int RunCommand(std::vector<std::string> args, std::string* output = nullptr);

// Starts `args` in its own session, re-parented to init, with standard input and output on
// /dev/null and standard error appended to `logPath` (or /dev/null). False when it cannot be
// executed.
bool SpawnDetached(std::vector<std::string> args, const std::string& logPath);

}  // namespace velmo::hw
