// Monitor-chip register accesses queued on a port batch and run in one go: queue the accesses,
// keep the slots of the reads, Run(), then take the values. Each operation queues exactly the
// port accesses of the PortAccess operation of the same name (those are built from these), so
// batching never changes what the chip sees.
#pragma once

#include <cstdint>
#include <utility>

#include "monitor/hw/PortAccess.h"
#include "monitor/hw/PortBatch.h"

namespace velmo::hw {

class ChipBatch {
 public:
  using Slot = PortBatch::Slot;

  explicit ChipBatch(PortAccess& ports) : ports_(ports) {}

  Slot ReadChipRegister(uint8_t index);
  void WriteChipRegister(uint8_t index, uint8_t value);
  // Register 0x4E gets (its old value AND 0xF8) OR (bank AND 7); nothing on the VIA block.
  void SelectChipBank(uint32_t bank);
  // Read-modify-write of one bit on the index/data pair; the bit number is taken modulo 32.
  void SetChipRegisterBit(uint8_t index, uint32_t bit);
  void ClearChipRegisterBit(uint8_t index, uint32_t bit);

  // Runs what is queued; failures go to the host as single accesses' would.
  void Run() { ports_.Run(batch_); }
  // Runs what is queued without waiting for it, when no read's value is wanted (PortAccess::Post);
  // the batch is then empty and Value no longer means anything.
  void Post() { ports_.Post(std::exchange(batch_, {})); }
  // A read's value once run (PortRead::kFailedReadValue when it failed).
  uint32_t Value(Slot slot) const { return batch_.Value(slot); }
  const PortBatch& Ports() const { return batch_; }

 private:
  // The index port, then the data port, each followed by a delay write in direct mode.
  void SelectIndex(uint8_t index);
  void Delay();
  void ModifyBit(uint8_t index, uint32_t bit, bool set);

  PortAccess& ports_;
  PortBatch batch_;
};

}  // namespace velmo::hw
