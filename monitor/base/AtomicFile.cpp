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

WriteResult Fail(WriteStep step, const std::string& what, int err) {
  return {step, what + ": " + std::strerror(err)};
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

std::string ParentDir(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool MakeDirs(const std::string& dir, mode_t mode) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
    const std::string part = dir.substr(0, pos);
    if (!part.empty()) {
      if (::mkdir(part.c_str(), mode) == 0) {
        (void)::chmod(part.c_str(), mode);  // the umask took some bits away
        GiveOwnerOfParent(part);
      } else if (errno != EEXIST) {
        return false;
      }
    }
    if (pos == std::string::npos) break;
  }
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

WriteResult WriteFileAtomically(const std::string& path, std::string_view contents,
                                const AtomicWriteOptions& options) {
  const std::string dir = ParentDir(path);
  if (options.createDirs && !MakeDirs(dir))
    return Fail(WriteStep::kCreate, "cannot create " + dir, errno);

  if (options.skipWhenUnchanged && HoldsAlready(path, contents)) {
    RemoveStaleTemps(dir, path);  // what killed writers left goes all the same
    return {};
  }
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  struct stat old;
  const bool exists = ::stat(path.c_str(), &old) == 0;
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.Valid()) return Fail(WriteStep::kCreate, "cannot create " + temp, errno);
  auto abandon = [&](WriteStep step, const std::string& what, int err) {
    fd.Reset();
    ::unlink(temp.c_str());
    return Fail(step, what, err ? err : EIO);
  };
  const mode_t mode =
      exists && options.keepExistingMode ? (old.st_mode & 07777) : options.newFileMode;
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
  if (!WriteAll(fd.Get(), contents) || (options.durable && ::fsync(fd.Get()) != 0))
    return abandon(WriteStep::kWrite, "cannot write " + temp, errno);
  struct stat made;
  const bool chown = ::geteuid() == 0 && ::fstat(fd.Get(), &made) == 0 &&
                     (made.st_uid != owner || made.st_gid != group);
  if (chown && ::fchown(fd.Get(), owner, group) != 0)
    return abandon(WriteStep::kMode, "cannot give " + temp + " the owner of " + path, errno);
  if (::fchmod(fd.Get(), mode & 0777) != 0)
    return abandon(WriteStep::kMode, "cannot set the mode of " + temp, errno);
  if (!fd.Close()) return abandon(WriteStep::kWrite, "cannot write " + temp, errno);
  if (options.beforeReplace && !options.beforeReplace())
    return abandon(WriteStep::kReplace, "cannot keep the old " + path + " aside", errno);
  if (::rename(temp.c_str(), path.c_str()) != 0)
    return abandon(WriteStep::kReplace, "cannot replace " + path, errno);
  RemoveStaleTemps(dir, path);
  if (options.durable && !SyncDir(dir))
    return Fail(WriteStep::kReplace, "cannot sync " + dir, errno);
  return {};
}

}  // namespace velmo::base
