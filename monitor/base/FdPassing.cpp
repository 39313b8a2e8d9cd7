#include "monitor/base/FdPassing.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace velmo::base {

ssize_t SendWithDescriptor(int socket, std::span<const uint8_t> datagram, int fd, int flags) {
  iovec iov{const_cast<uint8_t*>(datagram.data()), datagram.size()};
  msghdr message{};
  message.msg_iov = &iov;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  if (fd >= 0) {
    std::memset(control, 0, sizeof control);
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
  }
  return ::sendmsg(socket, &message, flags);
}

ReceivedDatagram ReceiveWithDescriptor(int socket, std::span<uint8_t> buffer) {
  iovec iov{buffer.data(), buffer.size()};
  // Room for one descriptor only: the kernel closes any further ones and says so (MSG_CTRUNC).
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  msghdr message{};
  message.msg_iov = &iov;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ReceivedDatagram received;
  do {
    received.length = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  } while (received.length < 0 && errno == EINTR);
  if (received.length < 0) return received;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
        header->cmsg_len >= CMSG_LEN(sizeof(int))) {
      std::memcpy(&received.fd, CMSG_DATA(header), sizeof(int));
    }
  }
  received.truncated = (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0;
  return received;
}

}  // namespace velmo::base
