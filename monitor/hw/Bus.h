// The lowest hardware seam: port input/output of widths 1, 2 and 4 bytes and physical-memory reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmo::hw {

class Bus {
 public:
  virtual ~Bus() = default;

  // Reads `width` (1, 2 or 4) bytes from `port`; byte and word reads are zero-extended.
  virtual uint32_t In(uint16_t port, unsigned width) = 0;
  // Writes the low `width` bytes of `value` to `port`.
  virtual void Out(uint16_t port, unsigned width, uint32_t value) = 0;
  // Copies `length` bytes of physical memory at `address` into `dest`. Returns false and sets
  // `error` (device and reason) when the memory cannot be read; `dest` is then untouched.
  virtual bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) = 0;
};

}  // namespace velmo::hw
