// The single-instance rule: an exclusive lock on a file named after the instance mutex.
#pragma once

#include <string>

namespace velmo::core {

inline constexpr const char* kInstanceMutexName = "{Orlath-Korvath-VELMOND-20010511}";

class InstanceLock {
 public:
  // $XDG_RUNTIME_DIR/<name>.lock, else /tmp/<name>-<uid>.lock.
  static std::string DefaultPath();
  explicit InstanceLock(std::string path = DefaultPath());
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this process now holds the lock; false when another instance holds it. A lock
  // file that cannot be created at all is reported in `error` and also gives false.
  bool Acquire(std::string* error = nullptr);
  void Release();

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace velmo::core
