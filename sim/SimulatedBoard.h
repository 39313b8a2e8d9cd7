// A simulated main board on the bus seam: one monitor chip model (or none), PCI configuration
// space, the BIOS identification bytes, a timed script on a simulated clock and an access trace.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "monitor/hw/Bus.h"
#include "sim/ChipModel.h"

namespace velmo::sim {

class SimulatedBoard : public hw::Bus {
 public:
  // Reads a board file. Returns null and sets `error` to a text naming the file, the field and
  // what was expected when the file is missing or malformed.
  static std::unique_ptr<SimulatedBoard> Load(const std::string& path, std::string* error);
  // The same for board text already in memory; `name` stands for the file in error texts.
  static std::unique_ptr<SimulatedBoard> Parse(const std::string& text, const std::string& name,
                                               std::string* error);
  ~SimulatedBoard() override;

  uint32_t In(uint16_t port, unsigned width) override;
  void Out(uint16_t port, unsigned width, uint32_t value) override;
  bool ReadPhysical(uint64_t address, uint8_t* dest, size_t length, std::string* error) override;

  // The simulated clock, in seconds since start. Advancing applies every script entry whose
  // time has come, in file order.
  void Advance(uint32_t seconds);
  uint64_t Now() const;

  // Chip register as the chip holds it (bank ignored by the VIA block and the SiS monitor);
  // for tests and the trace of what the monitor wrote. No side effects.
  uint8_t PeekRegister(unsigned bank, uint8_t reg) const;
  void PokeRegister(unsigned bank, uint8_t reg, uint8_t value);
  std::string ChipName() const;
  // The chip's register file, for views of the chip that must not disturb it (no side effects,
  // no trace lines).
  const ChipModel& Chip() const;
  // A PCI configuration byte as the board holds it now; 0xFF for an absent function.
  uint8_t PeekPciConfig(uint16_t function, uint8_t reg) const;
  // The board file's "hwmon": true: the machine's hwmon devices stand for this board's chip.
  // A board without it never looks at the machine's sensors.
  bool UsesMachineHwmon() const;

  // The in-memory trace: off until enabled; lines as in the trace file.
  void EnableTrace(bool on);
  const std::vector<std::string>& Trace() const;
  void ClearTrace();
  // Port accesses (in and out) since start, counted whether or not tracing is on.
  uint64_t PortAccessCount() const;

 private:
  struct Impl;
  explicit SimulatedBoard(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace velmo::sim
