#include "monitor/hw/DriverBackend.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "monitor/hw/SimClockProtocol.h"

namespace velmo::hw {

namespace pr = protocol;

namespace {

// A helper that does not answer within this time counts as a failed request, not a hang.
constexpr timeval kReplyTimeout{5, 0};

}  // namespace

std::optional<DeviceConnection> DeviceConnection::Open(const char* device) {
  const std::string path = pr::DevicePath(device);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kReplyTimeout, sizeof kReplyTimeout);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &kReplyTimeout, sizeof kReplyTimeout);
  return DeviceConnection(fd);
}

DeviceConnection::~DeviceConnection() {
  if (fd_ >= 0) ::close(fd_);
}

DeviceConnection& DeviceConnection::operator=(DeviceConnection&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::optional<pr::Reply> DeviceConnection::Transact(uint32_t code, uint32_t outputCapacity,
                                                    std::span<const uint32_t> input,
                                                    int* receivedFd) {
  const std::vector<uint8_t> datagram = pr::EncodeRequest(code, outputCapacity, input);
  return TransactRaw(datagram, receivedFd);
}

std::optional<pr::Reply> DeviceConnection::TransactRaw(std::span<const uint8_t> datagram,
                                                       int* receivedFd) {
  if (receivedFd) *receivedFd = -1;
  if (::send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(datagram.size()))
    return std::nullopt;

  std::array<uint8_t, pr::kMaxDatagram + 1> buffer;
  iovec iov{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  msghdr message{};
  message.msg_iov = &iov;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t n;
  do {
    n = ::recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return std::nullopt;

  int fd = -1;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
        header->cmsg_len >= CMSG_LEN(sizeof(int))) {
      std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    }
  }
  std::optional<pr::Reply> reply;
  if (!(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)))
    reply = pr::DecodeReply(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
  if (fd >= 0) {
    if (reply && receivedFd)
      *receivedFd = fd;
    else
      ::close(fd);
  }
  return reply;
}

namespace {

bool Succeeded(const std::optional<pr::Reply>& reply) {
  return reply && reply->status == pr::kStatusSuccess;
}

}  // namespace

PortRead DriverBackend::ReadPort(uint16_t port, unsigned width) {
  constexpr HwAccess kAccess = HwAccess::kPortRead;
  PortRead result;
  std::optional<DeviceConnection> device = DeviceConnection::Open(pr::kPortIoDevice);
  if (!device) {
    result.failures.push_back({HwError::kPortDeviceMissing, kAccess, {}});
    return result;
  }
  // Each step goes on after a failure, as the conversation always did: the helper refuses the
  // handle 0 of a failed OPEN, and each refusal is a failure of its own.
  uint32_t handle = 0;
  const uint32_t open[] = {port, width, 1};
  const auto opened = device->Transact(pr::kIoctlPortIoOpen, 4, open);
  if (Succeeded(opened) && opened->Word(0)) handle = *opened->Word(0);
  if (handle == 0) result.failures.push_back({HwError::kPortOpenFailed, kAccess, {}});

  const uint32_t read[] = {handle, 0};
  const auto got = device->Transact(pr::kIoctlPortIoRead, 4, read);
  if (Succeeded(got) && got->Word(0))
    result.value = *got->Word(0);
  else
    result.failures.push_back({HwError::kPortReadFailed, kAccess, {}});

  const uint32_t close[] = {handle};
  if (!Succeeded(device->Transact(pr::kIoctlPortIoClose, 0, close)))
    result.failures.push_back({HwError::kPortCloseFailed, kAccess, {}});
  return result;
}

HwFailures DriverBackend::WritePort(uint16_t port, unsigned width, uint32_t value) {
  constexpr HwAccess kAccess = HwAccess::kPortWrite;
  HwFailures failures;
  std::optional<DeviceConnection> device = DeviceConnection::Open(pr::kPortIoDevice);
  if (!device) {
    failures.push_back({HwError::kPortDeviceMissing, kAccess, {}});
    return failures;
  }
  uint32_t handle = 0;
  const uint32_t open[] = {port, width, 1};
  const auto opened = device->Transact(pr::kIoctlPortIoOpen, 4, open);
  if (Succeeded(opened) && opened->Word(0)) handle = *opened->Word(0);
  if (handle == 0) failures.push_back({HwError::kPortOpenFailed, kAccess, {}});

  const uint32_t write[] = {handle, 0, value};
  if (!Succeeded(device->Transact(pr::kIoctlPortIoWrite, 0, write)))
    failures.push_back({HwError::kPortWriteFailed, kAccess, {}});

  const uint32_t close[] = {handle};
  if (!Succeeded(device->Transact(pr::kIoctlPortIoClose, 0, close)))
    failures.push_back({HwError::kPortCloseFailed, kAccess, {}});
  return failures;
}

HwFailures DriverBackend::ReadBiosIdBytes(uint8_t dest[8]) {
  constexpr HwAccess kAccess = HwAccess::kBiosRead;
  std::optional<DeviceConnection> device = DeviceConnection::Open(pr::kMapMemDevice);
  if (!device) return {{HwError::kMemDeviceMissing, kAccess, {}}};
  int viewFd = -1;
  const auto mapped = device->Transact(pr::kIoctlMapMemMap, 4, {}, &viewFd);
  // The view arrives as a descriptor; the reply's word is where the window starts inside it.
  struct stat st {};
  const bool haveView = Succeeded(mapped) && mapped->Word(0) && viewFd >= 0 &&
                        ::fstat(viewFd, &st) == 0 && st.st_size > 0 &&
                        uint64_t{*mapped->Word(0)} + 8 <= static_cast<uint64_t>(st.st_size);
  void* base = MAP_FAILED;
  if (haveView)
    base = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, viewFd, 0);
  if (viewFd >= 0) ::close(viewFd);
  if (base == MAP_FAILED) return {{HwError::kMemMapFailed, kAccess, {}}};
  std::memcpy(dest, static_cast<const uint8_t*>(base) + *mapped->Word(0), 8);
  ::munmap(base, static_cast<size_t>(st.st_size));

  if (!Succeeded(device->Transact(pr::kIoctlMapMemUnmap, 0, {})))
    return {{HwError::kMemUnmapFailed, kAccess, {}}};
  return {};
}

bool DriverBackend::Reachable() {
  return DeviceConnection::Open(pr::kPortIoDevice).has_value() &&
         DeviceConnection::Open(pr::kMapMemDevice).has_value();
}

bool DriverBackend::AdvanceSimulatedClock(uint32_t seconds) {
  std::optional<DeviceConnection> device = DeviceConnection::Open(pr::kPortIoDevice);
  if (!device) return false;
  const uint32_t input[] = {seconds};
  return Succeeded(device->Transact(pr::kIoctlPortIoAdvanceClock, 0, input));
}

}  // namespace velmo::hw
