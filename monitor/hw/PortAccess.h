// Monitor-chip register, PCI configuration and BIOS access on top of the chosen port back-end.
// What a back-end reports as failed goes to the host, which decides what the user sees.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "monitor/hw/HwHost.h"
#include "monitor/hw/PortBackend.h"
#include "monitor/hw/PortBatch.h"

namespace velmo::hw {

class PortAccess {
 public:
  PortAccess(PortBackend& backend, HwHost& host) : backend_(&backend), host_(&host) {}

  // Chooses the back-end; done once at start, before any other call.
  void SetBackend(PortBackend& backend) { backend_ = &backend; }
  bool DriverMode() const { return backend_->IsDriver(); }
  // 0: index/data pair at 0x295/0x296; otherwise the base of the VIA 686A register block.
  uint32_t ChipIoBase() const { return chipIoBase_; }

  // One port access; failures go to the host. A failed read gives PortRead::kFailedReadValue.
  uint32_t ReadPort(uint16_t port, unsigned width) { return ReadPortChecked(port, width).value; }
  void WritePort(uint16_t port, unsigned width, uint32_t value) {
    host_->Report(backend_->WritePort(port, width, value));
  }
  // The same read for a caller that must tell a failed read from a port reading all ones.
  PortRead ReadPortChecked(uint16_t port, unsigned width) {
    PortRead read = backend_->ReadPort(port, width);
    host_->Report(read.failures);
    return read;
  }

  // Runs a batch of accesses in order (in one request in driver mode); failures go to the host.
  void Run(PortBatch& batch) { host_->Report(backend_->RunBatch(batch)); }
  // Runs a batch whose read values nobody uses without waiting for it (PortBackend::PostBatch):
  // its failures reach the host with the next access's, or at Settle.
  void Post(PortBatch batch) { host_->Report(backend_->PostBatch(std::move(batch))); }
  // Reports what a posted batch still owes; the program's exit path calls it before it leaves.
  void Settle() { host_->Report(backend_->Settle()); }

  // Each chip operation is one batch (ChipBatch.h) run at once.
  uint32_t ReadChipRegister(uint8_t index);
  void WriteChipRegister(uint8_t index, uint8_t value);
  // Banked registers are reached through ChipRegisters.h, which brackets this with bank 0.
  void SelectChipBank(uint32_t bank);
  // Read-modify-write of one bit, always on the index/data pair; the bit number is taken
  // modulo 32, so bits 8-31 write the old value back.
  void SetChipRegisterBit(uint8_t index, uint32_t bit);
  void ClearChipRegisterBit(uint8_t index, uint32_t bit);

  uint32_t ReadPciConfigDword(uint32_t address);
  uint16_t ReadPciConfigWord(uint32_t address);
  uint8_t ReadPciConfigByte(uint32_t address);

  bool ProbeChipVendor();
  bool ProbeChipId(uint8_t id);
  bool ProbePciId(uint32_t address, uint32_t id);
  // True, and ChipIoBase set, when a VIA 686A with an enabled hardware monitor is present.
  bool DetectVia686aMonitor();

  // See PortBackend::EngineeringValue.
  std::optional<int32_t> EngineeringValue(uint32_t bank, uint8_t index) const {
    return backend_->EngineeringValue(bank, index);
  }

  // The 8 bytes at physical 0xFECE0; `dest` is left as it was when they cannot be read.
  void ReadBiosIdBytes(uint8_t dest[8]) { host_->Report(backend_->ReadBiosIdBytes(dest)); }

 private:
  uint32_t ReadPciConfig(uint32_t address, unsigned width);

  PortBackend* backend_;
  HwHost* host_;
  uint32_t chipIoBase_ = 0;
};

}  // namespace velmo::hw
