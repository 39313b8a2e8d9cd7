#include "drivers/portio/PortIoDevice.h"

#include <algorithm>
#include <array>

#include "monitor/base/LittleEndian.h"
#include "monitor/protocol/SimClockProtocol.h"

namespace velmo::drivers {

namespace pr = protocol;

namespace {

pr::Reply Status(uint32_t status) {
  return pr::Reply{status, {}};
}

pr::Reply Value(uint32_t value) {
  pr::Reply reply;
  base::AppendLe32(reply.output, value);
  return reply;
}

bool TouchesPorts(uint32_t width) {
  return width == 1 || width == 2 || width == 4;
}

}  // namespace

PortIoDevice::PortIoDevice(hw::Bus& bus, PortAllowList allow, AdvanceClock advanceClock)
    : bus_(bus), allow_(std::move(allow)), advanceClock_(std::move(advanceClock)) {}

std::vector<uint8_t> PortIoDevice::Handle(uint64_t connection, std::span<const uint8_t> datagram) {
  const std::optional<pr::Request> request = pr::DecodeRequest(datagram);
  if (!request) return pr::EncodeReply(Status(pr::kStatusInvalidParameter));
  return pr::EncodeReply(Dispatch(connection, *request));
}

pr::Reply PortIoDevice::Dispatch(uint64_t connection, const pr::Request& request) {
  switch (request.code) {
    case pr::kIoctlPortIoOpen:
      return Open(connection, request);
    case pr::kIoctlPortIoRead:
      return Read(connection, request);
    case pr::kIoctlPortIoWrite:
      return Write(connection, request);
    case pr::kIoctlPortIoClose:
      return Close(connection, request);
    case pr::kIoctlPortIoBatch:
      return Batch(request);
    case pr::kIoctlPortIoAdvanceClock:
      return Advance(request);
    default:
      return Status(pr::kStatusInvalidParameter);
  }
}

pr::Reply PortIoDevice::Open(uint64_t connection, const pr::Request& request) {
  const auto base = request.Word(0), width = request.Word(4), count = request.Word(8);
  if (!base || !width || !count || request.outputCapacity < 4)
    return Status(pr::kStatusInvalidParameter);
  // An empty range could never be accessed; ports are 16-bit, so a range reaching past 0xFFFF
  // cannot be translated.
  if (*count == 0) return Status(pr::kStatusInvalidParameter);
  if (uint64_t{*base} + *count - 1 > 0xFFFF) return Status(pr::kStatusInvalidParameter);
  bool usable = !TouchesPorts(*width);  // such a width reads all ones and touches nothing
  for (uint64_t port = *base; port < uint64_t{*base} + *count; ++port) {
    if (!allow_.Names(static_cast<uint32_t>(port))) return Status(pr::kStatusAccessDenied);
    usable = usable || allow_.Allows(static_cast<uint32_t>(port), *width, PortDirection::kRead) ||
             allow_.Allows(static_cast<uint32_t>(port), *width, PortDirection::kWrite);
  }
  // A handle that every access would be refused on (0xCF8 as a byte, say) is not handed out.
  if (!usable) return Status(pr::kStatusAccessDenied);
  std::vector<GenericPort>& mine = ports_[connection];
  if (mine.size() >= kMaxPortsPerConnection) return Status(pr::kStatusInsufficientResources);
  const GenericPort port{NewHandle(), static_cast<uint16_t>(*base), *count, *width};
  mine.insert(mine.begin(), port);
  ++openCount_;
  return Value(port.handle);
}

pr::Reply PortIoDevice::Read(uint64_t connection, const pr::Request& request) {
  const auto handle = request.Word(0), offset = request.Word(4);
  if (!handle || !offset) return Status(pr::kStatusInvalidParameter);
  const GenericPort* port = Find(connection, *handle);
  if (!port || *offset >= port->count || request.outputCapacity < 4)
    return Status(pr::kStatusInvalidParameter);
  if (!TouchesPorts(port->width)) return Value(0xFFFFFFFFu);
  const uint32_t at = port->base + *offset;
  if (!allow_.Allows(at, port->width, PortDirection::kRead)) return Status(pr::kStatusAccessDenied);
  return Value(bus_.In(static_cast<uint16_t>(at), port->width));
}

pr::Reply PortIoDevice::Write(uint64_t connection, const pr::Request& request) {
  const auto handle = request.Word(0), offset = request.Word(4), value = request.Word(8);
  if (!handle || !offset || !value) return Status(pr::kStatusInvalidParameter);
  const GenericPort* port = Find(connection, *handle);
  if (!port || *offset >= port->count) return Status(pr::kStatusInvalidParameter);
  if (!TouchesPorts(port->width)) return Status(pr::kStatusSuccess);
  const uint32_t at = port->base + *offset;
  if (!allow_.Allows(at, port->width, PortDirection::kWrite))
    return Status(pr::kStatusAccessDenied);
  bus_.Out(static_cast<uint16_t>(at), port->width, *value);
  return Status(pr::kStatusSuccess);
}

pr::Reply PortIoDevice::Close(uint64_t connection, const pr::Request& request) {
  const auto handle = request.Word(0);
  if (!handle || !Find(connection, *handle)) return Status(pr::kStatusInvalidParameter);
  std::vector<GenericPort>& mine = ports_[connection];
  std::erase_if(mine, [&](const GenericPort& p) { return p.handle == *handle; });
  if (mine.empty()) ports_.erase(connection);
  --openCount_;
  return Status(pr::kStatusSuccess);
}

pr::Reply PortIoDevice::Batch(const pr::Request& request) {
  const std::optional<std::vector<pr::BatchOp>> ops = pr::DecodeBatchInput(request.input);
  if (!ops) return Status(pr::kStatusInvalidParameter);
  // Every operation is checked before the first port is touched: a batch runs whole or not. A
  // chip's accesses use a few ports over and over, so each port, width and direction that was
  // allowed once is not looked up again.
  size_t reads = 0;
  std::array<uint32_t, 8> allowed{};
  size_t known = 0;
  for (const pr::BatchOp& op : *ops) {
    const bool read = op.kind == pr::BatchKind::kRead;
    reads += read ? 1 : 0;
    const uint32_t key = uint32_t{op.port} | uint32_t{op.width} << 16 | (read ? 1u : 2u) << 24;
    const auto end = allowed.begin() + static_cast<ptrdiff_t>(known);
    if (std::find(allowed.begin(), end, key) != end) continue;
    if (!allow_.Allows(op.port, op.width, read ? PortDirection::kRead : PortDirection::kWrite))
      return Status(pr::kStatusAccessDenied);
    if (known < allowed.size()) allowed[known++] = key;
  }
  if (request.outputCapacity < 4 * reads) return Status(pr::kStatusBufferTooSmall);
  std::vector<uint32_t> values(ops->size(), 0);
  pr::Reply reply;
  reply.output.reserve(4 * reads);
  for (size_t i = 0; i < ops->size(); ++i) {
    const pr::BatchOp& op = (*ops)[i];
    switch (op.kind) {
      case pr::BatchKind::kRead:
        values[i] = bus_.In(op.port, op.width);
        base::AppendLe32(reply.output, values[i]);
        break;
      case pr::BatchKind::kWrite:
        bus_.Out(op.port, op.width, op.value);
        break;
      case pr::BatchKind::kWriteFrom:
        bus_.Out(op.port, op.width, pr::BatchWriteValue(op, values[op.source]));
        break;
    }
  }
  return reply;
}

pr::Reply PortIoDevice::Advance(const pr::Request& request) {
  const auto seconds = request.Word(0);
  if (!advanceClock_ || !seconds) return Status(pr::kStatusInvalidParameter);
  advanceClock_(*seconds);
  return Status(pr::kStatusSuccess);
}

GenericPort* PortIoDevice::Find(uint64_t connection, uint32_t handle) {
  if (handle == 0) return nullptr;
  const auto it = ports_.find(connection);
  if (it == ports_.end()) return nullptr;
  for (GenericPort& port : it->second) {
    if (port.handle == handle) return &port;
  }
  return nullptr;
}

uint32_t PortIoDevice::NewHandle() {
  // A counter, never 0 and never one still open anywhere (it only matters after 2^32 opens).
  for (;;) {
    if (++lastHandle_ == 0) continue;
    bool inUse = false;
    for (const auto& [connection, list] : ports_) {
      for (const GenericPort& port : list)
        inUse = inUse || port.handle == lastHandle_;
    }
    if (!inUse) return lastHandle_;
  }
}

size_t PortIoDevice::Disconnect(uint64_t connection) {
  const auto it = ports_.find(connection);
  if (it == ports_.end()) return 0;
  const size_t released = it->second.size();
  openCount_ -= released;
  ports_.erase(it);
  return released;
}

}  // namespace velmo::drivers
