// Reaching folders that root writes into without being led elsewhere: no symbolic link followed
// below a trusted folder, and no folder used that a user other than root or this process's own
// could change.
#pragma once

#include <sys/types.h>

#include <string>

#include "monitor/base/Error.h"
#include "monitor/base/UniqueFd.h"

namespace velmo::base {

// Why a user other than root and this process's own could change what `path` holds: the first
// folder on the way to it (the nearest existing one, links resolved) that such a user owns, or
// that is group- or world-writable without the sticky bit. Empty when nobody else can.
std::string WritableByOthers(const std::string& path);

// Opens the folder `dir`, which is `root` or lies below it, walking from `root` one name at a
// time without following a symbolic link and refusing a folder that WritableByOthers would
// name. With `create`, missing folders are made with exactly `mode` (run as root, with the owner
// of the folder above). On failure, the error names the step and carries the errno (which is
// also left in errno).
Expected<UniqueFd> OpenDirBelow(const std::string& root, const std::string& dir, bool create,
                                mode_t mode);

}  // namespace velmo::base
