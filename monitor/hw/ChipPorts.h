// Fixed I/O ports of the monitor chips and of PCI configuration, and the BIOS identification
// window.
#pragma once

#include <cstdint>

namespace velmo::hw {

inline constexpr uint16_t kIndexPort = 0x295;  // index (address) port of the indexed chips
inline constexpr uint16_t kDataPort = 0x296;   // data port of the indexed chips
inline constexpr uint16_t kDelayPort = 0xEB;   // written as a bus delay by the direct back-end
inline constexpr uint16_t kPciAddressPort = 0xCF8;
inline constexpr uint16_t kPciDataPort = 0xCFC;  // 0xCFC-0xCFF are the four byte lanes

inline constexpr uint64_t kBiosIdAddress = 0xFECE0;
inline constexpr unsigned kBiosIdLength = 8;

}  // namespace velmo::hw
