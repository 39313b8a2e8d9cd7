// Files written so that a reader finds the old file or the new one, never a part of either, and
// folders made with a fixed mode whatever the umask.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmo::setup {

// The step of WriteFileAtomically that failed.
enum class WriteStep : uint8_t {
  kDone,    // written
  kCreate,  // the temporary file beside the target could not be created
  kWrite,   // the bytes could not be written and flushed to disk
  kMode,    // the mode could not be set
  kRename,  // the temporary file could not replace the target
};

// Writes `bytes` into a temporary file in the target's folder, flushes it to disk, gives it
// `mode` and renames it over `path` (an existing file is replaced, also a running program).
// On failure the temporary file is removed and the target left as it was.
WriteStep WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, mode_t mode);
WriteStep WriteFileAtomically(const std::string& path, std::string_view text, mode_t mode);

// Creates `path` and its missing parents, each new folder with `mode`. True when `path` is a
// folder afterwards.
bool MakeDirectories(const std::string& path, mode_t mode);

// The folder part of `path` ("/a/b" for "/a/b/c"; "." for "c").
std::string ParentOf(const std::string& path);

}  // namespace velmo::setup
