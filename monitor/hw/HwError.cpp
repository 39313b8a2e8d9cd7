#include "monitor/hw/HwError.h"

namespace velmo::hw {

const char* Describe(HwError error) {
  switch (error) {
    case HwError::kPortDeviceMissing:
      return "portio device cannot be opened";
    case HwError::kPortOpenFailed:
      return "port range cannot be opened";
    case HwError::kPortReadFailed:
      return "port read refused";
    case HwError::kPortWriteFailed:
      return "port write refused";
    case HwError::kPortCloseFailed:
      return "port range cannot be closed";
    case HwError::kMemDeviceMissing:
      return "mapmem device cannot be opened";
    case HwError::kMemMapFailed:
      return "memory window cannot be mapped";
    case HwError::kMemUnmapFailed:
      return "memory window cannot be unmapped";
    case HwError::kPhysicalReadFailed:
      return "physical memory cannot be read";
    case HwError::kViaMonitorDisabled:
      return "VIA 686A hardware monitor is disabled";
  }
  return "unknown hardware error";
}

HwMessage MessageFor(const HwFailure& f) {
  const bool read = f.access == HwAccess::kPortRead;
  switch (f.error) {
    case HwError::kPortDeviceMissing:
      return read ? HwMessage{"failed to open PortIo device", "debug"}
                  : HwMessage{"Failed to open PortIo Device", "Debug"};
    case HwError::kPortOpenFailed:
      return {"Port open failed", read ? "debug" : "Debug"};
    case HwError::kPortReadFailed:
      return {"read faield", "debug"};
    case HwError::kPortWriteFailed:
      return {"write failed", "debug"};
    case HwError::kPortCloseFailed:
      return {"close failed", "debug"};
    case HwError::kMemDeviceMissing:
      return {"Failed to open MAPMEM device", "Debug"};
    case HwError::kMemMapFailed:
      return {"Failed to map device", "Debug"};
    case HwError::kMemUnmapFailed:
      return {"Failed to unmap device", "Debug"};
    case HwError::kPhysicalReadFailed:
      return {f.detail.empty() ? Describe(f.error) : f.detail, "Debug"};
    case HwError::kViaMonitorDisabled:
      return {"VIA 686A does not found", "Debug Window"};
  }
  return {Describe(f.error), "Debug"};
}

bool EndsProgram(HwError error) {
  return error == HwError::kPortDeviceMissing;
}

}  // namespace velmo::hw
