// Who may talk to a helper service: root, the group velmo, or the helper's own user.
#pragma once

#include <sys/types.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmo::drivers {

struct PeerPolicy {
  uid_t ownUid = 0;               // the helper's effective user
  std::optional<gid_t> velmoGid;  // the group velmo, when it exists

  // The policy of this process: its effective user and the group named `group` if it exists.
  static PeerPolicy ForThisProcess(const char* group = "velmo");
};

struct PeerCredentials {
  pid_t pid = 0;
  uid_t uid = 0;
  gid_t gid = 0;
};

// True when a peer with these credentials and supplementary `groups` may use the device.
bool PeerAllowed(const PeerCredentials& peer, std::span<const gid_t> groups,
                 const PeerPolicy& policy);

// The credentials (SO_PEERCRED) and supplementary groups (SO_PEERGROUPS) of a connected Unix
// socket's peer. False when the kernel cannot tell.
bool ReadPeer(int fd, PeerCredentials* peer, std::vector<gid_t>* groups);

}  // namespace velmo::drivers
