// Running code against an exported kernel tree (sim/KernelTree.h) as if it were the machine's:
// a forked child makes a private mount namespace (unshare(CLONE_NEWNS), every mount private)
// and bind-mounts root/sys/class over /sys/class and root/sys/devices over /sys/devices, where
// /sys stays a sysfs mount, as libsensors insists. The parent's view never changes.
//
// Needs CAP_SYS_ADMIN (root, or a user namespace); where the namespace cannot be made the calls
// throw, so a test fails rather than passes without having looked. A child still running after a
// minute is killed with everything it started, and the call throws.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velmo::test {

// A further bind mount made after the two above, e.g. a folder over /etc/sensors.d or a file
// over /etc/sensors3.conf. The target must exist.
struct BindMount {
  std::filesystem::path source;
  std::filesystem::path target;
};

struct ProgramRun {
  int status = -1;  // the exit code, or 128 + the signal that ended the program
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs argv (looked up in PATH) in the tree and waits for it. Throws std::runtime_error when the
// namespace, a mount or the exec fails.
ProgramRun RunInTree(const std::filesystem::path& root, const std::vector<std::string>& argv,
                     const std::vector<BindMount>& extra = {});

// Runs `fn` in a forked child inside the tree and returns the text it returned. Checks belong in
// the parent, on that text: assertions made in the child are not seen. Throws std::runtime_error
// when the namespace or a mount fails, or when `fn` throws or the child dies (with its message).
std::string RunFunctionInTree(const std::filesystem::path& root,
                              const std::function<std::string()>& fn,
                              const std::vector<BindMount>& extra = {});

}  // namespace velmo::test
