#include "drivers/portio/PortAllowList.h"

#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/PciConfig.h"

namespace velmo::drivers {

PortAllowList PortAllowList::ForMonitor(uint16_t viaBase) {
  // 0xCF8 alone as a dword: 0xCF9 is the reset control register on many chipsets.
  std::vector<Rule> rules = {
      {hw::kIndexPort, hw::kDataPort, true, true, false},
      {hw::kDelayPort, hw::kDelayPort, false, true, false},
      {hw::kPciAddressPort, hw::kPciAddressPort + 3, false, true, true},
      {hw::kPciDataPort, hw::kPciDataPort + 3, true, false, false},
  };
  // A block in the legacy range or over the fixed ports would open ports (the interrupt
  // controllers, 0xCF9) that the rules above keep shut: such a base is not taken.
  if (viaBase >= kLowestViaBase && viaBase <= 0x10000 - kViaBlockSize) {
    const Rule via{viaBase, static_cast<uint16_t>(viaBase + kViaBlockSize - 1), true, true, false};
    bool overlaps = false;
    for (const Rule& rule : rules)
      overlaps = overlaps || (via.first <= rule.last && rule.first <= via.last);
    if (!overlaps) rules.push_back(via);
  }
  return PortAllowList(std::move(rules));
}

uint16_t PortAllowList::ProbeViaBase(hw::Bus& bus) {
  auto readConfig = [&bus](uint32_t address, unsigned width) {
    return hw::ReadPciConfig(
        address, width,
        [&bus](uint16_t port, unsigned w, uint32_t value) { bus.Out(port, w, value); },
        [&bus](uint16_t port, unsigned w) { return bus.In(port, w); });
  };
  if (readConfig(hw::kPciViaBridge, 4) != hw::kIdVia686a) return 0;
  return static_cast<uint16_t>(readConfig(hw::kPciViaMonBase, 2) & hw::kViaMonBaseMask);
}

bool PortAllowList::Names(uint32_t port) const {
  for (const Rule& rule : rules_) {
    if (port >= rule.first && port <= rule.last) return true;
  }
  return false;
}

bool PortAllowList::Allows(uint32_t port, unsigned width, PortDirection direction) const {
  if (width == 0) return false;
  const uint64_t last = uint64_t{port} + width - 1;
  for (const Rule& rule : rules_) {
    if (port < rule.first || last > rule.last) continue;
    if (rule.dwordAtFirstOnly && (port != rule.first || width != 4)) continue;
    if (direction == PortDirection::kRead ? rule.read : rule.write) return true;
  }
  return false;
}

}  // namespace velmo::drivers
