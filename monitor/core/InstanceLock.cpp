#include "monitor/core/InstanceLock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "monitor/base/AtomicFile.h"

namespace velmo::core {

bool IsPrivateFolder(const std::string& dir, unsigned uid) {
  struct stat st;
  return !dir.empty() && dir.front() == '/' && ::lstat(dir.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

base::Expected<std::string> InstanceLock::DefaultPath() {
  const unsigned uid = ::geteuid();
  const std::string file = std::string("/") + kInstanceMutexName + ".lock";
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && IsPrivateFolder(runtime, uid)) return runtime + file;
  const std::string userRun = "/run/user/" + std::to_string(uid);
  if (IsPrivateFolder(userRun, uid)) return userRun + file;
  // No runtime folder of our own (a session without logind, sudo): the user's cache folder,
  // not /tmp, where anyone could make and lock the file first.
  const char* home = std::getenv("HOME");
  std::string homeDir = home && *home ? home : "";
  if (homeDir.empty()) {
    if (const passwd* pw = ::getpwuid(uid)) homeDir = pw->pw_dir;
  }
  const std::string cache = homeDir + "/.cache/velmo";
  if (!homeDir.empty() && base::MakeDirs(cache, 0700) && IsPrivateFolder(cache, uid))
    return cache + file;
  return base::Error{"no folder of this user's own for the instance lock (XDG_RUNTIME_DIR, " +
                     userRun + ", " + cache + ")"};
}

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::InstanceLock() {
  auto path = DefaultPath();
  if (path)
    path_ = std::move(path).value();
  else
    pathError_ = path.error().message;
}

InstanceLock::~InstanceLock() {
  Release();
}

base::Expected<InstanceLock::Lock> InstanceLock::Acquire() {
  if (fd_ >= 0) return Lock::kAcquired;
  auto fail = [this](int err) { return base::Error{path_ + ": " + std::strerror(err), err}; };
  if (path_.empty()) return base::Error{pathError_};
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return fail(errno);
  // The lock goes with the open file: it ends when the process does, however it ends.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return Lock::kHeld;
    return fail(err);
  }
  fd_ = fd;
  return Lock::kAcquired;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace velmo::core
