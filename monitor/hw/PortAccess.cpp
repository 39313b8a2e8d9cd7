#include "monitor/hw/PortAccess.h"

#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/ChipRegisterMap.h"
#include "monitor/hw/PciConfig.h"

namespace velmo::hw {

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
