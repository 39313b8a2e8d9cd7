// The ports the portio helper lets a client touch: exactly those the monitor uses, each in the
// directions and widths the monitor uses it.
#pragma once

#include <cstdint>
#include <vector>

#include "monitor/hw/Bus.h"

namespace velmo::drivers {

enum class PortDirection { kRead, kWrite };

class PortAllowList {
 public:
  struct Rule {
    uint16_t first;
    uint16_t last;
    bool read;
    bool write;
    bool dwordAtFirstOnly;  // only a 4-byte access starting at `first`
  };
  // Number of ports of the VIA 686A monitor block, and the lowest base taken for it.
  static constexpr uint16_t kViaBlockSize = 128;
  static constexpr uint16_t kLowestViaBase = 0x400;

  // The monitor's ports: 0x295/0x296 read and write, 0xEB write, the dword 0xCF8 write,
  // 0xCFC-0xCFF read, and the VIA monitor block at `viaBase` (0: none; a base below
  // kLowestViaBase or one whose block covers any of the other ports is not taken).
  static PortAllowList ForMonitor(uint16_t viaBase);
  // The VIA monitor block base: PCI 0:7.4 register 0x70 masked 0xFF80, when 0:7.0 is a 686A;
  // 0 otherwise. Read once at start, before any client can be between its two PCI accesses.
  static uint16_t ProbeViaBase(hw::Bus& bus);

  explicit PortAllowList(std::vector<Rule> rules) : rules_(std::move(rules)) {}

  // True when some rule names `port`, in any direction.
  bool Names(uint32_t port) const;
  // True when the `width`-byte access at `port` lies inside one rule that allows `direction`.
  bool Allows(uint32_t port, unsigned width, PortDirection direction) const;
  const std::vector<Rule>& Rules() const { return rules_; }

 private:
  std::vector<Rule> rules_;
};

}  // namespace velmo::drivers
