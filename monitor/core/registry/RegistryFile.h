// The settings store: the registry interface, the `.reg` file that takes the registry's place, and
// an in-memory double for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/base/Warning.h"
#include "monitor/core/registry/RegistryText.h"

namespace velmo::core {

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // Values of `key` (full path with root, e.g. "HKEY_LOCAL_MACHINE\\Software\\..."), in file
  // order; false when the key does not exist or the file cannot be read.
  virtual bool ReadKey(const std::string& key, std::vector<RegistryValue>* values) = 0;
  // Creates the key if needed and stores one value (replacing a value of the same name in place);
  // false when the file cannot be written. Outside a batch the file is saved at once.
  virtual bool WriteValue(const std::string& key, const RegistryValue& value) = 0;
  // Groups writes so that one save writes them all at once (one atomic replace).
  virtual void BeginBatch() = 0;
  virtual bool CommitBatch() = 0;
  // Why the last failed write or commit failed ("<file>: <reason>").
  virtual std::string LastError() const { return "the settings could not be written"; }

  // Who could have written what the last read returned: the file actually read (its owner and
  // mode from the open file, links resolved). nullopt: nothing was read from a file.
  struct ReadOrigin {
    std::string path;
    uint32_t uid = 0;
    uint32_t mode = 0;
  };
  virtual std::optional<ReadOrigin> LastReadOrigin() const { return std::nullopt; }

  // Where the store tells what it did on its own (a file kept aside as ".bad").
  void SetWarningSink(base::WarningSink sink) { warn_ = std::move(sink); }

 protected:
  void Warn(const std::string& text) const {
    if (warn_) warn_(text);
  }

 private:
  base::WarningSink warn_;
};

// A registry kept in one `.reg` file. Every read goes to the disk and every write reads, changes
// and replaces the file, so edits by other programs in between are kept. A save writes a temporary
// file beside it, flushes it and renames it over the old one; a crash leaves the old file or the
// new. A file that cannot be parsed (or only in part) is kept as "<name>.bad" before a save
// replaces it, and the warning sink hears of it.
//
// Run as root (sudo -E on a user's folder), a save keeps the file's owner and mode. A symbolic link
// (dotfile managers use them) is saved through when it and the file it names have the same owner;
// a link to another owner's file, or to nothing, is refused rather than followed or replaced.
//
// Inside a batch the file is read once, at the first read or write, and saved once by CommitBatch;
// WriteValue then only says whether the value was taken. Batches nest; the outermost one saves.
// Key paths and value names that a `.reg` file cannot carry are refused (WriteValue returns false).
class RegistryFile : public RegistryStore {
 public:
  explicit RegistryFile(std::string path) : path_(std::move(path)) {}

  bool ReadKey(const std::string& key, std::vector<RegistryValue>* values) override;
  bool WriteValue(const std::string& key, const RegistryValue& value) override;
  void BeginBatch() override;
  bool CommitBatch() override;
  std::string LastError() const override { return lastError_; }
  std::optional<ReadOrigin> LastReadOrigin() const override { return lastRead_; }

  const std::string& Path() const { return path_; }
  // $XDG_CONFIG_HOME/velmo/registry.reg, with ~/.config when XDG_CONFIG_HOME is unset or relative.
  static std::string DefaultPath();

 private:
  enum class FileState { kMissing, kParsed, kUnparsable, kUnreadable };
  struct Snapshot {
    FileState state = FileState::kMissing;
    RegistryModel model;
    bool keepAside = false;  // the file on disk must become "<name>.bad" before it is replaced
    std::string problem;     // why it is unreadable, or its first parse error
  };
  Snapshot Load() const;
  bool Save(const Snapshot& snapshot);
  Snapshot& BatchSnapshot();
  bool Refuse(const std::string& reason);

  std::string path_;
  std::string lastError_;
  mutable std::optional<ReadOrigin> lastRead_;
  int batchDepth_ = 0;
  std::optional<Snapshot> batch_;
  bool batchDirty_ = false;
};

// In-memory registry for tests of the code that uses the store. Reads and writes follow the same
// rules as RegistryFile; the switches below make them fail.
class MemoryRegistry : public RegistryStore {
 public:
  bool ReadKey(const std::string& key, std::vector<RegistryValue>* values) override;
  bool WriteValue(const std::string& key, const RegistryValue& value) override;
  void BeginBatch() override { ++batchDepth; }
  bool CommitBatch() override;
  std::optional<ReadOrigin> LastReadOrigin() const override { return origin; }

  RegistryModel model;
  std::optional<ReadOrigin> origin;  // the "file" the values come from; nullopt: none
  bool failReads = false;            // ReadKey reports an unreadable file
  bool failWrites = false;           // WriteValue (and CommitBatch) report an unwritable file
  int saves = 0;                     // times the "file" would have been replaced
  int batchDepth = 0;
  std::vector<std::string> writes;  // value names in the order WriteValue was called

 private:
  bool batchDirty_ = false;
};

}  // namespace velmo::core
