// Running other programs: a command waited for, or a detached process left running on its own.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "monitor/base/Error.h"

namespace velmo::base {

// The NULL-terminated pointer array exec wants, over strings it owns.
struct Argv {
  std::vector<std::string> strings;
  std::vector<char*> pointers;
  explicit Argv(std::vector<std::string> args) : strings(std::move(args)) {
    for (std::string& s : strings)
      pointers.push_back(s.data());
    pointers.push_back(nullptr);
  }
};

// Runs `args` (looked up in PATH) and waits for it. Returns its exit status (-1 when it could not
// run or did not exit normally); its standard output goes to `output` when given.
int RunCommand(std::vector<std::string> args, std::string* output = nullptr);

// Starts `args` (looked up in PATH when the name has no slash) in its own session, re-parented to
// init, with standard input on /dev/null. With a `logPath` standard output goes to /dev/null and
// standard error is appended to the log; with an empty one both stay this process's (its journal
// or terminal). When it cannot be executed the error is the exec's errno and its text; when no
// process could be made at all, "cannot start a process" (with the errno where one applies).
Expected<void> SpawnDetached(std::vector<std::string> args, const std::string& logPath);

// The same with more said about the process. A root caller may hand it to another user.
struct DetachedOptions {
  std::string logPath;  // as for SpawnDetached
  // Exactly these variables, with args[0] a path (no PATH lookup); nullopt: this process's.
  std::optional<std::vector<std::string>> environment;
  struct User {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;  // supplementary
  };
  // Set before the exec; the process does not start when it cannot drop to them for good.
  std::optional<User> runAs;
  std::string workDir;  // "/" when it cannot be entered; empty: this process's
  // Without a logPath: standard output goes where this process's standard error goes.
  bool outputToStderr = false;
};
Expected<void> SpawnDetached(std::vector<std::string> args, const DetachedOptions& options);

}  // namespace velmo::base
