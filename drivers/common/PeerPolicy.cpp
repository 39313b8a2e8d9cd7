#include "drivers/common/PeerPolicy.h"

#include <grp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace velmo::drivers {

PeerPolicy PeerPolicy::ForThisProcess(const char* group) {
  PeerPolicy policy;
  policy.ownUid = ::geteuid();
  if (const struct group* g = ::getgrnam(group)) policy.velmoGid = g->gr_gid;
  return policy;
}

bool PeerAllowed(const PeerCredentials& peer, std::span<const gid_t> groups,
                 const PeerPolicy& policy) {
  if (peer.uid == 0 || peer.uid == policy.ownUid) return true;
  if (!policy.velmoGid) return false;
  const gid_t velmo = *policy.velmoGid;
  return peer.gid == velmo || std::find(groups.begin(), groups.end(), velmo) != groups.end();
}

bool ReadPeer(int fd, PeerCredentials* peer, std::vector<gid_t>* groups) {
  struct ucred cred {};
  socklen_t length = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 || length != sizeof cred)
    return false;
  peer->pid = cred.pid;
  peer->uid = cred.uid;
  peer->gid = cred.gid;
  groups->clear();
#ifdef SO_PEERGROUPS
  // Supplementary groups: a member of velmo whose primary group is another one.
  std::vector<gid_t> list(64);
  for (int attempt = 0; attempt < 2; ++attempt) {
    socklen_t bytes = static_cast<socklen_t>(list.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, list.data(), &bytes) == 0) {
      list.resize(bytes / sizeof(gid_t));
      *groups = std::move(list);
      break;
    }
    if (errno != ERANGE) break;  // an old kernel: the primary group alone decides
    list.resize(bytes / sizeof(gid_t) + 1);
  }
#endif
  return true;
}

}  // namespace velmo::drivers
