#include "monitor/hw/PortBackend.h"

#include <algorithm>

namespace velmo::hw {

HwFailures PortBackend::RunBatch(PortBatch& batch) {
  return RunEachAccess(*this, batch);
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
