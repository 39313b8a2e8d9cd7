// One datagram on a Unix socket with at most one descriptor passed beside it (SCM_RIGHTS): how
// mapmem hands its sealed window to the monitor.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>

namespace velmo::base {

// Sends `datagram` on `socket` with `fd` passed along when it is 0 or more; `flags` go to
// sendmsg. Returns what sendmsg returns.
ssize_t SendWithDescriptor(int socket, std::span<const uint8_t> datagram, int fd, int flags);

struct ReceivedDatagram {
  ssize_t length = -1;     // what recvmsg returned (-1 with errno set on failure)
  int fd = -1;             // a passed descriptor, close-on-exec; the caller owns it
  bool truncated = false;  // the datagram or its control data did not fit
};

// Receives one datagram into `buffer`, taking a descriptor passed with it; retries on EINTR.
ReceivedDatagram ReceiveWithDescriptor(int socket, std::span<uint8_t> buffer);

}  // namespace velmo::base
