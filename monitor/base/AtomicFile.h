// Replacing a file so that a crash at any moment leaves the old file or the new one, never a mix.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "monitor/base/Error.h"

namespace velmo::base {

struct AtomicWriteOptions {
  mode_t newFileMode = 0600;     // the mode of a file that did not exist yet
  bool keepExistingMode = true;  // a replaced file keeps its permission bits
  bool createDirs = false;       // create missing folders above it (mode 0700)
  bool durable = true;           // flush the file and its folder to disk (a reader-only file
                                 // that is rewritten every few seconds need not be)
  // Run as root, the file keeps the owner it had, and a new file or folder gets the owner of
  // the folder it is made in: a root run on a user's folder must not take the user's files.
  // A regular file that already holds exactly `contents` is left as it is: a save that changes
  // nothing costs no write, no flush and no rename.
  bool skipWhenUnchanged = false;
  // Runs after the new contents are on disk and before they replace the old file; false aborts.
  std::function<bool()> beforeReplace;
  // Set: `path` lies below this trusted folder, and the folders between are reached without
  // following a symbolic link or entering one another user could change (OpenDirBelow).
  std::string confinedTo;
};

// The step of a write that failed, for callers whose messages name it.
enum class WriteStep : uint8_t {
  kCreate,   // the folder or the temporary file beside the target could not be made
  kWrite,    // the bytes could not be written and flushed to disk
  kMode,     // the owner or the mode could not be set
  kReplace,  // the temporary file could not replace the target (or keep the old one aside)
};
// What failed and why, naming the file (message), the errno (code) and the step.
struct WriteError : Error {
  WriteStep step = WriteStep::kCreate;
};

// Writes `contents` to a temporary file "<path>.tmp.<pid>.<random>" beside `path`, created
// exclusively (nothing another user planted is opened, no link followed, never a FIFO waited on),
// flushes it to disk, renames it over `path` (a running program's file too) and syncs the folder.
// The owner kept is that of `path` itself (lstat), never of what a link there names. Temporary
// files of killed writers are cleaned up when they are ours (this user's or the owner's kept).
// On failure `path` is untouched and the result says where it failed; a signal that interrupts
// a blocked step makes it fail rather than wait on.
Expected<void, WriteError> WriteFileAtomically(const std::string& path, std::string_view contents,
                                               const AtomicWriteOptions& options = {});

// mkdir -p giving the folders it creates exactly `mode` (whatever the umask), each (run as root)
// with the owner of the folder above it; true when `dir` is a folder afterwards. With
// `confinedTo`, the folders below it are walked as OpenDirBelow does.
bool MakeDirs(const std::string& dir, mode_t mode = 0700, const std::string& confinedTo = {});

// The folder part of `path` ("/a/b" for "/a/b/c", "." for "c", "/" for "/c").
std::string ParentDir(const std::string& path);

}  // namespace velmo::base
