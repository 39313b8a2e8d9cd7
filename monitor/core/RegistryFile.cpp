#include "monitor/core/RegistryFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

namespace velmo::core {
namespace {

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  // Closes now and reports whether the close succeeded (a late write error shows up here).
  bool Close() {
    const int f = fd;
    fd = -1;
    return close(f) == 0;
  }
};

std::string ParentDir(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p with mode 0700 for the folders it creates: the file holds machine settings.
bool MakeDirs(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
    const std::string part = dir.substr(0, pos);
    if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool SyncDir(const std::string& dir) {
  Fd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.fd < 0) return false;
  // Some file systems cannot sync a directory; the rename is then as durable as they make it.
  return fsync(fd.fd) == 0 || errno == EINVAL || errno == ENOTSUP;
}

// Keeps the file under the first free name of "<name>.bad", "<name>.bad.1" ... A hard link keeps
// the file in place until the rename replaces it, so there is no moment without a file.
bool SetAside(const std::string& path) {
  for (int n = 0; n < 100; ++n) {
    const std::string bad = path + ".bad" + (n == 0 ? "" : "." + std::to_string(n));
    if (link(path.c_str(), bad.c_str()) == 0) return true;
    if (errno == EEXIST) continue;
    struct stat st;
    if (lstat(bad.c_str(), &st) == 0) continue;
    return rename(path.c_str(), bad.c_str()) == 0;  // no hard links on this file system
  }
  return false;
}

// Temporary files of saves that were killed midway ("<name>.tmp.<pid>" of a process that is gone).
void RemoveStaleTemps(const std::string& dir, const std::string& target) {
  const std::string prefix = target.substr(target.rfind('/') + 1) + ".tmp.";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = readdir(d)) {
    const std::string_view name = e->d_name;
    if (!name.starts_with(prefix)) continue;
    const std::string pid(name.substr(prefix.size()));
    char* end = nullptr;
    const long n = std::strtol(pid.c_str(), &end, 10);
    if (pid.empty() || *end != '\0' || n <= 0 || n > INT_MAX) continue;
    if (kill(static_cast<pid_t>(n), 0) != 0 && errno == ESRCH) {
      unlinkat(dirfd(d), e->d_name, 0);
    }
  }
  closedir(d);
}

// A symbolic link (dotfile managers use them) is saved through, not replaced by a plain file.
std::string ResolvedPath(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char buf[PATH_MAX];
  if (realpath(path.c_str(), buf) == nullptr) return path;
  return buf;
}

}  // namespace

std::string RegistryFile::DefaultPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* pw = getpwuid(getuid());
      home = pw != nullptr ? pw->pw_dir : ".";
    }
    base = std::string(home) + "/.config";
  }
  return base + "/velmo/registry.reg";
}

RegistryFile::Snapshot RegistryFile::Load() const {
  Snapshot snap;
  // Non-blocking so that a FIFO in the file's place cannot hang the monitor.
  Fd fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.fd < 0) {
    snap.state = errno == ENOENT ? FileState::kMissing : FileState::kUnreadable;
    return snap;
  }
  struct stat st;
  if (fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    snap.state = FileState::kUnreadable;
    return snap;
  }
  std::string bytes;
  // One byte more than allowed tells a too-large file, even one that grows while we read.
  const size_t limit = kMaxRegistryFileSize + 1;
  bytes.resize(std::min<size_t>(static_cast<size_t>(st.st_size) + 1, limit));
  size_t got = 0;
  while (got < limit) {
    if (got == bytes.size()) bytes.resize(std::min(bytes.size() * 2, limit));
    const ssize_t n = read(fd.fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      snap.state = FileState::kUnreadable;
      return snap;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  if (got == 0) {  // as good as missing (touch, or a save that never started): nothing to keep
    snap.state = FileState::kParsed;
    return snap;
  }
  RegistryParse parse = ParseRegistryText(bytes);
  snap.state = parse.parsed ? FileState::kParsed : FileState::kUnparsable;
  snap.keepAside = !parse.Clean();
  snap.model = std::move(parse.model);
  return snap;
}

bool RegistryFile::Save(const Snapshot& snapshot) const {
  const std::string text = FormatRegistryText(snapshot.model);
  if (text.size() > kMaxRegistryFileSize) return false;  // it could not be read back
  const std::string target = ResolvedPath(path_);
  const std::string dir = ParentDir(target);
  if (!MakeDirs(dir)) return false;

  const std::string temp = target + ".tmp." + std::to_string(getpid());
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.fd < 0) return false;
  bool ok = true;
  if (exists) ok = fchmod(fd.fd, old.st_mode & 0777) == 0;  // keep the permissions a user gave
  ok = ok && WriteAll(fd.fd, text) && fsync(fd.fd) == 0;
  ok = fd.Close() && ok;
  if (ok && exists && snapshot.keepAside) ok = SetAside(target);
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  RemoveStaleTemps(dir, target);
  return SyncDir(dir);
}

