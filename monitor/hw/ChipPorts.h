// Fixed ports, registers and PCI addresses of the monitor chips and the south bridges.
#pragma once

#include <cstdint>

namespace velmo::hw {

inline constexpr uint16_t kIndexPort = 0x295;  // index (address) port of the indexed chips
inline constexpr uint16_t kDataPort = 0x296;   // data port of the indexed chips
inline constexpr uint16_t kDelayPort = 0xEB;   // written as a bus delay by the direct back-end
inline constexpr uint16_t kPciAddressPort = 0xCF8;
inline constexpr uint16_t kPciDataPort = 0xCFC;  // 0xCFC-0xCFF are the four byte lanes

inline constexpr uint8_t kRegBankSelect = 0x4E;  // bits 0-2 bank, bit 7 vendor-byte select
inline constexpr uint8_t kRegVendorId = 0x4F;
inline constexpr uint8_t kRegChipId = 0x58;
inline constexpr uint16_t kWinbondVendor = 0x5CA3;

inline constexpr uint32_t kPciEnable = 0x80000000;
inline constexpr uint32_t kPciSisBridge = 0x00000800;   // 0:1.0 register 0
inline constexpr uint32_t kPciViaBridge = 0x00003800;   // 0:7.0 register 0
inline constexpr uint32_t kPciViaMonBase = 0x00003C70;  // 0:7.4 register 0x70
inline constexpr uint32_t kPciViaMonCtl = 0x00003C74;   // 0:7.4 register 0x74, bit 0 enable
inline constexpr uint32_t kIdSis5595 = 0x00081039;
inline constexpr uint32_t kIdVia686a = 0x06861106;
inline constexpr uint32_t kIdVia586 = 0x05861106;

inline constexpr uint64_t kBiosIdAddress = 0xFECE0;
inline constexpr unsigned kBiosIdLength = 8;

}  // namespace velmo::hw
