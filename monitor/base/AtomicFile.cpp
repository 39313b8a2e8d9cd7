#include "monitor/base/AtomicFile.h"

#include "monitor/base/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace velmo::base {
namespace {

std::string ParentDir(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool SyncDir(const std::string& dir) {
  UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) return false;
  // Some file systems cannot sync a directory; the rename is then as durable as they make it.
  return ::fsync(fd.Get()) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// Temporary files of writers that were killed midway ("<name>.tmp.<pid>" of a process that is
// gone).
void RemoveStaleTemps(const std::string& dir, const std::string& target) {
  const std::string prefix = target.substr(target.rfind('/') + 1) + ".tmp.";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (!name.starts_with(prefix)) continue;
    const std::string pid(name.substr(prefix.size()));
    char* end = nullptr;
    const long n = std::strtol(pid.c_str(), &end, 10);
    if (pid.empty() || *end != '\0' || n <= 0 || n > INT_MAX) continue;
    if (::kill(static_cast<pid_t>(n), 0) != 0 && errno == ESRCH)
      ::unlinkat(::dirfd(d), e->d_name, 0);
  }
  ::closedir(d);
}

bool Fail(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
  return false;
}

// True when `path` is a regular file holding exactly `contents`. It is not flushed again: that
// alone costs a disk cache flush, and nothing new would reach the disk.
bool HoldsAlready(const std::string& path, std::string_view contents) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  struct stat st;
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) != contents.size())
    return false;
  std::string bytes(contents.size(), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd.Get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return bytes == contents;
}

}  // namespace

bool MakeDirs(const std::string& dir, mode_t mode) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
    const std::string part = dir.substr(0, pos);
    if (!part.empty() && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteFileAtomically(const std::string& path, std::string_view contents,
                         const AtomicWriteOptions& options, std::string* error) {
  const std::string dir = ParentDir(path);
  if (options.createDirs && !MakeDirs(dir)) return Fail(error, "cannot create " + dir, errno);

  if (options.skipWhenUnchanged && HoldsAlready(path, contents)) return true;
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  struct stat old;
  const bool exists = ::stat(path.c_str(), &old) == 0;
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.Valid()) return Fail(error, "cannot create " + temp, errno);
  const mode_t mode =
      exists && options.keepExistingMode ? (old.st_mode & 07777) : options.newFileMode;
  std::string what;
  int err = 0;
  auto step = [&](bool ok, const char* name) {
    if (!ok && what.empty()) {
      what = std::string(name) + " " + temp;
      err = errno;
    }
    return ok;
  };
  bool ok = step(::fchmod(fd.Get(), mode & 0777) == 0, "cannot set the mode of") &&
            step(WriteAll(fd.Get(), contents), "cannot write") &&
            step(::fsync(fd.Get()) == 0, "cannot flush");
  ok = step(fd.Close(), "cannot close") && ok;
  if (ok && options.beforeReplace && !options.beforeReplace()) {
    what = "cannot keep the old " + path + " aside";
    err = errno;
    ok = false;
  }
  if (ok) ok = step(::rename(temp.c_str(), path.c_str()) == 0, "cannot rename");
  if (!ok) {
    ::unlink(temp.c_str());
    return Fail(error, what, err ? err : EIO);
  }
  RemoveStaleTemps(dir, path);
  if (!SyncDir(dir)) return Fail(error, "cannot sync " + dir, errno);
  return true;
}

}  // namespace velmo::base
