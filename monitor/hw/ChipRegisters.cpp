#include "monitor/hw/ChipRegisters.h"

#include "monitor/hw/ChipBatch.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::hw {

namespace {
constexpr uint8_t kTripOverTemperature = 127;
constexpr uint8_t kTripHysteresis = 126;
constexpr uint32_t kRestartControlBit = 24;
}  // namespace

PortBatchSlot ReadRegister(ChipBatch& batch, ChipRegister reg) {
  if (reg.bank == 0) return batch.ReadChipRegister(reg.index);
  return ReadInBank(batch, reg.bank, reg.index);
}

void AssignBit(ChipBatch& batch, ChipBit bit, bool on) {
  const bool banked = bit.reg.bank != 0;
  if (banked) batch.SelectChipBank(bit.reg.bank);
  if (on)
    batch.SetChipRegisterBit(bit.reg.index, bit.bit);
  else
    batch.ClearChipRegisterBit(bit.reg.index, bit.bit);
  if (banked) batch.SelectChipBank(0);
}

PortBatchSlot ReadInBank(ChipBatch& batch, uint32_t bank, uint8_t index) {
  batch.SelectChipBank(bank);
  const PortBatchSlot value = batch.ReadChipRegister(index);
  batch.SelectChipBank(0);
  return value;
}

uint32_t ReadRegister(PortAccess& ports, ChipRegister reg) {
  ChipBatch batch(ports);
  const PortBatchSlot value = ReadRegister(batch, reg);
  batch.Run();
  return batch.Value(value);
}

void AssignBit(PortAccess& ports, ChipBit bit, bool on) {
  ChipBatch batch(ports);
  AssignBit(batch, bit, on);
  batch.Run();
}

uint32_t ReadInBank(PortAccess& ports, uint32_t bank, uint8_t index) {
  ChipBatch batch(ports);
  const PortBatchSlot value = ReadInBank(batch, bank, index);
  batch.Run();
  return batch.Value(value);
}

void WriteRestartTripLimits(PortAccess& ports, std::span<const TripLimitRegisters> sensors) {
  ChipBatch batch(ports);
  for (const TripLimitRegisters& s : sensors) {
    batch.SelectChipBank(s.bank);
    batch.WriteChipRegister(s.overTemperature, kTripOverTemperature);
    batch.WriteChipRegister(s.hysteresis, kTripHysteresis);
  }
  batch.SelectChipBank(0);
  batch.SetChipRegisterBit(kRegSmiOvtControl.index, kRestartControlBit);
  batch.Run();
}

}  // namespace velmo::hw
