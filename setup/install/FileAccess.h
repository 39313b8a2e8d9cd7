// File access as another user: the setup runs as root but writes into a user's home folder with
// that user's rights, so a link the user placed there cannot lead root's writes elsewhere.
#pragma once

#include <sys/types.h>

namespace velmo::setup {

// For its lifetime this thread opens and creates files as `uid`/`gid` (setfsuid/setfsgid;
// files it creates belong to them). Does nothing unless the process runs as root.
class FileAccessAs {
 public:
  FileAccessAs(uid_t uid, gid_t gid);
  ~FileAccessAs();
  FileAccessAs(const FileAccessAs&) = delete;
  FileAccessAs& operator=(const FileAccessAs&) = delete;
  // False when the switch did not take effect; then nothing may be written.
  bool Ok() const { return ok_; }

 private:
  bool switched_ = false;
  bool ok_ = true;
};

}  // namespace velmo::setup
