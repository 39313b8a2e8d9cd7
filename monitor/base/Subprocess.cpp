#include "monitor/base/Subprocess.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmo::base {

int RunCommand(std::vector<std::string> args, std::string* output) {
  Argv argv(std::move(args));
  int pipeFds[2] = {-1, -1};
  if (output && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid < 0) {
    if (output) {
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
    }
    return -1;
  }
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(output ? pipeFds[1] : null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execvp(argv.pointers[0], argv.pointers.data());
    ::_exit(127);
  }
  if (output) {
    ::close(pipeFds[1]);
    output->clear();
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
      if (n > 0) output->append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

Error NotStarted(int code = 0) {
  return Error{"cannot start a process", code};
}

}  // namespace

Expected<void> SpawnDetached(std::vector<std::string> args, const std::string& logPath) {
  DetachedOptions options;
  options.logPath = logPath;
  return SpawnDetached(std::move(args), options);
}

Expected<void> SpawnDetached(std::vector<std::string> args, const DetachedOptions& options) {
  if (args.empty()) return NotStarted();
  // Everything the child needs is prepared here: after fork only system calls are made.
  Argv argv(std::move(args));
  std::optional<Argv> envp;
  if (options.environment) envp.emplace(*options.environment);
  const DetachedOptions::User* user = options.runAs ? &*options.runAs : nullptr;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return NotStarted(errno);
  const pid_t child = ::fork();
  if (child < 0) {
    const int forkError = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return NotStarted(forkError);
  }
  if (child == 0) {
    // Only async-signal-safe calls from here to exec: the monitor may run several threads.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    int error = 0;
    if (user && (::setgroups(user->groups.size(), user->groups.data()) != 0 ||
                 ::setgid(user->gid) != 0 || ::setuid(user->uid) != 0 || ::setuid(0) == 0)) {
      error = EPERM;
    }
    if (error == 0) {
      if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) (void)!::chdir("/");
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, STDIN_FILENO);
      if (!options.logPath.empty()) {
        // No link followed, no FIFO waited on: whatever else is there, the log is /dev/null.
        int log = ::open(options.logPath.c_str(),
                         O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (log < 0) log = null;
        ::dup2(null, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
      } else if (options.outputToStderr) {
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
      }
      ::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);  // nothing of this process leaks into it
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      for (int signal : {SIGTERM, SIGINT, SIGPIPE, SIGCHLD, SIGHUP})
        ::signal(signal, SIG_DFL);
      if (envp)
        ::execve(argv.pointers[0], argv.pointers.data(), envp->pointers.data());
      else
        ::execvp(argv.pointers[0], argv.pointers.data());
      error = errno;
    }
    (void)!::write(pipeFds[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes at a successful exec; an errno arrives when exec failed.
  int error = 0;
  ssize_t n;
  while ((n = ::read(pipeFds[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(pipeFds[0]);
  if (n > 0 && error != 0) return Error{std::strerror(error), error};
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || n != 0) return NotStarted();
  return {};
}

}  // namespace velmo::base
