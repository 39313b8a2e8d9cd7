// The driver back-end: every port access is one conversation with the portio helper service and
// the BIOS read one with mapmem, over the driver request protocol on their Unix sockets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "monitor/hw/DriverProtocol.h"
#include "monitor/hw/PortBackend.h"

namespace velmo::hw {

// One open device handle: a connection to a helper's socket.
class DeviceConnection {
 public:
  // Connects to `device` (kPortIoDevice, kMapMemDevice) in the device directory; nullopt when
  // nothing serves it or this process may not connect.
  static std::optional<DeviceConnection> Open(const char* device);
  ~DeviceConnection();
  DeviceConnection(DeviceConnection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
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

 private:
  explicit DeviceConnection(int fd) : fd_(fd) {}
  int fd_;
};

class DriverBackend : public PortBackend {
 public:
  // What ReadPort returns when READ fails: the output variable's initial value (all ones, the
  // value of an absent port).
  static constexpr uint32_t kFailedReadValue = PortRead::kFailedReadValue;

  PortRead ReadPort(uint16_t port, unsigned width) override;
  HwFailures WritePort(uint16_t port, unsigned width, uint32_t value) override;
  HwFailures ReadBiosIdBytes(uint8_t dest[8]) override;
  bool IsDriver() const override { return true; }

  // True when both helpers accept a connection in the device directory now.
  static bool Reachable();
  // Advances the simulated clock of the board that portio serves. False when portio is not
  // reachable or refuses (it serves the real machine); no message is shown.
  bool AdvanceSimulatedClock(uint32_t seconds);
};

}  // namespace velmo::hw
