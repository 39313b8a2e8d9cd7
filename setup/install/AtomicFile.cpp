#include "setup/install/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace velmo::setup {

namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// So that the rename itself survives a crash.
void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

WriteStep WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                              mode_t mode) {
  const std::string dir = ParentOf(path);
  const std::string base = path.substr(path.find_last_of('/') + 1);
  std::string name = dir + "/." + base + ".XXXXXX";
  std::vector<char> pattern(name.begin(), name.end());
  pattern.push_back('\0');
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return WriteStep::kCreate;
  const std::string temporary = pattern.data();
  auto fail = [&](WriteStep step) {
    ::unlink(temporary.c_str());
    return step;
  };
  if (!WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
    ::close(fd);
    return fail(WriteStep::kWrite);
  }
  if (::fchmod(fd, mode) != 0) {
    ::close(fd);
    return fail(WriteStep::kMode);
  }
  if (::close(fd) != 0) return fail(WriteStep::kWrite);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(WriteStep::kRename);
  SyncDirectory(dir);
  return WriteStep::kDone;
}

WriteStep WriteFileAtomically(const std::string& path, std::string_view text, mode_t mode) {
  return WriteFileAtomically(
      path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), mode);
}

bool MakeDirectories(const std::string& path, mode_t mode) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  const std::string parent = ParentOf(path);
  if (parent != path && !MakeDirectories(parent, mode)) return false;
  if (::mkdir(path.c_str(), mode) == 0) {
    (void)::chmod(path.c_str(), mode);  // the umask took some bits away
    return true;
  }
  return errno == EEXIST && IsDirectory(path);
}

}  // namespace velmo::setup
