// The real machine as the mapmem helper sees it: physical memory through /dev/mem and no ports.
#pragma once

#include "monitor/hw/Bus.h"

namespace velmo::drivers {

class PhysicalMemoryBus : public hw::Bus {
 public:
  uint32_t In(uint16_t, unsigned) override { return 0xFFFFFFFFu; }
  void Out(uint16_t, unsigned, uint32_t) override {}
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) override;
};

}  // namespace velmo::drivers
