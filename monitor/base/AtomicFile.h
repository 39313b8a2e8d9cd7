// Replacing a file so that a crash at any moment leaves the old file or the new one, never a mix.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace velmo::base {

struct AtomicWriteOptions {
  mode_t newFileMode = 0600;     // the mode of a file that did not exist yet
  bool keepExistingMode = true;  // a replaced file keeps its permission bits
  bool createDirs = false;       // create missing folders above it (mode 0700)
  // A regular file that already holds exactly `contents` is left as it is: a save that changes
  // nothing costs no write, no flush and no rename.
  bool skipWhenUnchanged = false;
  // Runs after the new contents are on disk and before they replace the old file; false aborts.
  std::function<bool()> beforeReplace;
};

// Writes `contents` to a temporary file "<path>.tmp.<pid>" beside `path`, flushes it to disk,
// renames it over `path` and syncs the folder; temporary files of killed writers are cleaned up.
// False, with `error` naming what failed, when anything fails; `path` is then untouched.
bool WriteFileAtomically(const std::string& path, std::string_view contents,
                         const AtomicWriteOptions& options = {}, std::string* error = nullptr);

// mkdir -p with `mode` for the folders it creates; true when `dir` is a folder afterwards.
bool MakeDirs(const std::string& dir, mode_t mode = 0700);

}  // namespace velmo::base
