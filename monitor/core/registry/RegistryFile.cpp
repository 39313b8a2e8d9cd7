#include "monitor/core/registry/RegistryFile.h"

#include "monitor/base/AtomicFile.h"
#include "monitor/base/UniqueFd.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace velmo::core {
namespace {

// Keeps the file under the first free name of "<name>.bad", "<name>.bad.1" ... and returns that
// name (empty on failure). A hard link keeps the file in place until the rename replaces it, so
// there is no moment without a file.
std::string SetAside(const std::string& path) {
  for (int n = 0; n < 100; ++n) {
    const std::string bad = path + ".bad" + (n == 0 ? "" : "." + std::to_string(n));
    if (link(path.c_str(), bad.c_str()) == 0) return bad;
    if (errno == EEXIST) continue;
    struct stat st;
    if (lstat(bad.c_str(), &st) == 0) continue;
    return rename(path.c_str(), bad.c_str()) == 0 ? bad : std::string();  // no hard links here
  }
  return {};
}

// The file a save replaces: the path itself, or what a symbolic link at it names when the link and
// that file have one owner. An error for a link to another owner's file or to nothing: following
// it could write where the settings do not belong (as root, anywhere).
base::Expected<std::string> SaveTarget(const std::string& path) {
  struct stat link;
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char buf[PATH_MAX];
  struct stat target;
  if (realpath(path.c_str(), buf) == nullptr || stat(buf, &target) != 0)
    return base::Error{"is a symbolic link to nothing; not replaced"};
  if (target.st_uid != link.st_uid)
    return base::Error{std::string("is a symbolic link to ") + buf +
                       ", a file of another owner; not replaced"};
  return std::string(buf);
}

}  // namespace

std::string RegistryFile::DefaultPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string configDir;
  if (xdg != nullptr && xdg[0] == '/') {
    configDir = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* pw = getpwuid(getuid());
      home = pw != nullptr ? pw->pw_dir : ".";
    }
    configDir = std::string(home) + "/.config";
  }
  return configDir + "/velmo/registry.reg";
}

RegistryFile::Snapshot RegistryFile::Load() const {
  Snapshot snap;
  // Non-blocking so that a FIFO in the file's place cannot hang the monitor.
  base::UniqueFd fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) {
    snap.state = errno == ENOENT ? FileState::kMissing : FileState::kUnreadable;
    snap.problem = std::strerror(errno);
    return snap;
  }
  struct stat st;
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    snap.state = FileState::kUnreadable;
    snap.problem = S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file";
    return snap;
  }
  lastRead_ = ReadOrigin{path_, st.st_uid, st.st_mode};
  std::string bytes;
  // One byte more than allowed tells a too-large file, even one that grows while we read.
  const size_t limit = kMaxRegistryFileSize + 1;
  bytes.resize(std::min<size_t>(static_cast<size_t>(st.st_size) + 1, limit));
  size_t got = 0;
  while (got < limit) {
    if (got == bytes.size()) bytes.resize(std::min(bytes.size() * 2, limit));
    const ssize_t n = read(fd.Get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      snap.state = FileState::kUnreadable;
      snap.problem = std::strerror(errno);
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
  if (!parse.errors.empty()) {
    const RegistryError& first = parse.errors.front();
    snap.problem =
        (first.line ? "line " + std::to_string(first.line) + ": " : std::string()) + first.message;
  }
  snap.model = std::move(parse.model);
  return snap;
}

bool RegistryFile::Refuse(const std::string& reason) {
  lastError_ = path_ + ": " + reason;
  return false;
}

bool RegistryFile::Save(const Snapshot& snapshot) {
  if (snapshot.state == FileState::kUnreadable)
    return Refuse("cannot be read (" + snapshot.problem + "); left as it is");
  const std::string text = FormatRegistryText(snapshot.model);
  if (text.size() > kMaxRegistryFileSize)  // it could not be read back
    return Refuse("the settings would pass 16 MiB; the file is left as it is");
  const auto saveTarget = SaveTarget(path_);
  if (!saveTarget) return Refuse(saveTarget.error().message);
  const std::string& target = saveTarget.value();
  base::AtomicWriteOptions options;
  options.createDirs = true;  // mode 0700: the file holds machine settings
  options.skipWhenUnchanged = true;
  std::string aside;
  if (snapshot.keepAside) {
    options.beforeReplace = [&target, &aside] {
      struct stat st;
      if (stat(target.c_str(), &st) != 0) return true;
      aside = SetAside(target);
      return !aside.empty();
    };
  }
  if (const auto written = base::WriteFileAtomically(target, text, options); !written)
    return Refuse(written.error().message);
  if (!aside.empty())
    Warn(path_ + " could not be read (" + snapshot.problem + "); kept aside as " + aside);
  lastError_.clear();
  return true;
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
  if (snap->state == FileState::kUnreadable) return Refuse("cannot be read: " + snap->problem);
  const RegistryKey* found = snap->model.FindKey(key);
  if (found == nullptr) return snap->model.KeyExists(key);
  values->assign(found->Values().begin(), found->Values().end());
  return true;
}

bool RegistryFile::WriteValue(const std::string& key, const RegistryValue& value) {
  if (!IsValidKeyPath(key) || !IsValidValueName(value.name))
    return Refuse("a .reg file cannot hold the key or value name of " + value.name);
  if (batchDepth_ > 0) {
    Snapshot& snap = BatchSnapshot();
    batchDirty_ = true;
    if (snap.state == FileState::kUnreadable) return Refuse("cannot be read: " + snap.problem);
    snap.model.OpenKey(key).Set(value);
    return true;
  }
  Snapshot snap = Load();
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
  if (batchDirty_) ok = Save(*batch_);
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
