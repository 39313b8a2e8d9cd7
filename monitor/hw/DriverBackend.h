// The driver back-end: port accesses are requests to the portio helper service and the BIOS read
// a conversation with mapmem, over the driver request protocol on their Unix sockets. One
// connection to portio is kept open and opened again when the helper went away; a batch of
// accesses travels as one request, and one whose values nobody uses is not waited for.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "monitor/hw/PortBackend.h"
#include "monitor/protocol/DriverProtocol.h"

namespace velmo::hw {

// One open device handle: a connection to a helper's socket.
class DeviceConnection {
 public:
  // Connects to `device` (kPortIoDevice, kMapMemDevice) in the device directory; nullopt when
  // nothing serves it or this process may not connect.
  // A server that is neither root nor this user is not used: nullopt, with `refusal` saying so.
  static std::optional<DeviceConnection> Open(const char* device, std::string* refusal = nullptr);
  ~DeviceConnection();
  DeviceConnection(DeviceConnection&& other) noexcept : fd_(other.fd_), broken_(other.broken_) {
    other.fd_ = -1;
  }
  DeviceConnection& operator=(DeviceConnection&& other) noexcept;

  // Sends one request and waits for its reply. nullopt when either cannot be moved, the reply
  // is malformed, or the helper does not answer within the time-out. When `receivedFd` is given,
  // a descriptor passed with the reply lands there (-1 when none); the caller closes it.
  std::optional<protocol::Reply> Transact(uint32_t code, uint32_t outputCapacity,
                                          std::span<const uint32_t> input,
                                          int* receivedFd = nullptr);
  // The same for a datagram built by the caller.
  std::optional<protocol::Reply> TransactRaw(std::span<const uint8_t> datagram,
                                             int* receivedFd = nullptr);
  // The two halves of TransactRaw, for a request whose reply is taken later: Send is false when
  // the request could not be sent; Receive waits for the reply of the request sent last. Nothing
  // else may be sent in between.
  bool Send(std::span<const uint8_t> datagram);
  std::optional<protocol::Reply> Receive(int* receivedFd = nullptr);
  // False once the helper has closed its end (or the socket failed): between two requests
  // nothing may be readable. Costs one non-blocking poll, no wake-up of the helper.
  bool Alive() const;

 private:
  explicit DeviceConnection(int fd) : fd_(fd) {}
  int fd_;
  // Set by a request that got no reply: a late reply must never pass for the next one's, so
  // nothing more is sent on this connection.
  bool broken_ = false;
};

class DriverBackend : public PortBackend {
 public:
  // What ReadPort returns when READ fails: the output variable's initial value (all ones, the
  // value of an absent port).
  static constexpr uint32_t kFailedReadValue = PortRead::kFailedReadValue;

  DriverBackend() = default;
  // Takes the reply a posted batch still owes (a refused one is still done access by access);
  // what it shows is lost, so an owner that cares calls Settle first.
  ~DriverBackend() override;
  DriverBackend(const DriverBackend&) = delete;
  DriverBackend& operator=(const DriverBackend&) = delete;

  // One access: the conversation OPEN, READ or WRITE, CLOSE, each step's failure reported.
  PortRead ReadPort(uint16_t port, unsigned width) override;
  HwFailures WritePort(uint16_t port, unsigned width, uint32_t value) override;
  // The batch as IOCTL_PORTIO_BATCH requests (one per kMaxBatchOps accesses). A batch the helper
  // refuses, whatever the status, is done again access by access as conversations, so the
  // accesses it may do are done and each refused one shows the messages of its conversation. A
  // batch sent that gets no reply shows the failure of its first access (the helper may or may
  // not have done it); the next access finds the helper again or reports it gone.
  HwFailures RunBatch(PortBatch& batch) override;
  // Sends the batch's last request (the accesses past the last multiple of kMaxBatchOps; any
  // before run as RunBatch does) and returns once it is sent. Its reply is taken before the next
  // request on the connection, or by Settle, and acted on as RunBatch would: served, nothing;
  // refused, done again access by access before anything else touches the chip; no usable
  // reply, the failure of its first access. Every call returns these failures first.
  HwFailures PostBatch(PortBatch batch) override;
  HwFailures Settle() override;
  HwFailures ReadBiosIdBytes(uint8_t dest[8]) override;
  bool IsDriver() const override { return true; }

  // True when both helpers accept a connection in the device directory now.
  static bool Reachable();
  // Advances the simulated clock of the board that portio serves. False when portio is not
  // reachable or refuses (it serves the real machine); no message is shown. A posted batch's
  // reply is taken first; its failures come with the next call.
  bool AdvanceSimulatedClock(uint32_t seconds);

 private:
  // A batch whose accesses [first, end) went as the request last sent on portio_, its reply not
  // yet taken.
  struct Posted {
    PortBatch batch;
    size_t first;
    size_t end;
  };

  // The portio connection: the open one while the helper keeps it, else a new one; null when
  // nothing serves the device. Only once no reply is owed on it.
  DeviceConnection* PortIo();
  // Accesses [first, end) of the batch, one request per kMaxBatchOps, each answered before the
  // next is sent.
  HwFailures RunChunks(PortBatch& batch, size_t first, size_t end);
  // Sends accesses [first, end) as one request, on a new connection when the helper had closed
  // the kept one; the failure when it could not be sent.
  HwFailures SendChunk(const PortBatch& batch, size_t first, size_t end);
  // Takes the reply of the chunk just sent and acts on it.
  HwFailures TakeChunkReply(PortBatch& batch, size_t first, size_t end);
  // Takes the posted batch's reply, if one is owed, and adds what it shows to owed_.
  void TakePostedReply();

  std::optional<DeviceConnection> portio_;
  std::string refusal_;  // why the last connection to portio was not used, if it was refused
  std::optional<Posted> posted_;
  HwFailures owed_;  // failures of a posted batch not yet returned
};

}  // namespace velmo::hw
