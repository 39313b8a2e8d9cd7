// Another user on the same machine, for tests run as root: `RunAs` runs a function in a forked
// child that has dropped to that user for good, as someone planting files would.
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace velmo::test {

inline constexpr uid_t kOtherUid = 1000;
inline constexpr gid_t kOtherGid = 1000;

// True when `body` ran as `uid`/`gid` and returned true.
inline bool RunAs(const std::function<bool()>& body, uid_t uid = kOtherUid, gid_t gid = kOtherGid) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(2);
    ::_exit(body() ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs `body` in a forked child and gives it `limit` to finish: false when it did not (it is
// killed) or returned false. Code that could block for good is tried this way.
inline bool FinishesWithin(std::chrono::milliseconds limit, const std::function<bool()>& body) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) ::_exit(body() ? 0 : 1);
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A process number that no process has: a child that has ended and been reaped.
inline pid_t DeadPid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return pid;
}

}  // namespace velmo::test
