// libFuzzer target: the mapmem request decoder over a session of requests, with a window taken
// from the input. It traps when a reply is malformed, a view does not match the page
// arithmetic, or a mapping outlives its connection.
#include <sys/stat.h>

#include <cstdint>
#include <cstring>

#include "FuzzInput.h"
#include "drivers/mapmem/MapMemDevice.h"
#include "monitor/base/LittleEndian.h"
#include "monitor/protocol/DriverProtocol.h"

namespace {

namespace pr = velmo::protocol;
using velmo::drivers::MapMemWindow;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Memory that reads only inside the window (and not at all when `broken`).
class WindowBus : public velmo::hw::Bus {
 public:
  WindowBus(MapMemWindow window, bool broken) : window_(window), broken_(broken) {}
  uint32_t In(uint16_t, unsigned) override { return 0xFFFFFFFF; }
  void Out(uint16_t, unsigned, uint32_t) override {}
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string*) override {
    Check(address >= window_.address &&
          address + length <= uint64_t{window_.address} + window_.length);
    if (broken_) return false;
    std::memset(dest, 0xA5, length);
    return true;
  }

 private:
  MapMemWindow window_;
  bool broken_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  // The window: any 32-bit address, up to two pages long (enough to cross a page boundary).
  MapMemWindow window;
  window.address = velmo::base::LoadLe32(data);
  window.length = 1 + (data[4] & 0x7F) * 64;
  if (uint64_t{window.address} + window.length > 0x100000000ull) return 0;
  const bool broken = (data[4] & 0x80) != 0;
  WindowBus bus(window, broken);
  velmo::drivers::MapMemDevice device(bus, window);
  const velmo::drivers::ViewLayout layout = velmo::drivers::LayoutView(window);
  Check(layout.base % MapMemWindow::kPageSize == 0 && layout.size % MapMemWindow::kPageSize == 0);
  Check(layout.base + layout.offset == window.address);
  Check(layout.offset + window.length <= layout.size);
  Check(layout.size - (layout.offset + window.length) < MapMemWindow::kPageSize);

  velmo::fuzz::StepReader reader({data + 5, size - 5});
  velmo::fuzz::Step step;
  while (reader.Next(&step)) {
    if (step.disconnect) {
      device.Disconnect(step.connection);
      continue;
    }
    const velmo::drivers::ServedReply served = device.Serve(step.connection, step.datagram);
    const auto reply = pr::DecodeReply(served.datagram);
    Check(reply.has_value());
    if (reply->status != pr::kStatusSuccess) {
      Check(reply->output.empty() && served.fd < 0);
      continue;
    }
    const auto request = pr::DecodeRequest(step.datagram);
    Check(request.has_value());
    if (request->code == pr::kIoctlMapMemMap) {
      Check(!broken);
      Check(reply->Word(0) == layout.offset);
      struct stat st {};
      Check(served.fd >= 0 && ::fstat(served.fd, &st) == 0);
      Check(static_cast<uint64_t>(st.st_size) == layout.size);
    } else {
      Check(reply->output.empty() && served.fd < 0);
    }
    Check(device.OpenObjects() <= velmo::fuzz::kConnections);
  }
  for (uint64_t c = 0; c < velmo::fuzz::kConnections; ++c)
    device.Disconnect(c);
  Check(device.OpenObjects() == 0);
  return 0;
}
