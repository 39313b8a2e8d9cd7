// The direct back-end: every port access is one bus access of this process.
#pragma once

#include "monitor/hw/Bus.h"
#include "monitor/hw/HwHost.h"
#include "monitor/hw/PortBackend.h"

namespace velmo::hw {

class DirectBackend : public PortBackend {
 public:
  DirectBackend(Bus& bus, HwHost& host) : bus_(bus), host_(host) {}

  uint32_t ReadPort(uint16_t port, unsigned width) override { return bus_.In(port, width); }
  void WritePort(uint16_t port, unsigned width, uint32_t value) override {
    bus_.Out(port, width, value);
  }
  void ReadBiosIdBytes(uint8_t dest[8]) override;
  bool IsDriver() const override { return false; }

 private:
  Bus& bus_;
  HwHost& host_;
};

}  // namespace velmo::hw
