// Running other programs: a command waited for, or a detached process left running on its own.
#pragma once

#include <string>
#include <vector>

namespace velmo::hw {

// Runs `args` (looked up in PATH) and waits for it. Returns its exit status (-1 when it could not
// run or did not exit normally); its standard output goes to `output` when given.
int RunCommand(std::vector<std::string> args, std::string* output = nullptr);

// Starts `args` (looked up in PATH when the name has no slash) in its own session, re-parented to
// init, with standard input on /dev/null. With a `logPath` standard output goes to /dev/null and
// standard error is appended to the log; with an empty one both stay this process's (its journal
// or terminal). False when it cannot be executed, with the exec's errno in `execError`.
bool SpawnDetached(std::vector<std::string> args, const std::string& logPath,
                   int* execError = nullptr);

}  // namespace velmo::hw
