// A back-end of the port and memory access layer: direct (own port instructions) or driver
// (conversations with the portio and mapmem helper services).
#pragma once

#include <cstdint>

namespace velmo::hw {

class PortBackend {
 public:
  virtual ~PortBackend() = default;
  virtual uint32_t ReadPort(uint16_t port, unsigned width) = 0;
  virtual void WritePort(uint16_t port, unsigned width, uint32_t value) = 0;
  // Copies the 8 BIOS identification bytes at physical 0xFECE0 into `dest`; on failure the
  // back-end reports it and leaves `dest` as it was.
  virtual void ReadBiosIdBytes(uint8_t dest[8]) = 0;
  // True for the driver back-end: chip accesses then carry no bus-delay writes.
  virtual bool IsDriver() const = 0;
};

}  // namespace velmo::hw
