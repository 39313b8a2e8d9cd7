#include "monitor/hw/DriverBackend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "monitor/base/FdPassing.h"
#include "monitor/protocol/SimClockProtocol.h"

namespace velmo::hw {

namespace pr = protocol;

namespace {

// A helper that does not answer within this time counts as a failed request, not a hang.
constexpr timeval kReplyTimeout{5, 0};

// An empty datagram and the end of the connection both read as 0 bytes; only the end leaves the
// socket hung up.
bool PeerClosed(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

}  // namespace

std::optional<DeviceConnection> DeviceConnection::Open(const char* device, std::string* refusal) {
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
  // Whoever may write the device folder could serve there: only root's helpers, or helpers of
  // this user (the ones it started itself), are told anything.
  ucred server{};
  socklen_t length = sizeof server;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &server, &length) != 0 ||
      (server.uid != 0 && server.uid != ::geteuid())) {
    if (refusal)
      *refusal = path + " is served by uid " + std::to_string(server.uid) +
                 ", neither root nor this user; not used";
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
    fd_ = std::exchange(other.fd_, -1);
    // A new connection takes the place of a broken one: it must not inherit that state.
    broken_ = other.broken_;
  }
  return *this;
}

std::optional<pr::Reply> DeviceConnection::Transact(uint32_t code, uint32_t outputCapacity,
                                                    std::span<const uint32_t> input,
                                                    int* receivedFd) {
  const std::vector<uint8_t> datagram = pr::EncodeRequest(code, outputCapacity, input);
  return TransactRaw(datagram, receivedFd);
}

bool DeviceConnection::Alive() const {
  if (fd_ < 0 || broken_) return false;
  pollfd p{fd_, POLLIN | POLLRDHUP, 0};
  const int ready = ::poll(&p, 1, 0);
  return ready == 0;
}

std::optional<pr::Reply> DeviceConnection::TransactRaw(std::span<const uint8_t> datagram,
                                                       int* receivedFd) {
  if (receivedFd) *receivedFd = -1;
  if (!Send(datagram)) return std::nullopt;
  return Receive(receivedFd);
}

bool DeviceConnection::Send(std::span<const uint8_t> datagram) {
  if (broken_) return false;
  if (::send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(datagram.size())) {
    broken_ = true;
    return false;
  }
  return true;
}

