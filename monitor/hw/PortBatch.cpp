#include "monitor/hw/PortBatch.h"

#include <algorithm>

namespace velmo::hw {

PortBatch::Slot PortBatch::Push(Op op) {
  ops_.push_back(op);
  values_.push_back(PortRead::kFailedReadValue);
  return {ops_.size() - 1};
}

PortBatch::Slot PortBatch::Read(uint16_t port, unsigned width) {
  return Push({Kind::kRead, port, static_cast<uint8_t>(width), 0, 0, 0});
}

void PortBatch::Write(uint16_t port, unsigned width, uint32_t value) {
  Push({Kind::kWrite, port, static_cast<uint8_t>(width), value, 0, 0});
}

void PortBatch::WriteFrom(uint16_t port, unsigned width, Slot source, uint32_t andMask,
                          uint32_t orMask) {
  Push({Kind::kWriteFrom, port, static_cast<uint8_t>(width), orMask, andMask,
        static_cast<uint32_t>(source.op)});
}

uint32_t PortBatch::WriteValue(size_t op) const {
  const Op& o = ops_[op];
  if (o.kind == Kind::kWriteFrom) return protocol::BatchWriteValue(o, values_[o.source]);
  return o.value;
}

}  // namespace velmo::hw
