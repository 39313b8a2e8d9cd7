#include "monitor/hw/ChipBatch.h"

#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/ChipRegisterMap.h"

namespace velmo::hw {

void ChipBatch::Delay() {
  // The bus delay after each index or data access of the pair, in direct mode only.
  if (!ports_.DriverMode()) batch_.Write(kDelayPort, 1, 0);
}

void ChipBatch::SelectIndex(uint8_t index) {
  batch_.Write(kIndexPort, 1, index);
  Delay();
}

ChipBatch::Slot ChipBatch::ReadChipRegister(uint8_t index) {
  if (ports_.ChipIoBase() != 0)
    return batch_.Read(static_cast<uint16_t>(ports_.ChipIoBase() + index), 1);
  SelectIndex(index);
  const Slot value = batch_.Read(kDataPort, 1);
  Delay();
  return value;
}

void ChipBatch::WriteChipRegister(uint8_t index, uint8_t value) {
  if (ports_.ChipIoBase() != 0) {
    batch_.Write(static_cast<uint16_t>(ports_.ChipIoBase() + index), 1, value);
    return;
  }
  SelectIndex(index);
  batch_.Write(kDataPort, 1, value);
  Delay();
}

void ChipBatch::SelectChipBank(uint32_t bank) {
  if (ports_.ChipIoBase() != 0) return;  // the VIA block has no banks
  const Slot old = ReadChipRegister(kRegBankSelect.index);
  SelectIndex(kRegBankSelect.index);
  batch_.WriteFrom(kDataPort, 1, old, 0xF8, bank & 7);
  Delay();
}

void ChipBatch::ModifyBit(uint8_t index, uint32_t bit, bool set) {
  // Always the index/data pair and never a delay write, whatever ChipIoBase holds.
  const uint32_t mask = 1u << (bit % 32);
  batch_.Write(kIndexPort, 1, index);
  const Slot old = batch_.Read(kDataPort, 1);
  batch_.Write(kIndexPort, 1, index);
  if (set)
    batch_.WriteFrom(kDataPort, 1, old, 0xFFFFFFFFu, mask);
  else
    batch_.WriteFrom(kDataPort, 1, old, ~mask, 0);
}

void ChipBatch::SetChipRegisterBit(uint8_t index, uint32_t bit) {
  ModifyBit(index, bit, true);
}

void ChipBatch::ClearChipRegisterBit(uint8_t index, uint32_t bit) {
  ModifyBit(index, bit, false);
}

// PortAccess's chip operations: each is a batch of one operation, run at once.

uint32_t PortAccess::ReadChipRegister(uint8_t index) {
  ChipBatch batch(*this);
  const ChipBatch::Slot value = batch.ReadChipRegister(index);
  batch.Run();
  return batch.Value(value);
}

void PortAccess::WriteChipRegister(uint8_t index, uint8_t value) {
  ChipBatch batch(*this);
  batch.WriteChipRegister(index, value);
  batch.Run();
}

void PortAccess::SelectChipBank(uint32_t bank) {
  ChipBatch batch(*this);
  batch.SelectChipBank(bank);
  batch.Run();
}

void PortAccess::SetChipRegisterBit(uint8_t index, uint32_t bit) {
  ChipBatch batch(*this);
  batch.SetChipRegisterBit(index, bit);
  batch.Run();
}

void PortAccess::ClearChipRegisterBit(uint8_t index, uint32_t bit) {
  ChipBatch batch(*this);
  batch.ClearChipRegisterBit(index, bit);
  batch.Run();
}

}  // namespace velmo::hw
