// The real machine's bus: ioperm with in/out instructions where the kernel allows it, else
// /dev/port; physical memory from /dev/mem.
#pragma once

#include <memory>
#include <string>

#include "monitor/hw/Bus.h"
#include "monitor/hw/KernelPortClaims.h"

namespace velmo::hw {

class LinuxBus : public Bus {
 public:
  // Opens raw port access; returns null and sets `error` (which device, which error) when
  // neither ioperm nor /dev/port is usable by this process. Programs use OpenMachineBus below.
  static std::unique_ptr<LinuxBus> Open(std::string* error);
  // True when this process may touch ports itself (ioperm or a writable /dev/port).
  static bool HasRawPortAccess();
  ~LinuxBus() override;

  uint32_t In(uint16_t port, unsigned width) override;
  void Out(uint16_t port, unsigned width, uint32_t value) override;
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) override;

 private:
  explicit LinuxBus(int portFd) : portFd_(portFd) {}
  int portFd_;  // -1 when the in/out instructions are used
};

// The real machine's bus as the programs use it: raw port access (LinuxBus) behind the guard of
// the kernel drivers' claims on the monitor chip, read from `sources` now (ReadKernelClaims), with
// the hwmon devices under `sources.sys` (a driver there owns the chip even where it claims no
// port). Null and `error` set when there is no raw port access.
std::unique_ptr<ClaimGuardBus> OpenMachineBus(std::string* error, const ClaimSources& sources = {});

}  // namespace velmo::hw
