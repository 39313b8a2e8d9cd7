#include "monitor/base/SafePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

namespace velmo::base {

namespace {

// Empty when `st` is a folder only root and this process's user can change.
std::string OthersMayWrite(const std::string& name, const struct stat& st) {
  if (st.st_uid != 0 && st.st_uid != ::geteuid())
    return name + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  if (S_ISDIR(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX))
    return name + " can be written by other users";
  return {};
}

}  // namespace

std::string WritableByOthers(const std::string& path) {
  // The nearest folder that exists stands for what is still to be made below it.
  std::string existing = path.empty() ? "." : path;
  char resolved[PATH_MAX];
  while (::realpath(existing.c_str(), resolved) == nullptr) {
    const size_t slash = existing.find_last_of('/');
    if (slash == std::string::npos || existing == "/") return path + " cannot be resolved";
    existing = slash == 0 ? "/" : existing.substr(0, slash);
  }
  const std::string real = resolved;
  for (size_t end = 0; end != std::string::npos;) {
    end = real.find('/', end + 1);
    const std::string part = end == std::string::npos ? real : real.substr(0, end);
    const std::string name = part.empty() ? "/" : part;
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0) return name + " cannot be examined";
    if (std::string why = OthersMayWrite(name, st); !why.empty()) return why;
  }
  return {};
}

Expected<UniqueFd> OpenDirBelow(const std::string& root, const std::string& dir, bool create,
                                mode_t mode) {
  auto fail = [](const std::string& why, int err) {
    errno = err;
    return Error{why, err};
  };
  std::string_view rest(dir);
  if (rest.substr(0, root.size()) != root ||
      (rest.size() > root.size() && rest[root.size()] != '/' && root != "/"))
    return fail(dir + " does not lie below " + root, EXDEV);
  rest.remove_prefix(root.size());
  UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) return fail("cannot open " + root, errno);
  std::string walked = root;
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string name(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (name.empty() || name == ".") continue;
    walked += (walked.back() == '/' ? "" : "/") + name;
    if (name == "..") return fail(walked + " leads back up", EXDEV);
    bool made = false;
    if (create && ::mkdirat(fd.Get(), name.c_str(), mode) == 0) {
      made = true;
    } else if (create && errno != EEXIST) {
      return fail("cannot create " + walked, errno);
    }
    UniqueFd next(
        ::openat(fd.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.Valid()) {
      const int err = errno;
      struct stat st;
      if (::fstatat(fd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return fail(walked + " is a symbolic link; not followed", ELOOP);
      return fail("cannot open " + walked, err);
    }
    struct stat st, parent;
    if (::fstat(next.Get(), &st) != 0) return fail("cannot examine " + walked, errno);
    if (made) {
      (void)::fchmod(next.Get(), mode);  // the umask took some bits away
      if (::geteuid() == 0 && ::fstat(fd.Get(), &parent) == 0 &&
          (parent.st_uid != 0 || parent.st_gid != 0))
        (void)!::fchown(next.Get(), parent.st_uid, parent.st_gid);
    } else if (std::string why = OthersMayWrite(walked, st); !why.empty()) {
      return fail(why, EACCES);
    }
    fd = std::move(next);
  }
  return fd;
}

}  // namespace velmo::base
