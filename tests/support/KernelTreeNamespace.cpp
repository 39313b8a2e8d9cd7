#include "tests/support/KernelTreeNamespace.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace velmo::test {
namespace {

namespace fs = std::filesystem;

struct Pipe {
  int read = -1;
  int write = -1;
};

Pipe MakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  return {fds[0], fds[1]};
}

constexpr std::chrono::seconds kTimeLimit{60};

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// In the child: the private namespace and the mounts. Empty on success, else what failed.
std::string EnterTree(const fs::path& root, const std::vector<BindMount>& extra) {
  if (::unshare(CLONE_NEWNS) != 0) return Errno("unshare(CLONE_NEWNS)");
  // Private all the way down, so nothing mounted here reaches the parent's namespace.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return Errno("making / private");
  std::vector<BindMount> binds = {{root / "sys/class", "/sys/class"},
                                  {root / "sys/devices", "/sys/devices"}};
  binds.insert(binds.end(), extra.begin(), extra.end());
  for (const BindMount& b : binds) {
    if (::mount(b.source.c_str(), b.target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
      return Errno("bind-mounting " + b.source.string() + " over " + b.target.string());
  }
  return {};
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Reads every descriptor to its end at once (a child may fill one pipe while the parent waits
// on another) and closes them. Past kTimeLimit the child's process group is killed, so a
// program that never ends cannot hang the test; false then.
bool DrainAll(pid_t child, const std::vector<int>& fds, std::vector<std::string>* texts) {
  texts->assign(fds.size(), std::string());
  std::vector<pollfd> open;
  for (int fd : fds)
    open.push_back({fd, POLLIN, 0});
  size_t remaining = open.size();
  const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
  bool inTime = true;
  while (remaining > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int ready =
        left.count() > 0 ? ::poll(open.data(), open.size(), static_cast<int>(left.count())) : 0;
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      ::kill(-child, SIGKILL);
      inTime = false;
      break;
    }
    for (size_t i = 0; i < open.size(); ++i) {
      if (open[i].fd < 0 || open[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(open[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (*texts)[i].append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(open[i].fd);
        open[i].fd = -1;
        --remaining;
      }
    }
  }
  for (const pollfd& p : open) {
    if (p.fd >= 0) ::close(p.fd);
  }
  return inTime;
}

int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

pid_t Fork() {
  std::fflush(nullptr);  // nothing buffered in the parent is written twice
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error(Errno("fork"));
  if (pid == 0) ::setpgid(0, 0);  // a group of its own: a timeout kills what it started too
  return pid;
}

}  // namespace

ProgramRun RunInTree(const fs::path& root, const std::vector<std::string>& argv,
                     const std::vector<BindMount>& extra) {
  if (argv.empty()) throw std::invalid_argument("RunInTree: no program");
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const Pipe out = MakePipe(), err = MakePipe(), control = MakePipe();
  const pid_t pid = Fork();
  if (pid == 0) {
    ::close(out.read);
    ::close(err.read);
    ::close(control.read);
    const std::string failed = EnterTree(root, extra);
    if (!failed.empty()) {
      WriteAll(control.write, failed);
      ::_exit(111);
    }
    ::dup2(out.write, STDOUT_FILENO);
    ::dup2(err.write, STDERR_FILENO);
    ::execvp(args[0], args.data());
    WriteAll(control.write, Errno("exec " + argv[0]));  // the control pipe closes on exec
    ::_exit(127);
  }
  ::close(out.write);
  ::close(err.write);
  ::close(control.write);
  std::vector<std::string> texts;
  const bool inTime = DrainAll(pid, {out.read, err.read, control.read}, &texts);
  ProgramRun run;
  run.status = Wait(pid);
  if (!inTime) throw std::runtime_error("RunInTree: " + argv[0] + " did not end within a minute");
  if (!texts[2].empty()) throw std::runtime_error("RunInTree: " + texts[2]);
  run.out = std::move(texts[0]);
  run.err = std::move(texts[1]);
  return run;
}

std::string RunFunctionInTree(const fs::path& root, const std::function<std::string()>& fn,
                              const std::vector<BindMount>& extra) {
  const Pipe result = MakePipe(), control = MakePipe();
  const pid_t pid = Fork();
  if (pid == 0) {
    ::close(result.read);
    ::close(control.read);
    const std::string failed = EnterTree(root, extra);
    if (!failed.empty()) {
      WriteAll(control.write, failed);
      ::_exit(111);
    }
    try {
      WriteAll(result.write, fn());
      ::_exit(0);
    } catch (const std::exception& e) {
      WriteAll(control.write, std::string("the function threw: ") + e.what());
    } catch (...) {
      WriteAll(control.write, "the function threw");
    }
    ::_exit(112);
  }
  ::close(result.write);
  ::close(control.write);
  std::vector<std::string> texts;
  const bool inTime = DrainAll(pid, {result.read, control.read}, &texts);
  const int status = Wait(pid);
  if (!inTime)
    throw std::runtime_error("RunFunctionInTree: the function did not end within a minute");
  if (!texts[1].empty()) throw std::runtime_error("RunFunctionInTree: " + texts[1]);
  if (status != 0)
    throw std::runtime_error("RunFunctionInTree: the child ended with status " +
                             std::to_string(status));
  return texts[0];
}

}  // namespace velmo::test
