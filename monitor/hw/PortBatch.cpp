#include "monitor/hw/PortBatch.h"

#include <algorithm>

#include "monitor/hw/PortBackend.h"

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

HwFailures RunEachAccess(PortBackend& backend, PortBatch& batch, size_t first, size_t end) {
  HwFailures failures;
  const std::vector<PortBatch::Op>& ops = batch.Ops();
  for (size_t i = first; i < std::min(end, ops.size()); ++i) {
    const PortBatch::Op& op = ops[i];
    HwFailures step;
    if (op.kind == PortBatch::Kind::kRead) {
      PortRead read = backend.ReadPort(op.port, op.width);
      batch.SetValue(i, read.value);
      step = std::move(read.failures);
    } else {
      step = backend.WritePort(op.port, op.width, batch.WriteValue(i));
    }
    bool ends = false;
    for (HwFailure& f : step) {
      ends = ends || EndsProgram(f.error);
      failures.push_back(std::move(f));
    }
    if (ends) break;
  }
  return failures;
}

}  // namespace velmo::hw
