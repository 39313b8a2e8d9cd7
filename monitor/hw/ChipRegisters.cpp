#include "monitor/hw/ChipRegisters.h"

#include "monitor/hw/PortAccess.h"

namespace velmo::hw {

namespace {
constexpr uint8_t kTripOverTemperature = 127;
constexpr uint8_t kTripHysteresis = 126;
constexpr uint32_t kRestartControlBit = 24;
}  // namespace

uint32_t ReadRegister(PortAccess& ports, ChipRegister reg) {
  if (reg.bank == 0) return ports.ReadChipRegister(reg.index);
  return ReadInBank(ports, reg.bank, reg.index);
}

void AssignBit(PortAccess& ports, ChipBit bit, bool on) {
  const bool banked = bit.reg.bank != 0;
  if (banked) ports.SelectChipBank(bit.reg.bank);
  if (on)
    ports.SetChipRegisterBit(bit.reg.index, bit.bit);
  else
    ports.ClearChipRegisterBit(bit.reg.index, bit.bit);
  if (banked) ports.SelectChipBank(0);
}

uint32_t ReadInBank(PortAccess& ports, uint32_t bank, uint8_t index) {
  ports.SelectChipBank(bank);
  const uint32_t value = ports.ReadChipRegister(index);
  ports.SelectChipBank(0);
  return value;
}

void WriteRestartTripLimits(PortAccess& ports, std::span<const TripLimitRegisters> sensors) {
  for (const TripLimitRegisters& s : sensors) {
    ports.SelectChipBank(s.bank);
    ports.WriteChipRegister(s.overTemperature, kTripOverTemperature);
    ports.WriteChipRegister(s.hysteresis, kTripHysteresis);
  }
  ports.SelectChipBank(0);
  ports.SetChipRegisterBit(kRegSmiOvtControl.index, kRestartControlBit);
}

}  // namespace velmo::hw
