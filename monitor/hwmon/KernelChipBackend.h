// The kernel source: a port back-end for a chip that a kernel hwmon driver keeps. The chip's own
// ports are never touched; their register accesses are answered from the driver's attributes,
// taken back to the register values they came from, so identification, profiles, conversions,
// alarms and beep control above run unchanged. Every other port (PCI configuration) and the BIOS
// bytes go to the back-end underneath, except the identification of the south bridge whose
// monitor a via686a or sis5595 driver keeps: the driver's device says it is there, while the
// guards below hide an owned bridge from the monitor.
//
// Exact register values: the Winbond and SiS inputs (pin voltage = register x 16 mV), the 8-bit
// and 9-bit temperatures (the monitor reads the high byte), the SiS temperature register (its
// linear scale), fan counts at divisors 1-8, and the VIA inputs when the driver's rounding
// leaves one register within a millivolt. The driver's own value stands in (EngineeringValue)
// for fans at divisors above 8 (the monitor's divisor field has two bits), for the VIA
// temperatures (the driver takes them through a table of its own, not the chip's register
// curve) and for any reading no register reproduces.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "monitor/hw/PortBackend.h"
#include "monitor/hwmon/AttributeFiles.h"
#include "monitor/hwmon/HwmonDevice.h"

namespace velmo::hwmon {

class KernelChipBackend : public hw::PortBackend {
 public:
  // Lines for the log: a device lost and found again, a setting the process may not write.
  using Warn = std::function<void(const std::string&)>;

  // `device` was found under `root` (/ on the machine); it is looked up there again by its key
  // whenever it goes missing.
  KernelChipBackend(hw::PortBackend& inner, HwmonDevice device, std::filesystem::path root,
                    AttributeFiles& files, Warn warn);

  hw::PortRead ReadPort(uint16_t port, unsigned width) override;
  hw::HwFailures WritePort(uint16_t port, unsigned width, uint32_t value) override;
  hw::HwFailures RunBatch(hw::PortBatch& batch) override;
  hw::HwFailures PostBatch(hw::PortBatch batch) override { return RunBatch(batch); }
  hw::HwFailures Settle() override { return inner_.Settle(); }
  hw::HwFailures ReadBiosIdBytes(uint8_t dest[8]) override { return inner_.ReadBiosIdBytes(dest); }
  bool IsDriver() const override { return inner_.IsDriver(); }
  std::optional<int32_t> EngineeringValue(uint32_t bank, uint8_t index) const override;

  const HwmonDevice& Device() const { return device_; }
  bool DeviceLost() const { return lost_; }
  // The ports the chip answers on, which this back-end keeps from the one underneath.
  bool ChipPort(uint16_t port) const;

 private:
  enum class Family : uint8_t { kWinbond, kSis, kVia };
  struct Value {
    std::optional<uint8_t> reg;          // nullopt: the read failed
    std::optional<int32_t> engineering;  // the driver's value where no register gives it
  };

  // A configuration read of the bridge whose monitor the driver keeps, answered from the
  // device; nullopt for any other.
  std::optional<uint32_t> BridgeConfig(uint16_t port, unsigned width) const;
  uint8_t EffectiveBank(uint32_t bank, uint8_t index) const;
  Value ReadRegister(uint8_t bank, uint8_t index);
  void WriteRegister(uint8_t bank, uint8_t index, uint8_t value);

  std::optional<int64_t> Attribute(const std::string& name);
  bool AttributeExists(const std::string& name) const;
  Value Voltage(unsigned input);
  Value Temperature(unsigned sensor, bool nineBit, const char* suffix);
  Value FanCount(unsigned fan);
  Value FanDivisors(unsigned firstFan, unsigned fans, unsigned firstShift);
  Value BeepByte(unsigned byte);
  void WriteBeepByte(unsigned byte, uint8_t value);
  void WriteTripLimit(const std::string& attribute, int64_t millidegrees);
  void WriteAttribute(const std::string& attribute, int64_t value, bool* reported,
                      const char* what);
  void Relocate();

  hw::PortBackend& inner_;
  HwmonDevice device_;
  std::filesystem::path root_;
  AttributeFiles& files_;
  Warn warn_;
  Family family_;
  uint16_t viaBase_ = 0;

  uint32_t pciLatch_ = 0;   // the configuration address last written
  uint8_t index_ = 0;       // the index port's latest value
  uint8_t bankSelect_ = 0;  // register 0x4E as the monitor last wrote it
  bool lost_ = false;
  bool lostReported_ = false;
  bool beepReported_ = false;
  bool tripReported_ = false;
  std::optional<bool> beepMaskFile_;  // beep_mask (true) or one *_beep file per bit (false)
  uint64_t batchSerial_ = 0;
  std::array<uint64_t, 3> beepBatch_{};  // the batch each beep byte was last read in
  std::array<std::optional<uint8_t>, 3> beepBytes_{};
  std::map<uint16_t, int32_t> engineering_;
};

}  // namespace velmo::hwmon
