// The I/O-port regions that kernel drivers have claimed (/proc/ioports), and a bus that leaves
// the monitor chip's ports alone while a kernel driver owns them: two programs switching the
// chip's banks corrupt each other's readings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/hw/Bus.h"

namespace velmo::hw {

inline constexpr const char* kIoportsPath = "/proc/ioports";

struct PortClaim {
  uint16_t first;
  uint16_t last;
  std::string driver;
  std::string device{};  // the owning hwmon device as `sensors` names it; empty from ioports
  bool operator==(const PortClaim&) const = default;
};

// The regions of an /proc/ioports text (nested entries included) that a driver claims. Entries
// that only hold resources are not drivers: buses ("PCI Bus 0000:00"), the PCI configuration
// ports ("PCI conf1"), PnP, ACPI and reserved ranges, and a PCI function's own ranges
// ("0000:00:07.4"). Ranges shown as 0000-0000 (the file read without CAP_SYS_ADMIN) tell
// nothing and are skipped.
std::vector<PortClaim> ParseIoports(std::string_view text);

// The claims over the monitor chip's ports: any driver's region over the index/data pair
// 0x295/0x296, and the regions of the drivers of these chips (w83781d, w83627hf, via686a,
// sis5595 and their kin) wherever they lie, since the VIA block sits where PCI put it. Read from
// `path`; none when it cannot be read.
std::vector<PortClaim> ReadChipPortClaims(const std::string& path = kIoportsPath);
std::vector<PortClaim> ChipPortClaims(const std::vector<PortClaim>& claims);

// What the user is told: the driver, the ports, and how to free them.
std::string DescribeClaim(const PortClaim& claim);

// A bus that does no access touching a claimed port: such a read gives all ones, as an absent
// port does, and such a write goes nowhere. The south bridges whose monitor a kernel driver owns
// (sis5595: PCI 0:1.0, via686a: 0:7.0) are found by their PCI identity, not by their ports, so
// their configuration reads give all ones too, as an absent function's do. Everything else
// passes to `inner`.
class ClaimGuardBus : public Bus {
 public:
  ClaimGuardBus(std::unique_ptr<Bus> inner, std::vector<PortClaim> claims);

  uint32_t In(uint16_t port, unsigned width) override;
  void Out(uint16_t port, unsigned width, uint32_t value) override;
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) override {
    return inner_->ReadPhysical(address, dest, length, error);
  }
  const std::vector<PortClaim>& Claims() const { return claims_; }
  // True when the `width`-byte access at `port` touches a claimed port.
  bool Refuses(uint16_t port, unsigned width) const;

 private:
  std::unique_ptr<Bus> inner_;
  std::vector<PortClaim> claims_;
  std::vector<uint32_t> hiddenFunctions_;  // bus, device and function bits of the address
  uint32_t latch_ = 0;                     // the last configuration address written to 0xCF8
};

}  // namespace velmo::hw