std::optional<pr::Reply> DeviceConnection::Receive(int* receivedFd) {
  if (receivedFd) *receivedFd = -1;
  if (broken_) return std::nullopt;

  // The longest reply is a batch's.
  std::array<uint8_t, pr::kMaxBatchReply + 1> buffer;
  const base::ReceivedDatagram received = base::ReceiveWithDescriptor(fd_, buffer);
  const ssize_t n = received.length;
  if (n < 0 || (n == 0 && PeerClosed(fd_))) {
    if (received.fd >= 0) ::close(received.fd);
    broken_ = true;
    return std::nullopt;
  }

  const int fd = received.fd;
  std::optional<pr::Reply> reply;
  if (!received.truncated)
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

bool AnyEndsProgram(const HwFailures& failures) {
  return std::any_of(failures.begin(), failures.end(),
                     [](const HwFailure& f) { return EndsProgram(f.error); });
}

void Append(HwFailures& to, HwFailures&& from) {
  to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

// The messages of a batch depend on its first access.
HwAccess AccessOf(const PortBatch& batch, size_t first) {
  return batch.Ops()[first].kind == pr::BatchKind::kRead ? HwAccess::kPortRead
                                                         : HwAccess::kPortWrite;
}

HwFailures DeviceMissing(HwAccess access, const std::string& refusal) {
  return {{HwError::kPortDeviceMissing, access, refusal}};
}

// A batch without a usable reply shows the failure of its first access.
HwFailures NoUsableReply(HwAccess access) {
  return {{access == HwAccess::kPortRead ? HwError::kPortReadFailed : HwError::kPortWriteFailed,
           access,
           {}}};
}

size_t CountReads(const PortBatch& batch, size_t first, size_t end) {
  const auto& ops = batch.Ops();
  return static_cast<size_t>(std::count_if(
      ops.begin() + static_cast<ptrdiff_t>(first), ops.begin() + static_cast<ptrdiff_t>(end),
      [](const pr::BatchOp& op) { return op.kind == pr::BatchKind::kRead; }));
}

}  // namespace

DriverBackend::~DriverBackend() {
  TakePostedReply();
}

DeviceConnection* DriverBackend::PortIo() {
  if (portio_ && portio_->Alive()) return &*portio_;
  // The helper went away (or never was there): it may be back.
  refusal_.clear();
  portio_ = DeviceConnection::Open(pr::kPortIoDevice, &refusal_);
  return portio_ ? &*portio_ : nullptr;
}

void DriverBackend::TakePostedReply() {
  if (!posted_) return;
  Posted posted = std::move(*posted_);
  posted_.reset();
  Append(owed_, TakeChunkReply(posted.batch, posted.first, posted.end));
}

HwFailures DriverBackend::Settle() {
  TakePostedReply();
  return std::exchange(owed_, {});
}

PortRead DriverBackend::ReadPort(uint16_t port, unsigned width) {
  constexpr HwAccess kAccess = HwAccess::kPortRead;
  PortRead result;
  result.failures = Settle();
  if (AnyEndsProgram(result.failures)) return result;
  DeviceConnection* device = PortIo();
  if (!device) {
    result.failures.push_back({HwError::kPortDeviceMissing, kAccess, refusal_});
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
  HwFailures failures = Settle();
  if (AnyEndsProgram(failures)) return failures;
  DeviceConnection* device = PortIo();
  if (!device) {
    failures.push_back({HwError::kPortDeviceMissing, kAccess, refusal_});
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

HwFailures DriverBackend::RunBatch(PortBatch& batch) {
  HwFailures failures = Settle();
  if (AnyEndsProgram(failures)) return failures;
  Append(failures, RunChunks(batch, 0, batch.Ops().size()));
  return failures;
}

HwFailures DriverBackend::PostBatch(PortBatch batch) {
  HwFailures failures = Settle();
  const size_t count = batch.Ops().size();
  if (AnyEndsProgram(failures) || count == 0) return failures;
  // Only the last request goes unanswered: a derived write may take its value from a read of an
  // earlier one, which must be known before that request is built.
  const size_t last = (count - 1) / pr::kMaxBatchOps * pr::kMaxBatchOps;
  Append(failures, RunChunks(batch, 0, last));
  if (AnyEndsProgram(failures)) return failures;
  HwFailures sent = SendChunk(batch, last, count);
  if (sent.empty())
    posted_ = Posted{std::move(batch), last, count};
  else
    Append(failures, std::move(sent));
  return failures;
}

HwFailures DriverBackend::RunChunks(PortBatch& batch, size_t first, size_t end) {
  HwFailures failures;
  for (size_t from = first; from < end; from += pr::kMaxBatchOps) {
    const size_t to = std::min(end, from + pr::kMaxBatchOps);
    HwFailures chunk = SendChunk(batch, from, to);
    if (chunk.empty()) chunk = TakeChunkReply(batch, from, to);
    const bool ends = AnyEndsProgram(chunk);
    Append(failures, std::move(chunk));
    if (ends) break;
  }
  return failures;
}

HwFailures DriverBackend::SendChunk(const PortBatch& batch, size_t first, size_t end) {
  const std::vector<pr::BatchOp>& all = batch.Ops();
  const HwAccess access = AccessOf(batch, first);
  // Sources are numbered within the request; one read by an earlier request is a known value.
  std::vector<pr::BatchOp> ops(all.begin() + static_cast<ptrdiff_t>(first),
                               all.begin() + static_cast<ptrdiff_t>(end));
  for (size_t i = 0; i < ops.size(); ++i) {
    pr::BatchOp& op = ops[i];
    if (op.kind != pr::BatchKind::kWriteFrom) continue;
    if (op.source < first)
      op = {pr::BatchKind::kWrite, op.port, op.width, batch.WriteValue(first + i), 0, 0};
    else
      op.source -= static_cast<uint32_t>(first);
  }
  const std::vector<uint8_t> datagram = pr::EncodeBatchRequest(ops);

  // Sent on the kept connection without looking at it first: one the helper has closed refuses
  // the request unseen, and it goes once more on a new connection.
  if (portio_ && portio_->Send(datagram)) return {};
  portio_.reset();
  DeviceConnection* device = PortIo();
  if (!device) return DeviceMissing(access, refusal_);
  if (device->Send(datagram)) return {};
  portio_.reset();
  return NoUsableReply(access);
}

HwFailures DriverBackend::TakeChunkReply(PortBatch& batch, size_t first, size_t end) {
  const std::optional<pr::Reply> reply = portio_->Receive();
  if (reply && reply->status != pr::kStatusSuccess) return RunEachAccess(*this, batch, first, end);
  const size_t reads = CountReads(batch, first, end);
  if (!reply || reply->output.size() != 4 * reads) {
    // Nothing more goes on a connection whose replies are out of step.
    portio_.reset();
    return NoUsableReply(AccessOf(batch, first));
  }
  size_t k = 0;
  for (size_t i = first; i < end; ++i) {
    if (batch.Ops()[i].kind == pr::BatchKind::kRead) batch.SetValue(i, *reply->Word(4 * k++));
  }
  return {};
}

HwFailures DriverBackend::ReadBiosIdBytes(uint8_t dest[8]) {
  constexpr HwAccess kAccess = HwAccess::kBiosRead;
  std::string refusal;
  std::optional<DeviceConnection> device = DeviceConnection::Open(pr::kMapMemDevice, &refusal);
  if (!device) return {{HwError::kMemDeviceMissing, kAccess, refusal}};
  int viewFd = -1;
  const auto mapped = device->Transact(pr::kIoctlMapMemMap, 4, {}, &viewFd);
  // The view arrives as a descriptor; the reply's word is where the window starts inside it.
  // Only a view sealed against shrinking is mapped: reading one cut short under the mapping would
  // end the monitor with SIGBUS.
  struct stat st {};
  const int seals = viewFd >= 0 ? ::fcntl(viewFd, F_GET_SEALS) : -1;
  const bool haveView = Succeeded(mapped) && mapped->Word(0) && seals >= 0 &&
                        (seals & F_SEAL_SHRINK) != 0 && ::fstat(viewFd, &st) == 0 &&
                        st.st_size > 0 &&
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
  // The clock moves the board's registers: a refused posted batch is done before that.
  TakePostedReply();
  if (AnyEndsProgram(owed_)) return false;
  DeviceConnection* device = PortIo();
  if (!device) return false;
  const uint32_t input[] = {seconds};
  return Succeeded(device->Transact(pr::kIoctlPortIoAdvanceClock, 0, input));
}

}  // namespace velmo::hw
