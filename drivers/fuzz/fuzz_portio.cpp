// libFuzzer target: the portio request decoder over a session of requests. It traps when a
// reply is malformed, when a port outside the allow-list is touched, when a refused batch
// touched any port or a served one not each of its accesses, or when objects outlive their
// connection.
#include <cstdint>

#include "FuzzInput.h"
#include "drivers/portio/PortIoDevice.h"
#include "monitor/protocol/DriverProtocol.h"

namespace {

using velmo::drivers::PortAllowList;
using velmo::drivers::PortDirection;
namespace pr = velmo::protocol;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Answers with a value made of the port; every access must be one the allow-list permits.
class CheckingBus : public velmo::hw::Bus {
 public:
  explicit CheckingBus(const PortAllowList& allow) : allow_(allow) {}
  uint32_t In(uint16_t port, unsigned width) override {
    Check(allow_.Allows(port, width, PortDirection::kRead));
    ++accesses;
    return port * 0x9E3779B1u;
  }
  void Out(uint16_t port, unsigned width, uint32_t) override {
    Check(allow_.Allows(port, width, PortDirection::kWrite));
    ++accesses;
  }
  size_t accesses = 0;
  bool ReadPhysical(uint64_t, uint8_t*, size_t, std::string*) override { return false; }

 private:
  const PortAllowList& allow_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const PortAllowList allow = PortAllowList::ForMonitor(0x6000);
  CheckingBus bus(allow);
  uint32_t advanced = 0;
  velmo::drivers::PortIoDevice device(bus, allow, [&advanced](uint32_t s) { advanced += s; });

  velmo::fuzz::StepReader reader({data, size});
  velmo::fuzz::Step step;
  while (reader.Next(&step)) {
    if (step.disconnect) {
      device.Disconnect(step.connection);
      continue;
    }
    const size_t accessesBefore = bus.accesses;
    const std::vector<uint8_t> bytes = device.Handle(step.connection, step.datagram);
    const size_t accesses = bus.accesses - accessesBefore;
    const auto reply = pr::DecodeReply(bytes);
    Check(reply.has_value());
    const auto request = pr::DecodeRequest(step.datagram);
    const bool batch = request && request->code == pr::kIoctlPortIoBatch;
    if (reply->status == pr::kStatusSuccess) {
      Check(request.has_value());
      Check(reply->output.size() <= request->outputCapacity);
      if (batch) {
        // Every access done, and one value for each read.
        const auto ops = pr::DecodeBatchInput(request->input);
        Check(ops.has_value());
        size_t reads = 0;
        for (const pr::BatchOp& op : *ops)
          reads += op.kind == pr::BatchKind::kRead ? 1 : 0;
        Check(accesses == ops->size());
        Check(reply->output.size() == 4 * reads);
      } else {
        Check(reply->output.size() == 0 || reply->output.size() == 4);
        Check(accesses <= 1);
      }
      if (request->code == pr::kIoctlPortIoOpen) Check(reply->Word(0).value_or(0) != 0);
    } else {
      Check(reply->output.empty());
      Check(accesses == 0);  // a refused request, a batch above all, touched nothing
    }
    Check(device.OpenObjects() <=
          velmo::fuzz::kConnections * velmo::drivers::PortIoDevice::kMaxPortsPerConnection);
  }
  for (uint64_t c = 0; c < velmo::fuzz::kConnections; ++c)
    device.Disconnect(c);
  Check(device.OpenObjects() == 0);
  return 0;
}
