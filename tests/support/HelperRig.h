// Test support for the helper services: temporary device directories, helper programs started
// on them and stopped again, raw datagram exchanges and recorded logs.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "monitor/hw/DriverBackend.h"
#include "monitor/protocol/DriverProtocol.h"

extern char** environ;

namespace velmo::test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmo-drv-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(File(name)) << text;
    return File(name);
  }

 private:
  std::string path_;
};

// VELMO_DEVICE_DIR pointed at a directory for the lifetime of the object.
class DeviceDirScope {
 public:
  explicit DeviceDirScope(const std::string& dir) {
    if (const char* old = std::getenv("VELMO_DEVICE_DIR")) old_ = old;
    ::setenv("VELMO_DEVICE_DIR", dir.c_str(), 1);
  }
  ~DeviceDirScope() {
    if (old_.empty())
      ::unsetenv("VELMO_DEVICE_DIR");
    else
      ::setenv("VELMO_DEVICE_DIR", old_.c_str(), 1);
  }

 private:
  std::string old_;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits up to `limit` for `condition`, polling every 10 ms.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A helper program running on `deviceDir` with its standard error in `logPath`; stopped with
// SIGTERM when the object goes.
class HelperProcess {
 public:
  HelperProcess(const std::string& program, std::vector<std::string> args,
                const std::string& deviceDir, const std::string& logPath,
                std::vector<std::string> extraEnv = {})
      : logPath_(logPath) {
    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
      if (std::string(*e).rfind("VELMO_DEVICE_DIR=", 0) != 0) envStrings.push_back(*e);
    }
    envStrings.push_back("VELMO_DEVICE_DIR=" + deviceDir);
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> argv, envp;
    for (auto& s : argStrings)
      argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : envStrings)
      envp.push_back(s.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~HelperProcess() { Stop(); }

  // Waits for the helper's socket `device` to accept connections (in the device directory of
  // this process's environment); false if it never does.
  bool WaitReady(const char* device) {
    return pid_ > 0 && WaitFor([&] { return hw::DeviceConnection::Open(device).has_value(); });
  }
  // SIGTERM and wait; the exit status (-1 when not running or killed by a signal).
  int Stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Waits for the helper to end by itself; its exit status, or -1.
  int Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Log() const { return ReadText(logPath_); }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string logPath_;
};

}  // namespace velmo::test
