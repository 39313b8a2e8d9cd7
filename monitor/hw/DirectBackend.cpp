#include "monitor/hw/DirectBackend.h"

#include <array>
#include <cstring>

#include "monitor/hw/ChipPorts.h"

namespace velmo::hw {

HwFailures DirectBackend::ReadBiosIdBytes(uint8_t dest[8]) {
  std::array<uint8_t, kBiosIdLength> bytes{};
  std::string error;
  if (!bus_.ReadPhysical(kBiosIdAddress, bytes.data(), bytes.size(), &error)) {
    // The program goes on with the buffer as the caller filled it (an unknown board).
    return {{HwError::kPhysicalReadFailed, HwAccess::kBiosRead, error}};
  }
  std::memcpy(dest, bytes.data(), bytes.size());
  return {};
}

}  // namespace velmo::hw
