// The portio device: OPEN, READ, WRITE and CLOSE of port ranges, and BATCH runs of accesses, for
// the clients of one helper, as pure request handling (datagram in, reply out) over a bus and an
// allow-list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "drivers/common/DeviceServer.h"
#include "drivers/portio/PortAllowList.h"
#include "monitor/hw/Bus.h"
#include "monitor/protocol/DriverProtocol.h"

namespace velmo::drivers {

// One open port range, named to its connection by an opaque non-zero handle.
struct GenericPort {
  uint32_t handle = 0;
  uint16_t base = 0;
  uint32_t count = 0;
  uint32_t width = 0;  // 1, 2 or 4 touch ports; any other width reads all ones, writes nothing
};

class PortIoDevice : public RequestHandler {
 public:
  // Port objects one connection may hold at once; OPEN beyond it gets 0xC000009A.
  static constexpr size_t kMaxPortsPerConnection = 64;
  using AdvanceClock = std::function<void(uint32_t seconds)>;

  // `advanceClock` serves the private clock request; without it that request is refused.
  PortIoDevice(hw::Bus& bus, PortAllowList allow, AdvanceClock advanceClock = {});

  // Answers one request datagram of `connection`. Never fails: a malformed request gets an
  // error status.
  std::vector<uint8_t> Handle(uint64_t connection, std::span<const uint8_t> datagram);
  ServedReply Serve(uint64_t connection, std::span<const uint8_t> datagram) override {
    return {Handle(connection, datagram), -1};
  }
  size_t Disconnect(uint64_t connection) override;
  size_t OpenObjects() const override { return openCount_; }
  size_t ObjectsOf(uint64_t connection) const override {
    const auto it = ports_.find(connection);
    return it == ports_.end() ? 0 : it->second.size();
  }

 private:
  protocol::Reply Dispatch(uint64_t connection, const protocol::Request& request);
  protocol::Reply Open(uint64_t connection, const protocol::Request& request);
  protocol::Reply Read(uint64_t connection, const protocol::Request& request);
  protocol::Reply Write(uint64_t connection, const protocol::Request& request);
  protocol::Reply Close(uint64_t connection, const protocol::Request& request);
  protocol::Reply Batch(const protocol::Request& request);
  protocol::Reply Advance(const protocol::Request& request);
  // The connection's object named by `handle`; null for 0, unknown or another connection's.
  GenericPort* Find(uint64_t connection, uint32_t handle);
  uint32_t NewHandle();

  hw::Bus& bus_;
  PortAllowList allow_;
  AdvanceClock advanceClock_;
  std::map<uint64_t, std::vector<GenericPort>> ports_;  // per connection, newest first
  size_t openCount_ = 0;
  uint32_t lastHandle_ = 0;
};

}  // namespace velmo::drivers
