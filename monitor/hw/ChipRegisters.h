// The one way to reach a banked register of the Winbond-family monitor chips: select its bank,
// access it, select bank 0 again. Bank 0 is where the chip rests between accesses, so its registers
// are reached without a bank switch.
#pragma once

#include <cstdint>
#include <span>

#include "monitor/hw/ChipRegisterMap.h"
#include "monitor/hw/PortBatch.h"

namespace velmo::hw {

class PortAccess;
class ChipBatch;
using PortBatchSlot = PortBatch::Slot;

// Each accessor comes twice: on PortAccess it runs at once; on a ChipBatch it queues the same
// accesses and hands out the slot of the value (ChipBatch.h).

// Reads a named register; a bank other than 0 is selected for the access and left again.
uint32_t ReadRegister(PortAccess& ports, ChipRegister reg);
PortBatchSlot ReadRegister(ChipBatch& batch, ChipRegister reg);
// Sets (`on`) or clears one bit by read-modify-write, with the same bank rule.
void AssignBit(PortAccess& ports, ChipBit bit, bool on);
void AssignBit(ChipBatch& batch, ChipBit bit, bool on);

// Reads register `index` of `bank` with the bank selected around it, bank 0 included: the banks
// of the channel registers are data, so the read never relies on the bank the chip is in.
uint32_t ReadInBank(PortAccess& ports, uint32_t bank, uint8_t index);
PortBatchSlot ReadInBank(ChipBatch& batch, uint32_t bank, uint8_t index);

// The over-temperature and hysteresis registers of one temperature sensor, in its bank.
struct TripLimitRegisters {
  uint32_t bank;
  uint8_t overTemperature;
  uint8_t hysteresis;
};
// Before a restart: every sensor's limits go to 127/126 (each written in its bank, bank 0
// afterwards), so that the chip's over-temperature output trips while the machine restarts; then
// the read-modify-write of bit 24 of the SMI/OVT control register (a bit the 8-bit register does
// not have: it is written back unchanged; which bit the boards would want is not known).
void WriteRestartTripLimits(PortAccess& ports, std::span<const TripLimitRegisters> sensors);

}  // namespace velmo::hw
