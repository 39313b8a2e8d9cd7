// The direct back-end: every port access is one bus access of this process.
#pragma once

#include "monitor/hw/Bus.h"
#include "monitor/hw/PortBackend.h"

namespace velmo::hw {

class DirectBackend : public PortBackend {
 public:
  explicit DirectBackend(Bus& bus) : bus_(bus) {}

  PortRead ReadPort(uint16_t port, unsigned width) override { return {bus_.In(port, width), {}}; }
  HwFailures WritePort(uint16_t port, unsigned width, uint32_t value) override {
    bus_.Out(port, width, value);
    return {};
  }
  HwFailures ReadBiosIdBytes(uint8_t dest[8]) override;
  bool IsDriver() const override { return false; }

 private:
  Bus& bus_;
};

}  // namespace velmo::hw
