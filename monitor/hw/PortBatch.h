// A run of port accesses queued first and done in order in one go: reads hand out a slot whose
// value is there once the batch has run, and a write may take its value from an earlier read of
// the same batch (a read-modify-write). The driver back-end sends a whole batch to the helper in
// one request; every other back-end does the accesses one by one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "monitor/hw/HwError.h"
#include "monitor/protocol/DriverProtocol.h"

namespace velmo::hw {

class PortBatch {
 public:
  using Op = protocol::BatchOp;
  using Kind = protocol::BatchKind;
  // Names a read of the batch.
  struct Slot {
    size_t op;
  };

  Slot Read(uint16_t port, unsigned width);
  void Write(uint16_t port, unsigned width, uint32_t value);
  // Writes ((value read at `source`) AND andMask) OR orMask, cut to `width` bytes.
  void WriteFrom(uint16_t port, unsigned width, Slot source, uint32_t andMask, uint32_t orMask);

  const std::vector<Op>& Ops() const { return ops_; }
  bool Empty() const { return ops_.empty(); }
  // What a read gave once the batch ran; PortRead::kFailedReadValue when it failed or has not
  // run.
  uint32_t Value(Slot slot) const { return values_[slot.op]; }
  // Filled in by the back-end that runs the batch.
  void SetValue(size_t op, uint32_t value) { values_[op] = value; }
  // The value operation `op` (a write) writes, from the values read so far.
  uint32_t WriteValue(size_t op) const;

 private:
  Slot Push(Op op);
  std::vector<Op> ops_;
  std::vector<uint32_t> values_;  // per operation; only reads' entries mean anything
};

}  // namespace velmo::hw
