#include "monitor/core/RegistryFile.h"

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
#include <string_view>

namespace velmo::core {
namespace {

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
    return snap;
  }
  struct stat st;
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
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
    const ssize_t n = read(fd.Get(), bytes.data() + got, bytes.size() - got);
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
  base::AtomicWriteOptions options;
  options.createDirs = true;  // mode 0700: the file holds machine settings
  options.skipWhenUnchanged = true;
  if (snapshot.keepAside) {
    options.beforeReplace = [&target] {
      struct stat st;
      return stat(target.c_str(), &st) != 0 || SetAside(target);
    };
  }
  return base::WriteFileAtomically(target, text, options);
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
