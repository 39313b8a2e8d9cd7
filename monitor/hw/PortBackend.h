// A back-end of the port and memory access layer: direct (own port instructions) or driver
// (conversations with the portio and mapmem helper services). Back-ends report nothing
// themselves: they return what failed, and PortAccess hands it to the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "monitor/hw/HwError.h"
#include "monitor/hw/PortBatch.h"

namespace velmo::hw {

class PortBackend;

// Runs accesses [first, end) of the batch on `backend` one by one in order. Stops at a failure
// that ends the program (the device is gone): the accesses after it are not tried.
HwFailures RunEachAccess(PortBackend& backend, PortBatch& batch, size_t first = 0,
                         size_t end = SIZE_MAX);

class PortBackend {
 public:
  virtual ~PortBackend() = default;
  virtual PortRead ReadPort(uint16_t port, unsigned width) = 0;
  virtual HwFailures WritePort(uint16_t port, unsigned width, uint32_t value) = 0;
  // Runs the accesses of `batch` in order and stores what the reads gave in it. By default one
  // by one through ReadPort and WritePort.
  virtual HwFailures RunBatch(PortBatch& batch);
  // Starts a batch whose read values nobody uses and returns without waiting for it to be done:
  // the driver back-end takes its reply before its next request (or at Settle) and acts on it
  // then as RunBatch would, so the hardware sees the same accesses in the same order. Returns the
  // failures known now; those found later come with the back-end's next call. By default the
  // batch runs at once.
  virtual HwFailures PostBatch(PortBatch batch) { return RunBatch(batch); }
  // Takes the reply of a posted batch now: the failures not yet returned.
  virtual HwFailures Settle() { return {}; }
  // Copies the 8 BIOS identification bytes at physical 0xFECE0 into `dest`; on failure `dest`
  // is left as it was.
  virtual HwFailures ReadBiosIdBytes(uint8_t dest[8]) = 0;
  // True for the driver back-end: chip accesses then carry no bus-delay writes.
  virtual bool IsDriver() const = 0;
  // A chip register whose latest read only a value in the channel's unit could give (a kernel
  // driver's reading that no register value reproduces): the channel shows this value instead of
  // converting the register. Back-ends that read the registers themselves have none.
  virtual std::optional<int32_t> EngineeringValue(uint32_t /*bank*/, uint8_t /*index*/) const {
    return std::nullopt;
  }
};

}  // namespace velmo::hw
