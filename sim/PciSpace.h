// PCI configuration space of a simulated board, reached through configuration mechanism 1:
// the address latch at port 0xCF8 and the four data byte lanes at 0xCFC-0xCFF.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace velmo::sim {

// Bus, device and function packed as in a configuration address: bus << 8 | device << 3 | fn.
constexpr uint16_t PciFunction(unsigned bus, unsigned device, unsigned function) {
  return static_cast<uint16_t>(((bus & 0xFF) << 8) | ((device & 0x1F) << 3) | (function & 7));
}

class PciSpace {
 public:
  // Adds a function whose register 0 (device and vendor id) reads `id` and whose other
  // registers read 0, or replaces the id of one already there.
  void SetFunctionId(uint16_t function, uint32_t id);
  // Configuration registers of a present function, for the board's own set-up; no-op if absent.
  void SetConfigByte(uint16_t function, uint8_t reg, uint8_t value);
  // The byte at `reg` of a function; 0xFF when the function is absent.
  uint8_t ConfigByte(uint16_t function, uint8_t reg) const;

  // Port side. A dword write to 0xCF8 sets the latch; with its enable bit (31) clear, or for an
  // absent function, the data lanes read all ones and ignore writes.
  uint32_t Address() const { return address_; }
  void SetAddress(uint32_t address);
  // `lane` 0..3 is the byte of the selected dword at port 0xCFC + lane.
  uint8_t ReadLane(unsigned lane) const;
  // Writes a byte of the selected dword; the id dword (registers 0-3) is read-only.
  // Returns true when a configuration byte changed.
  bool WriteLane(unsigned lane, uint8_t value);

 private:
  struct Function {
    uint16_t function;
    std::array<uint8_t, 256> config;
  };
  Function* Find(uint16_t function);
  const Function* Find(uint16_t function) const;

  std::vector<Function> functions_;  // a handful at most: a linear search is the fastest lookup
  uint32_t address_ = 0;
  Function* selected_ = nullptr;  // resolved when the latch is written; null: reads all ones
};

}  // namespace velmo::sim