RegistryFile::Snapshot& RegistryFile::BatchSnapshot() {
  if (!batch_) batch_ = Load();
  return *batch_;
}

bool RegistryFile::ReadKey(const std::string& key, std::vector<RegistryValue>* values) {
  values->clear();
  Snapshot fresh;
  const Snapshot* snap = &fresh;
  if (batchDepth_ > 0) {
    snap = &BatchSnapshot();
  } else {
    fresh = Load();
  }
  if (snap->state == FileState::kUnreadable) return false;
  const RegistryKey* found = snap->model.FindKey(key);
  if (found == nullptr) return snap->model.KeyExists(key);
  values->assign(found->Values().begin(), found->Values().end());
  return true;
}

bool RegistryFile::WriteValue(const std::string& key, const RegistryValue& value) {
  if (!IsValidKeyPath(key) || !IsValidValueName(value.name)) return false;
  if (batchDepth_ > 0) {
    Snapshot& snap = BatchSnapshot();
    batchDirty_ = true;
    if (snap.state == FileState::kUnreadable) return false;
    snap.model.OpenKey(key).Set(value);
    return true;
  }
  Snapshot snap = Load();
  if (snap.state == FileState::kUnreadable) return false;
  snap.model.OpenKey(key).Set(value);
  return Save(snap);
}

void RegistryFile::BeginBatch() {
  if (batchDepth_++ == 0) {
    batch_.reset();
    batchDirty_ = false;
  }
}

bool RegistryFile::CommitBatch() {
  if (batchDepth_ == 0) return true;  // nothing was begun, nothing to save
  if (--batchDepth_ > 0) return true;
  bool ok = true;
  if (batchDirty_) ok = batch_->state != FileState::kUnreadable && Save(*batch_);
  batch_.reset();
  batchDirty_ = false;
  return ok;
}

bool MemoryRegistry::ReadKey(const std::string& key, std::vector<RegistryValue>* values) {
  values->clear();
  if (failReads) return false;
  const RegistryKey* found = model.FindKey(key);
  if (found == nullptr) return model.KeyExists(key);
  values->assign(found->Values().begin(), found->Values().end());
  return true;
}

bool MemoryRegistry::WriteValue(const std::string& key, const RegistryValue& value) {
  writes.push_back(value.name);
  if (!IsValidKeyPath(key) || !IsValidValueName(value.name)) return false;
  if (batchDepth > 0) {
    batchDirty_ = true;
    if (failWrites) return false;
    model.OpenKey(key).Set(value);
    return true;
  }
  if (failWrites) return false;
  model.OpenKey(key).Set(value);
  ++saves;
  return true;
}

bool MemoryRegistry::CommitBatch() {
  if (batchDepth == 0) return true;
  if (--batchDepth > 0) return true;
  if (!batchDirty_) return true;
  batchDirty_ = false;
  if (failWrites) return false;
  ++saves;
  return true;
}

}  // namespace velmo::core
