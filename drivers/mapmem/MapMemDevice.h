// The mapmem device: MAP and UNMAP of one physical-memory window for the clients of one helper,
// as pure request handling (datagram in, reply and view descriptor out) over a bus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>

#include "drivers/common/DeviceServer.h"
#include "drivers/mapmem/MapMemWindow.h"
#include "drivers/mapmem/SealedView.h"
#include "monitor/base/Warning.h"
#include "monitor/hw/Bus.h"
#include "monitor/protocol/DriverProtocol.h"

namespace velmo::drivers {

class MapMemDevice : public RequestHandler {
 public:
  MapMemDevice(hw::Bus& bus, MapMemWindow window, base::WarningSink log = {});

  // Answers one request datagram of `connection`. A successful MAP carries the descriptor of
  // the connection's view (owned by the device until UNMAP or disconnect) and, as its 4-byte
  // output, the offset of the window's first byte inside that view.
  ServedReply Serve(uint64_t connection, std::span<const uint8_t> datagram) override;
  size_t Disconnect(uint64_t connection) override;
  size_t OpenObjects() const override { return mappings_.size(); }
  size_t ObjectsOf(uint64_t connection) const override { return mappings_.count(connection); }

  const MapMemWindow& Window() const { return window_; }

 private:
  struct Mapping {
    ViewLayout layout;
    std::unique_ptr<SealedView> view;
  };
  ServedReply Map(uint64_t connection, const protocol::Request& request);
  // The view's bytes: zero but for the window, read from the bus. Returns a status.
  uint32_t CreateMapping(Mapping* mapping);

  hw::Bus& bus_;
  MapMemWindow window_;
  base::WarningSink log_;
  std::map<uint64_t, Mapping> mappings_;  // at most one per connection
};

}  // namespace velmo::drivers
