// Test doubles for the hardware seam: a bus that answers from a table and records every access
// in the trace-line format of the simulated board, and hosts that record messages.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "monitor/hw/Bus.h"
#include "monitor/hw/HwHost.h"
#include "monitor/hw/PortBackend.h"

namespace velmo::test {

inline std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

class RecordingBus : public hw::Bus {
 public:
  // Value returned for an input from `port`; absent ports read all ones.
  std::map<uint16_t, uint32_t> inputs;
  // Optional responder that wins over `inputs`.
  std::function<std::optional<uint32_t>(uint16_t port, unsigned width)> responder;
  std::vector<std::string> trace;
  std::vector<uint8_t> memory;  // the bytes at physical 0xFECE0; empty: the read fails

  uint32_t In(uint16_t port, unsigned width) override {
    uint32_t v = width == 1 ? 0xFF : width == 2 ? 0xFFFF : 0xFFFFFFFF;
    if (auto it = inputs.find(port); it != inputs.end()) v = it->second;
    if (responder) {
      if (auto r = responder(port, width)) v = *r;
    }
    trace.push_back("in " + std::to_string(width) + " " + Hex(port) + " " + Hex(v));
    return v;
  }
  void Out(uint16_t port, unsigned width, uint32_t value) override {
    trace.push_back("out " + std::to_string(width) + " " + Hex(port) + " " + Hex(value));
  }
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) override {
    trace.push_back("mem " + Hex(address) + " " + std::to_string(length));
    if (memory.size() < length) {
      if (error) *error = "/dev/mem: Permission denied";
      return false;
    }
    for (size_t i = 0; i < length; ++i)
      dest[i] = memory[i];
    return true;
  }
};

// Records what the layer shows; EndProgram records the code and returns.
class RecordingHost : public hw::HwHost {
 public:
  std::vector<std::pair<std::string, std::string>> messages;  // text, caption
  std::vector<int> endCodes;
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.emplace_back(text, caption);
  }
  void EndProgram(int exitCode) override { endCodes.push_back(exitCode); }
};

// A back-end that passes accesses straight to a bus but says it is the driver back-end, to check
// the driver-mode access sequences of the chip layer without a helper service.
class DriverModeBackend : public hw::PortBackend {
 public:
  explicit DriverModeBackend(hw::Bus& bus) : bus_(bus) {}
  hw::PortRead ReadPort(uint16_t port, unsigned width) override {
    return {bus_.In(port, width), {}};
  }
  hw::HwFailures WritePort(uint16_t port, unsigned width, uint32_t value) override {
    bus_.Out(port, width, value);
    return {};
  }
  hw::HwFailures ReadBiosIdBytes(uint8_t dest[8]) override {
    std::string error;
    bus_.ReadPhysical(0xFECE0, dest, 8, &error);
    return {};
  }
  bool IsDriver() const override { return true; }

 private:
  hw::Bus& bus_;
};

}  // namespace velmo::test
