// The hardware layer's one error vocabulary: what went wrong in an access, its short description,
// and the message the monitor shows for it. Back-ends return these; hosts decide what follows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmo::hw {

enum class HwError : uint8_t {
  kPortDeviceMissing,   // the portio device cannot be opened
  kPortOpenFailed,      // OPEN refused or answered handle 0
  kPortReadFailed,      // READ refused or answered no value
  kPortWriteFailed,     // WRITE refused
  kPortCloseFailed,     // CLOSE refused
  kMemDeviceMissing,    // the mapmem device cannot be opened
  kMemMapFailed,        // MAP refused, or no usable view came with it
  kMemUnmapFailed,      // UNMAP refused (the bytes were already copied)
  kPhysicalReadFailed,  // physical memory cannot be read in this process
  kViaMonitorDisabled,  // a VIA 686A whose hardware monitor is switched off
};

// A short technical description, for logs and error texts ("portio device cannot be opened").
const char* Describe(HwError error);

// What was being done: the system's messages differ between a port read and a port write.
enum class HwAccess : uint8_t { kPortRead, kPortWrite, kBiosRead, kProbe };

struct HwFailure {
  HwError error;
  HwAccess access;
  std::string detail;  // the device and reason where the system shows them (physical reads)
  bool operator==(const HwFailure&) const = default;
};

// The failures of one access in the order they happened; empty when all went well.
using HwFailures = std::vector<HwFailure>;

// The message box the monitor shows for a failure: its text and caption, as the system has them.
struct HwMessage {
  std::string text;
  std::string caption;
};
HwMessage MessageFor(const HwFailure& failure);

// True when the program cannot go on after this failure (the port device is missing); it then
// ends with kHwEndExitCode.
bool EndsProgram(HwError error);
inline constexpr int kHwEndExitCode = 1;

// A port read and whether it succeeded: a failed read is told apart from a port that reads all
// ones. `value` is kFailedReadValue after a failure.
struct PortRead {
  static constexpr uint32_t kFailedReadValue = 0xFFFFFFFFu;
  uint32_t value = kFailedReadValue;
  HwFailures failures;
  bool Ok() const { return failures.empty(); }
};

}  // namespace velmo::hw
