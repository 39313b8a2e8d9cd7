// Runs the velmond program as a separate process and collects its event lines.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velmo::test {

inline std::string VelmondPath() {
  return std::string(VELMO_BINARY_DIR) + "/monitor/app/velmond";
}

// A private folder per test for the settings, the lock and the board files.
struct Sandbox {
  std::filesystem::path dir;
  explicit Sandbox(const std::string& name) {
    dir = std::filesystem::path(testing::TempDir()) /
          ("velmo-e2e-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "config");
    std::filesystem::create_directories(dir / "runtime");
  }
  ~Sandbox() { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir / name) << text;
    return (dir / name).string();
  }
  std::string Registry() const { return (dir / "config" / "velmo" / "registry.reg").string(); }
};

struct RunResult {
  int exitCode = -1;
  std::vector<nlohmann::json> events;
  std::string output;
  std::string errors;  // what the program wrote to standard error
  std::vector<nlohmann::json> Of(const std::string& kind) const {
    std::vector<nlohmann::json> out;
    for (const auto& e : events)
      if (e.value("event", "") == kind) out.push_back(e);
    return out;
  }
};

class Velmond {
 public:
  Velmond(const Sandbox& box, std::vector<std::string> args,
          const std::map<std::string, std::string>& env = {}) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    errPath_ = (box.dir / ("stderr-" + std::to_string(++Runs()))).string();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], 1);
      const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (err >= 0) ::dup2(err, 2);
      ::close(fds[0]);
      ::close(fds[1]);
      ::setenv("XDG_CONFIG_HOME", (box.dir / "config").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", (box.dir / "runtime").c_str(), 1);
      ::setenv("HOME", box.dir.c_str(), 1);
      ::setenv("VELMO_PREFIX", (box.dir / "prefix").c_str(), 1);
      for (const auto& [name, value] : env)
        ::setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv;
      std::string path = VelmondPath();
      argv.push_back(path.data());
      for (auto& a : args)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    out_ = ::fdopen(fds[0], "r");
  }
  ~Velmond() {
    if (pid_ > 0 && !done_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  // Reads event lines until one of `kind` arrives (or the output ends).
  bool WaitFor(const std::string& kind) {
    char* line = nullptr;
    size_t cap = 0;
    bool found = false;
    while (!found && out_ && ::getline(&line, &cap, out_) > 0) {
      found = Take(line) == kind;
    }
    ::free(line);
    return found;
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  pid_t Pid() const { return pid_; }
  RunResult Wait() {
    char* line = nullptr;
    size_t cap = 0;
    while (out_ && ::getline(&line, &cap, out_) > 0)
      Take(line);
    ::free(line);
    if (out_) ::fclose(out_);
    out_ = nullptr;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    done_ = true;
    run_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream err(errPath_);
    run_.errors.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return run_;
  }

 private:
  std::string Take(const char* line) {
    run_.output += line;
    auto e = nlohmann::json::parse(line, nullptr, false);
    if (e.is_discarded()) return "";
    run_.events.push_back(e);
    return e.value("event", "");
  }
  static int& Runs() {
    static int runs = 0;
    return runs;
  }
  pid_t pid_ = -1;
  std::string errPath_;
  FILE* out_ = nullptr;
  bool done_ = false;
  RunResult run_;
};

// True once process `pid` holds a flock on the file at `path` (read from /proc/locks, so that
// looking takes no lock that could make the program find "another instance").
inline bool LockHeldBy(pid_t pid, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, device;
    long holder = 0;
    if (!(fields >> number >> kind >> mode >> access >> holder >> device) || kind != "FLOCK" ||
        holder != pid)
      continue;
    const size_t colon = device.rfind(':');
    if (colon != std::string::npos &&
        std::strtoull(device.c_str() + colon + 1, nullptr, 10) == st.st_ino)
      return true;
  }
  return false;
}

// Waits up to ten seconds for LockHeldBy.
inline bool WaitForLockHeldBy(pid_t pid, const std::string& path) {
  for (int i = 0; i < 50000; ++i) {
    if (LockHeldBy(pid, path)) return true;
    ::usleep(200);
  }
  return false;
}

inline RunResult RunVelmond(const Sandbox& box, std::vector<std::string> args,
                            const std::map<std::string, std::string>& env = {}) {
  return Velmond(box, std::move(args), env).Wait();
}

}  // namespace velmo::test
