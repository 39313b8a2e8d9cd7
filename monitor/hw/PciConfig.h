// PCI configuration reads through configuration mechanism 1 (the address latch at 0xCF8, the four
// data byte lanes at 0xCFC-0xCFF), and the configuration addresses the monitor reads.
#pragma once

#include <cstdint>

#include "monitor/hw/ChipPorts.h"

namespace velmo::hw {

// Configuration address: bits 16-23 bus, 11-15 device, 8-10 function, 0-7 register.
constexpr uint32_t PciConfigAddress(uint32_t bus, uint32_t device, uint32_t function,
                                    uint32_t reg) {
  return ((bus & 0xFF) << 16) | ((device & 0x1F) << 11) | ((function & 7) << 8) | (reg & 0xFF);
}

inline constexpr uint32_t kPciEnable = 0x80000000;
inline constexpr uint32_t kPciSisBridge = PciConfigAddress(0, 1, 0, 0x00);   // 0x00000800
inline constexpr uint32_t kPciViaBridge = PciConfigAddress(0, 7, 0, 0x00);   // 0x00003800
inline constexpr uint32_t kPciViaMonBase = PciConfigAddress(0, 7, 4, 0x70);  // 16-bit I/O base
inline constexpr uint32_t kPciViaMonCtl = PciConfigAddress(0, 7, 4, 0x74);   // bit 0: enabled
inline constexpr uint32_t kIdSis5595 = 0x00081039;
inline constexpr uint32_t kIdVia686a = 0x06861106;
inline constexpr uint32_t kIdVia586 = 0x05861106;
// The VIA 686A monitor base is the word at 0x70 without its low 7 bits.
inline constexpr uint32_t kViaMonBaseMask = 0xFF80;

// One configuration read: the dword written to the latch, then a `width`-byte read (1, 2 or 4)
// of the data lane that holds the addressed bytes.
struct PciConfigCycle {
  uint32_t latch;
  uint16_t dataPort;
  unsigned width;
};
constexpr PciConfigCycle PciConfigRead(uint32_t address, unsigned width) {
  const uint32_t lane = width == 4 ? 0 : width == 2 ? (address & 2) : (address & 3);
  return {(address | kPciEnable) & 0xFFFFFFFCu, static_cast<uint16_t>(kPciDataPort + lane), width};
}

// Runs one configuration read with the caller's port functions (the monitor's back-end, or a
// helper's bus): out(port, width, value) and in(port, width) -> value.
template <class Out, class In>
uint32_t ReadPciConfig(uint32_t address, unsigned width, Out&& out, In&& in) {
  const PciConfigCycle cycle = PciConfigRead(address, width);
  out(kPciAddressPort, 4u, cycle.latch);
  return in(cycle.dataPort, cycle.width);
}

}  // namespace velmo::hw
