#include "monitor/base/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "monitor/base/SafePath.h"
#include "monitor/base/UniqueFd.h"

namespace velmo::base {
namespace {

// An interrupted write fails instead of starting again: a signal that reaches a blocked write
// means the program is asked to end.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool SyncDir(int dirFd) {
  // Some file systems cannot sync a directory; the rename is then as durable as they make it.
  return ::fsync(dirFd) == 0 || errno == EINVAL || errno == ENOTSUP;
}

std::string BaseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// Temporary files of writers that were killed midway ("<name>.tmp.<pid>" or
// "<name>.tmp.<pid>.<random>" of a process that is gone), and only those that are ours: this
// user's or `owner`'s, the owner the file itself keeps. Another user's file of that name is
// theirs to remove.
void RemoveStaleTemps(int dirFd, const std::string& name, uid_t owner) {
  const std::string prefix = name + ".tmp.";
  const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return;
  DIR* d = ::fdopendir(listFd);
  if (d == nullptr) {
    ::close(listFd);
    return;
  }
  while (const dirent* e = ::readdir(d)) {
    const std::string_view entry = e->d_name;
    if (!entry.starts_with(prefix)) continue;
    std::string_view rest = entry.substr(prefix.size());
    const std::string pid(rest.substr(0, rest.find('.')));
    char* end = nullptr;
    const long n = std::strtol(pid.c_str(), &end, 10);
    if (pid.empty() || *end != '\0' || n <= 0 || n > INT_MAX) continue;
    struct stat st;
    if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_uid != ::geteuid() && st.st_uid != owner))
      continue;
    if (::kill(static_cast<pid_t>(n), 0) != 0 && errno == ESRCH) ::unlinkat(dirFd, e->d_name, 0);
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

WriteError Fail(WriteStep step, const std::string& what, int err) {
  WriteError error;
  error.message = what + ": " + std::strerror(err);
  error.code = err;
  error.step = step;
  return error;
}

// True when `name` is a regular file holding exactly `contents`. It is not flushed again: that
// alone costs a disk cache flush, and nothing new would reach the disk.
bool HoldsAlready(int dirFd, const std::string& name, std::string_view contents) {
  UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  struct stat st;
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) != contents.size())
    return false;
  std::string bytes(contents.size(), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd.Get(), bytes.data() + got, bytes.size() - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return bytes == contents;
}

// A name nobody can guess ahead: this process's number for the stale-file cleanup, then 64
// random bits.
std::string TemporaryName(const std::string& name) {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    bits = (static_cast<uint64_t>(now.tv_nsec) << 20) ^ static_cast<uint64_t>(now.tv_sec) ^
           reinterpret_cast<uintptr_t>(&bits);
  }
  char random[17];
  std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(bits));
  return name + ".tmp." + std::to_string(::getpid()) + "." + random;
}

}  // namespace

std::string ParentDir(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool MakeDirs(const std::string& dir, mode_t mode, const std::string& confinedTo) {
  if (!confinedTo.empty()) return OpenDirBelow(confinedTo, dir, true, mode).has_value();
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

Expected<void, WriteError> WriteFileAtomically(const std::string& path, std::string_view contents,
                                               const AtomicWriteOptions& options) {
  const std::string dir = ParentDir(path);
  const std::string name = BaseName(path);
  UniqueFd dirFd;
  if (!options.confinedTo.empty()) {
    auto opened = OpenDirBelow(options.confinedTo, dir, options.createDirs, 0700);
    if (!opened) return Fail(WriteStep::kCreate, opened.error().message, opened.error().code);
    dirFd = std::move(opened).value();
  } else {
    if (options.createDirs && !MakeDirs(dir))
      return Fail(WriteStep::kCreate, "cannot create " + dir, errno);
    dirFd.Reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.Valid()) return Fail(WriteStep::kCreate, "cannot open " + dir, errno);
  }
  if (name.empty() || name == "." || name == "..")
    return Fail(WriteStep::kCreate, "cannot write " + path, EISDIR);

  // The owner and mode kept are those of the name itself: a link there lends it neither.
  struct stat old;
  const bool exists = ::fstatat(dirFd.Get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  // Run as root, the file stays its owner's (a new one becomes the folder owner's).
  uid_t owner = ::geteuid();
  gid_t group = ::getegid();
  struct stat folder;
  if (exists) {
    owner = old.st_uid;
    group = old.st_gid;
  } else if (::fstat(dirFd.Get(), &folder) == 0) {
    owner = folder.st_uid;
    group = folder.st_gid;
  }
  if (options.skipWhenUnchanged && HoldsAlready(dirFd.Get(), name, contents)) {
    RemoveStaleTemps(dirFd.Get(), name, owner);  // what killed writers left goes all the same
    return {};
  }
  const mode_t mode = exists && options.keepExistingMode && S_ISREG(old.st_mode)
                          ? (old.st_mode & 07777)
                          : options.newFileMode;

  // Created, never opened: O_EXCL refuses whatever lies at the name, a link included.
  std::string temp;
  UniqueFd fd;
  for (int attempt = 0; attempt < 8 && !fd.Valid(); ++attempt) {
    temp = TemporaryName(name);
    fd.Reset(::openat(dirFd.Get(), temp.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd.Valid() && errno != EEXIST) break;
  }
  const std::string tempPath = dir + "/" + temp;
  if (!fd.Valid()) return Fail(WriteStep::kCreate, "cannot create " + tempPath, errno);
  auto abandon = [&](WriteStep step, const std::string& what, int err) {
    fd.Reset();
    ::unlinkat(dirFd.Get(), temp.c_str(), 0);
    return Fail(step, what, err ? err : EIO);
  };
  if (!WriteAll(fd.Get(), contents) || (options.durable && ::fsync(fd.Get()) != 0))
    return abandon(WriteStep::kWrite, "cannot write " + tempPath, errno);
  struct stat made;
  const bool chown = ::geteuid() == 0 && ::fstat(fd.Get(), &made) == 0 &&
                     (made.st_uid != owner || made.st_gid != group);
  if (chown && ::fchown(fd.Get(), owner, group) != 0)
    return abandon(WriteStep::kMode, "cannot give " + tempPath + " the owner of " + path, errno);
  if (::fchmod(fd.Get(), mode & 0777) != 0)
    return abandon(WriteStep::kMode, "cannot set the mode of " + tempPath, errno);
  if (!fd.Close()) return abandon(WriteStep::kWrite, "cannot write " + tempPath, errno);
  if (options.beforeReplace && !options.beforeReplace())
    return abandon(WriteStep::kReplace, "cannot keep the old " + path + " aside", errno);
  if (::renameat(dirFd.Get(), temp.c_str(), dirFd.Get(), name.c_str()) != 0)
    return abandon(WriteStep::kReplace, "cannot replace " + path, errno);
  RemoveStaleTemps(dirFd.Get(), name, owner);
  if (options.durable && !SyncDir(dirFd.Get()))
    return Fail(WriteStep::kReplace, "cannot sync " + dir, errno);
  return {};
}

}  // namespace velmo::base
