#include "monitor/hw/PortAccess.h"

#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/ChipRegisters.h"
#include "monitor/hw/PciConfig.h"

namespace velmo::hw {

uint32_t PortAccess::ReadChipRegister(uint8_t index) {
  if (chipIoBase_ != 0) return ReadPort(static_cast<uint16_t>(chipIoBase_ + index), 1);
  const bool delay = !DriverMode();
  WritePort(kIndexPort, 1, index);
  if (delay) WritePort(kDelayPort, 1, 0);
  const uint32_t value = ReadPort(kDataPort, 1);
  if (delay) WritePort(kDelayPort, 1, 0);
  return value;
}

void PortAccess::WriteChipRegister(uint8_t index, uint8_t value) {
  if (chipIoBase_ != 0) {
    WritePort(static_cast<uint16_t>(chipIoBase_ + index), 1, value);
    return;
  }
  const bool delay = !DriverMode();
  WritePort(kIndexPort, 1, index);
  if (delay) WritePort(kDelayPort, 1, 0);
  WritePort(kDataPort, 1, value);
  if (delay) WritePort(kDelayPort, 1, 0);
}

void PortAccess::SelectChipBank(uint32_t bank) {
  if (chipIoBase_ != 0) return;  // the VIA block has no banks
  const uint32_t old = ReadChipRegister(kRegBankSelect.index);
  WriteChipRegister(kRegBankSelect.index, static_cast<uint8_t>((old & 0xF8) | (bank & 7)));
}

void PortAccess::ModifyChipRegisterBit(uint8_t index, uint32_t bit, bool set) {
  // Always the index/data pair and never a delay write, whatever ChipIoBase holds.
  const uint32_t mask = 1u << (bit % 32);
  WritePort(kIndexPort, 1, index);
  const uint32_t old = ReadPort(kDataPort, 1);
  WritePort(kIndexPort, 1, index);
  WritePort(kDataPort, 1, (set ? (old | mask) : (old & ~mask)) & 0xFF);
}

void PortAccess::SetChipRegisterBit(uint8_t index, uint32_t bit) {
  ModifyChipRegisterBit(index, bit, true);
}

void PortAccess::ClearChipRegisterBit(uint8_t index, uint32_t bit) {
  ModifyChipRegisterBit(index, bit, false);
}

uint32_t PortAccess::ReadPciConfig(uint32_t address, unsigned width) {
  return hw::ReadPciConfig(
      address, width,
      [this](uint16_t port, unsigned w, uint32_t value) { WritePort(port, w, value); },
      [this](uint16_t port, unsigned w) { return ReadPort(port, w); });
}

uint32_t PortAccess::ReadPciConfigDword(uint32_t address) {
  return ReadPciConfig(address, 4);
}

uint16_t PortAccess::ReadPciConfigWord(uint32_t address) {
  return static_cast<uint16_t>(ReadPciConfig(address, 2));
}

uint8_t PortAccess::ReadPciConfigByte(uint32_t address) {
  return static_cast<uint8_t>(ReadPciConfig(address, 1));
}

bool PortAccess::ProbeChipVendor() {
  WriteChipRegister(kRegBankSelect.index, 0x00);
  const uint32_t low = ReadChipRegister(kRegVendorId.index);
  WriteChipRegister(kRegBankSelect.index, kBankSelectVendorHigh);
  const uint32_t high = ReadChipRegister(kRegVendorId.index);
  return (low | (high << 8)) == kWinbondVendor;
}

bool PortAccess::ProbeChipId(uint8_t id) {
  WriteChipRegister(kRegBankSelect.index, 0x00);
  return ReadChipRegister(kRegChipId.index) == id;
}

bool PortAccess::ProbePciId(uint32_t address, uint32_t id) {
  return ReadPciConfigDword(address) == id;
}

bool PortAccess::DetectVia686aMonitor() {
  if (ReadPciConfigDword(kPciViaBridge) != kIdVia686a) return false;
  if ((ReadPciConfigByte(kPciViaMonCtl) & 1) == 0) {
    host_->OnHardwareFailure({HwError::kViaMonitorDisabled, HwAccess::kProbe, {}});
    return false;
  }
  chipIoBase_ = ReadPciConfigWord(kPciViaMonBase) & kViaMonBaseMask;
  return true;
}

}  // namespace velmo::hw
