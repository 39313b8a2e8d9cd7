#include "setup/install/FileAccess.h"

#include <sys/fsuid.h>
#include <unistd.h>

namespace velmo::setup {

FileAccessAs::FileAccessAs(uid_t uid, gid_t gid) {
  if (::geteuid() != 0 || uid == 0) return;
  switched_ = true;
  // The group first: once the user is set, root's right to change it is gone.
  ::setfsgid(gid);
  ::setfsuid(uid);
  // Both calls answer with the previous value; asking again tells whether they took effect.
  ok_ = static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == uid &&
        static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1))) == gid;
}

FileAccessAs::~FileAccessAs() {
  if (!switched_) return;
  ::setfsuid(0);
  ::setfsgid(0);
}

}  // namespace velmo::setup
