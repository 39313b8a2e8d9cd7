// The single-instance rule: an exclusive lock on a file named after the instance mutex, in a
// folder only this user can write (so nobody else can take the lock first).
#pragma once

#include <cstdint>
#include <string>

#include "monitor/base/Error.h"

namespace velmo::core {

inline constexpr const char* kInstanceMutexName = "{Orlath-Korvath-VELMOND-20010511}";

class InstanceLock {
 public:
  // <dir>/<name>.lock in the first of $XDG_RUNTIME_DIR, /run/user/<uid> and ~/.cache/velmo that
  // belongs to this user and that no one else may write (the last one is made when missing).
  // An error when none qualifies.
  static base::Expected<std::string> DefaultPath();
  explicit InstanceLock(std::string path);
  InstanceLock();  // at DefaultPath()
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  enum class Lock : uint8_t {
    kAcquired,  // this process holds the lock now
    kHeld,      // another instance holds it
  };
  // Who holds the lock, or why the lock file cannot be opened or locked.
  base::Expected<Lock> Acquire();
  void Release();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string pathError_;  // why no default path could be found
  int fd_ = -1;
};

// True when `dir` is a folder of user `uid` that no one else may write.
bool IsPrivateFolder(const std::string& dir, unsigned uid);

}  // namespace velmo::core
