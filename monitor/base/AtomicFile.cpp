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

// Run as root: a file or folder just made takes the owner of the folder it was made in.
void GiveOwnerOfParent(const std::string& path) {
  struct stat parent;
  if (::geteuid() != 0 || ::stat(ParentDir(path).c_str(), &parent) != 0) return;
  if (parent.st_uid != 0 || parent.st_gid != 0)
    (void)!::lchown(path.c_str(), parent.st_uid, parent.st_gid);
}

bool Fail(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
  return false;
}

}  // namespace

bool MakeDirs(const std::string& dir, mode_t mode) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
    const std::string part = dir.substr(0, pos);
    if (!part.empty()) {
      if (::mkdir(part.c_str(), mode) == 0) {
        GiveOwnerOfParent(part);
      } else if (errno != EEXIST) {
        return false;
      }
    }
    if (pos == std::string::npos) break;
  }
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteFileAtomically(const std::string& path, std::string_view contents,
                         const AtomicWriteOptions& options, std::string* error) {
  const std::string dir = ParentDir(path);
  if (options.createDirs && !MakeDirs(dir)) return Fail(error, "cannot create " + dir, errno);

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
  // Run as root, the file stays its owner's (a new one becomes the folder owner's).
  uid_t owner = ::geteuid();
  gid_t group = ::getegid();
  struct stat folder;
  if (exists) {
    owner = old.st_uid;
    group = old.st_gid;
  } else if (::stat(dir.c_str(), &folder) == 0) {
    owner = folder.st_uid;
    group = folder.st_gid;
  }
  const bool chown = ::geteuid() == 0 && (owner != 0 || group != 0);
  bool ok = step(!chown || ::fchown(fd.Get(), owner, group) == 0, "cannot give the owner to") &&
            step(::fchmod(fd.Get(), mode & 0777) == 0, "cannot set the mode of") &&
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
