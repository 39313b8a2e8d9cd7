#include "monitor/hwmon/KernelChipBackend.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>

#include "monitor/hwmon/KernelValues.h"

namespace velmo::hwmon {

namespace {

constexpr uint16_t kIndexPort = 0x295;
constexpr uint16_t kDataPort = 0x296;
constexpr uint16_t kDelayPort = 0xEB;
constexpr unsigned kViaBlockSize = 0x80;
constexpr uint8_t kAbsent = 0xFF;  // what a register the chip lacks reads
constexpr uint16_t kWinbondVendor = 0x5CA3;
constexpr unsigned kBeepEnableBit = 15;

// PCI configuration: the address latch and data ports, and the south bridges' functions the
// identification reads (bus/device/function bits of the address).
constexpr uint16_t kPciAddressPort = 0xCF8;
constexpr uint16_t kPciDataPort = 0xCFC;
constexpr uint32_t kPciEnable = 0x80000000u;
constexpr uint32_t kPciFunctionBits = 0x00FFFF00u;
constexpr uint32_t kViaBridgeFunction = 0x3800;  // 0:7.0
constexpr uint32_t kViaPowerFunction = 0x3C00;   // 0:7.4, the monitor's base and switch
constexpr uint32_t kViaBaseRegister = 0x70;
constexpr uint32_t kViaEnableRegister = 0x74;
constexpr uint32_t kViaBridgeId = 0x06861106;
constexpr uint32_t kSisBridgeFunction = 0x0800;  // 0:1.0
constexpr uint32_t kSisBridgeId = 0x00081039;

uint16_t Key(uint8_t bank, uint8_t index) {
  return static_cast<uint16_t>(bank << 8 | index);
}

std::string Numbered(const char* kind, unsigned n, const char* suffix) {
  return kind + std::to_string(n) + suffix;
}

// The chips' identification register answers, by the driver that names the chip.
uint8_t WinbondChipId(ChipDriver chip) {
  switch (chip) {
    case ChipDriver::kW83782d:
      return 0x30;
    case ChipDriver::kW83627hf:
      return 0x21;
    default:
      return 0x10;  // the W83781D's own identification
  }
}

// The attribute of one bit of the Winbond drivers' beep mask; empty where the bit has none.
std::string BeepAttribute(ChipDriver chip, unsigned bit) {
  if (bit <= 3) return Numbered("in", bit, "_beep");
  if (bit >= 8 && bit <= 10) return Numbered("in", bit - 4, "_beep");
  if (bit == 16 || bit == 17) return Numbered("in", bit - 9, "_beep");
  switch (bit) {
    case 4:
      return "temp1_beep";
    case 5:
      return "temp2_beep";
    case 6:
      return "fan1_beep";
    case 7:
      return "fan2_beep";
    case 11:
      return "fan3_beep";
    case 13:
      // The W83781D shares bit 5 between its second and third sensor.
      return chip == ChipDriver::kW83781d ? "" : "temp3_beep";
    default:
      return "";
  }
}

bool DeviceGone(int error) {
  return error == ENOENT || error == ENODEV || error == ENXIO || error == ENOTDIR;
}

}  // namespace

KernelChipBackend::KernelChipBackend(hw::PortBackend& inner, HwmonDevice device,
                                     std::filesystem::path root, AttributeFiles& files, Warn warn)
    : inner_(inner),
      device_(std::move(device)),
      root_(std::move(root)),
      files_(files),
      warn_(std::move(warn)) {
  switch (device_.key.chip) {
    case ChipDriver::kVia686a:
      family_ = Family::kVia;
      viaBase_ = static_cast<uint16_t>(device_.key.address & 0xFF80);
      break;
    case ChipDriver::kSis5595:
      family_ = Family::kSis;
      break;
    default:
      family_ = Family::kWinbond;
      break;
  }
}

bool KernelChipBackend::ChipPort(uint16_t port) const {
  // The index/data pair is kept on a VIA board too: the chip code comes from the kernel's
  // device, so nothing is probed there behind the driver's back.
  if (port == kIndexPort || port == kDataPort || port == kDelayPort) return true;
  return family_ == Family::kVia && port >= viaBase_ && port < viaBase_ + kViaBlockSize;
}

std::optional<uint32_t> KernelChipBackend::BridgeConfig(uint16_t port, unsigned width) const {
  if ((pciLatch_ & kPciEnable) == 0) return std::nullopt;
  const uint32_t function = pciLatch_ & kPciFunctionBits;
  const uint32_t reg = pciLatch_ & 0xFC;
  std::optional<uint32_t> dword;
  if (family_ == Family::kVia && function == kViaBridgeFunction && reg == 0) dword = kViaBridgeId;
  if (family_ == Family::kVia && function == kViaPowerFunction && reg == kViaBaseRegister)
    dword = viaBase_ | 1u;
  if (family_ == Family::kVia && function == kViaPowerFunction && reg == kViaEnableRegister)
    dword = 1;
  if (family_ == Family::kSis && function == kSisBridgeFunction && reg == 0) dword = kSisBridgeId;
  if (!dword) return std::nullopt;
  const unsigned shift = 8u * (port - kPciDataPort);
  const uint32_t mask = width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  return (*dword >> shift) & mask;
}

hw::PortRead KernelChipBackend::ReadPort(uint16_t port, unsigned width) {
  // The bridge a south-bridge driver is bound to is there by the driver's word: its
  // identification is answered here, whatever a guard of the bus below hides from the monitor.
  if (port >= kPciDataPort && port <= kPciDataPort + 3)
    if (const std::optional<uint32_t> v = BridgeConfig(port, width)) return {*v, {}};
  if (!ChipPort(port)) return inner_.ReadPort(port, width);
  uint8_t bank = 0, index = 0;
  if (family_ == Family::kVia && port >= viaBase_ && port < viaBase_ + kViaBlockSize) {
    index = static_cast<uint8_t>(port - viaBase_);
  } else if (family_ == Family::kVia) {
    return {kAbsent, {}};  // no chip behind the pair
  } else if (port == kDataPort) {
    bank = EffectiveBank(bankSelect_, index_);
    index = index_;
  } else {
    return {port == kIndexPort ? index_ : kAbsent, {}};
  }
  const Value v = ReadRegister(bank, index);
  if (v.engineering)
    engineering_[Key(bank, index)] = *v.engineering;
  else
    engineering_.erase(Key(bank, index));
  // A failed attribute reads as a failed port read: all ones, which the conversions turn into
  // their no-reading values. It is no failure of a port device, so nothing is reported.
  return {v.reg ? *v.reg : hw::PortRead::kFailedReadValue, {}};
}

hw::HwFailures KernelChipBackend::WritePort(uint16_t port, unsigned width, uint32_t value) {
  if (port == kPciAddressPort && width == 4) pciLatch_ = value;
  if (!ChipPort(port)) return inner_.WritePort(port, width, value);
  const uint8_t byte = static_cast<uint8_t>(value);
  if (family_ == Family::kVia) {
    if (port >= viaBase_ && port < viaBase_ + kViaBlockSize)
      WriteRegister(0, static_cast<uint8_t>(port - viaBase_), byte);
  } else if (port == kIndexPort) {
    index_ = byte;
  } else if (port == kDataPort) {
    WriteRegister(EffectiveBank(bankSelect_, index_), index_, byte);
  }
  return {};
}

hw::HwFailures KernelChipBackend::RunBatch(hw::PortBatch& batch) {
  ++batchSerial_;
  if (lost_) Relocate();
  return hw::RunEachAccess(*this, batch);
}

std::optional<int32_t> KernelChipBackend::EngineeringValue(uint32_t bank, uint8_t index) const {
  const uint8_t effective = EffectiveBank(bank, index);
  const auto it = engineering_.find(Key(effective, index));
  if (it == engineering_.end()) return std::nullopt;
  return it->second;
}

uint8_t KernelChipBackend::EffectiveBank(uint32_t bank, uint8_t index) const {
  // Only the Winbond chips bank, and only registers 0x50-0x5F.
  if (family_ != Family::kWinbond || index < 0x50 || index > 0x5F) return 0;
  return static_cast<uint8_t>(bank & 7);
}

void KernelChipBackend::Relocate() {
  const std::optional<HwmonDevice> found = FindKernelChip(root_, device_.key);
  if (!found) return;
  device_ = *found;
  lost_ = false;
  beepMaskFile_.reset();
  if (lostReported_ && warn_)
    warn_(SensorsChipName(device_.key) + " is back at " + device_.classEntry.string());
  lostReported_ = false;
}

bool KernelChipBackend::AttributeExists(const std::string& name) const {
  struct stat st {};
  return lstat((device_.attributes / name).c_str(), &st) == 0;
}

std::optional<int64_t> KernelChipBackend::Attribute(const std::string& name) {
  if (lost_) return std::nullopt;
  const AttributeRead read = files_.Read((device_.attributes / name).string());
  if (read.Ok()) return read.value;
  // A missing file is the device gone (a driver reload, a suspend) unless the device still
  // names itself: then only this attribute is missing. Either way the reading fails for this
  // tick; the device is looked up again at the next one, never waited for.
  if (DeviceGone(read.error) && !AttributeExists("name")) {
    lost_ = true;
    if (!lostReported_ && warn_)
      warn_(SensorsChipName(device_.key) + " is gone (" + name + ": " + std::strerror(read.error) +
            "); its readings fail until it is back");
    lostReported_ = true;
  }
  return std::nullopt;
}

KernelChipBackend::Value KernelChipBackend::Voltage(unsigned input) {
  const std::optional<int64_t> mv = Attribute(Numbered("in", input, "_input"));
  if (!mv) return {};
  if (family_ == Family::kVia) {
    if (const auto reg = ViaVoltageRegister(input, *mv)) return {reg, std::nullopt};
    return {kAbsent, static_cast<int32_t>(*mv)};
  }
  if (const auto reg = PinVoltageRegister(*mv)) return {reg, std::nullopt};
  // Not a register value: the pin voltage then goes through the channel's own scale.
  return {static_cast<uint8_t>(*mv <= 0 ? 0 : (*mv >= 254 * 16 ? 254 : *mv / 16)), std::nullopt};
}

KernelChipBackend::Value KernelChipBackend::Temperature(unsigned sensor, bool nineBit,
                                                        const char* suffix) {
  const std::optional<int64_t> mc = Attribute(Numbered("temp", sensor, suffix));
  if (!mc) return {};
  const auto reg = nineBit ? Temperature9HighRegister(*mc) : Temperature8Register(*mc);
  if (reg) return {reg, std::nullopt};
  return {kAbsent, WholeDegrees(*mc)};
}

KernelChipBackend::Value KernelChipBackend::FanCount(unsigned fan) {
  const std::optional<int64_t> div = Attribute(Numbered("fan", fan, "_div"));
  const std::optional<int64_t> rpm = div ? Attribute(Numbered("fan", fan, "_input")) : std::nullopt;
  if (!rpm) return {};
  if (const auto count = FanCountRegister(*rpm, *div)) return {count, std::nullopt};
  // Divisors above 8 do not fit the monitor's two-bit divisor field: the driver's RPM stands.
  return {kAbsent, static_cast<int32_t>(*rpm)};
}

KernelChipBackend::Value KernelChipBackend::FanDivisors(unsigned firstFan, unsigned fans,
                                                        unsigned firstShift) {
  uint8_t reg = 0;
  for (unsigned i = 0; i < fans; ++i) {
    const std::optional<int64_t> div = Attribute(Numbered("fan", firstFan + i, "_div"));
    if (!div) continue;  // that fan's count fails too, so its field is never used
    const std::optional<uint8_t> field = FanDivisorField(*div);
    reg = static_cast<uint8_t>(reg | (field ? *field : 3) << (firstShift + 2 * i));
  }
  return {reg, std::nullopt};
}

KernelChipBackend::Value KernelChipBackend::BeepByte(unsigned byte) {
  // The read-modify-writes of one beep programming share one read of the files.
  if (beepBatch_[byte] == batchSerial_ && beepBytes_[byte]) return {beepBytes_[byte], {}};
  beepBytes_[byte].reset();
  if (!beepMaskFile_ && !lost_) beepMaskFile_ = AttributeExists("beep_mask");
  uint32_t mask = 0;
  if (beepMaskFile_.value_or(false)) {
    const std::optional<int64_t> m = Attribute("beep_mask");
    if (!m) return {};
    mask = static_cast<uint32_t>(*m) & ~(1u << kBeepEnableBit);
  } else {
    for (unsigned bit = byte * 8; bit < byte * 8 + 8; ++bit) {
      const std::string name = BeepAttribute(device_.key.chip, bit);
      if (name.empty() || !AttributeExists(name)) continue;
      const std::optional<int64_t> on = Attribute(name);
      if (!on) return {};
      if (*on != 0) mask |= 1u << bit;
    }
  }
  if (byte == kBeepEnableBit / 8) {
    const std::optional<int64_t> enable = Attribute("beep_enable");
    if (!enable) return {};
    if (*enable != 0) mask |= 1u << kBeepEnableBit;
  }
  beepBytes_[byte] = static_cast<uint8_t>(mask >> (8 * byte));
  beepBatch_[byte] = batchSerial_;
  return {beepBytes_[byte], std::nullopt};
}

void KernelChipBackend::WriteAttribute(const std::string& attribute, int64_t value, bool* reported,
                                       const char* what) {
  if (lost_) return;
  const int error = files_.Write((device_.attributes / attribute).string(), value);
  if (error == 0 || *reported) return;
  *reported = true;
  if (warn_)
    warn_(std::string("not writing ") + what + " to the kernel's " +
          ChipDriverName(device_.key.chip) +
          " driver: " + (device_.attributes / attribute).string() + ": " + std::strerror(error) +
          "; the driver keeps its own settings");
}

void KernelChipBackend::WriteBeepByte(unsigned byte, uint8_t value) {
  // Without a value read first, the bits this write leaves alone are not known: nothing is
  // written rather than bits the monitor never meant to change.
  if (!beepBytes_[byte]) return;
  const uint8_t changed = static_cast<uint8_t>(value ^ *beepBytes_[byte]);
  if (changed == 0) return;
  beepBytes_[byte] = value;
  if (beepMaskFile_.value_or(false)) {
    if (byte == kBeepEnableBit / 8 && (changed & 0x80) != 0)
      WriteAttribute("beep_enable", (value & 0x80) ? 1 : 0, &beepReported_, "the beep settings");
    if ((changed & ~(byte == kBeepEnableBit / 8 ? 0x80 : 0x00)) == 0) return;
    uint32_t mask = 0;
    for (unsigned b = 0; b < beepBytes_.size(); ++b)
      if (beepBytes_[b]) mask |= static_cast<uint32_t>(*beepBytes_[b]) << (8 * b);
    WriteAttribute("beep_mask", mask & ~(1u << kBeepEnableBit), &beepReported_,
                   "the beep settings");
    return;
  }
  for (unsigned i = 0; i < 8; ++i) {
    if ((changed & (1u << i)) == 0) continue;
    const unsigned bit = byte * 8 + i;
    const int64_t on = (value >> i) & 1;
    if (bit == kBeepEnableBit) {
      WriteAttribute("beep_enable", on, &beepReported_, "the beep settings");
      continue;
    }
    const std::string name = BeepAttribute(device_.key.chip, bit);
    if (!name.empty()) WriteAttribute(name, on, &beepReported_, "the beep settings");
  }
}

void KernelChipBackend::WriteTripLimit(const std::string& attribute, int64_t millidegrees) {
  WriteAttribute(attribute, millidegrees, &tripReported_, "the restart temperature limits");
}

KernelChipBackend::Value KernelChipBackend::ReadRegister(uint8_t bank, uint8_t index) {
  if (family_ == Family::kVia) {
    if (index >= 0x22 && index <= 0x26) return Voltage(index - 0x22u);
    if (index == 0x20 || index == 0x21 || index == 0x1F) {
      // The driver's own temperature table: its value stands, no register is derived from it.
      const unsigned sensor = index == 0x1F ? 3u : index - 0x1Fu;
      const std::optional<int64_t> mc = Attribute(Numbered("temp", sensor, "_input"));
      if (!mc) return {};
      return {kAbsent, WholeDegrees(*mc)};
    }
    if (index == 0x29 || index == 0x2A) return FanCount(index - 0x28u);
    if (index == 0x47) return FanDivisors(1, 2, 4);
    return {kAbsent, std::nullopt};
  }
  if (family_ == Family::kSis) {
    if (index >= 0x20 && index <= 0x23) return Voltage(index - 0x20u);
    if (index == 0x24) {
      // One register, a voltage or the temperature as the bridge is wired.
      if (AttributeExists("in4_input")) return Voltage(4);
      const std::optional<int64_t> mc = Attribute("temp1_input");
      if (!mc) return {};
      if (const auto reg = SisTemperatureRegister(*mc)) return {reg, std::nullopt};
      return {kAbsent, WholeDegrees(*mc)};
    }
    if (index == 0x28 || index == 0x29) return FanCount(index - 0x27u);
    if (index == 0x47) return FanDivisors(1, 2, 4);
    return {kAbsent, std::nullopt};
  }
  // The Winbond family.
  const bool extended = device_.key.chip != ChipDriver::kW83781d;
  if (index == 0x4E) return {bankSelect_, std::nullopt};
  if (index == 0x4F)
    return {static_cast<uint8_t>((bankSelect_ & 0x80) ? kWinbondVendor >> 8 : kWinbondVendor),
            std::nullopt};
  if (bank == 0) {
    if (index == 0x58) return {WinbondChipId(device_.key.chip), std::nullopt};
    if (index >= 0x20 && index <= 0x26) return Voltage(index - 0x20u);
    if (index == 0x27) return Temperature(1, false, "_input");
    if (index == 0x39) return Temperature(1, false, "_max");
    if (index == 0x3A) return Temperature(1, false, "_max_hyst");
    if (index >= 0x28 && index <= 0x2A) return FanCount(index - 0x27u);
    if (index == 0x47) return FanDivisors(1, 2, 4);
    if (index == 0x4B && extended) return FanDivisors(3, 1, 6);
    if (index == 0x56) return BeepByte(0);
    if (index == 0x57) return BeepByte(1);
    // Interrupt status (cleared by reading) and the SMI/OVT control: nothing to show.
    if (index == 0x41 || index == 0x42 || index == 0x4C) return {0, std::nullopt};
    return {kAbsent, std::nullopt};
  }
  if ((bank == 1 || bank == 2) && index == 0x50) return Temperature(bank + 1u, true, "_input");
  if ((bank == 1 || bank == 2) && index == 0x55) return Temperature(bank + 1u, true, "_max");
  if ((bank == 1 || bank == 2) && index == 0x53) return Temperature(bank + 1u, true, "_max_hyst");
  if (bank == 4 && index == 0x53 && extended) return BeepByte(2);
  if (bank == 5 && (index == 0x50 || index == 0x51) && extended) return Voltage(index - 0x49u);
  return {kAbsent, std::nullopt};
}

void KernelChipBackend::WriteRegister(uint8_t bank, uint8_t index, uint8_t value) {
  const int64_t degrees = static_cast<int8_t>(value);
  if (family_ == Family::kVia) {
    // The driver scales its limits through its own temperature table; a register value has no
    // known meaning there, so the limits are left to it.
    if ((index >= 0x39 && index <= 0x3C) || index == 0x1D || index == 0x1E) {
      if (!tripReported_ && warn_)
        warn_(
            std::string("not writing the restart temperature limits to the kernel's via686a "
                        "driver: its temperature scale is its own; the driver keeps its own "
                        "settings"));
      tripReported_ = true;
    }
    return;
  }
  if (family_ == Family::kSis) {
    if (index == 0x33 || index == 0x34) {
      if (AttributeExists("in4_input")) return;  // wired as a voltage: no temperature limits
      WriteTripLimit(index == 0x33 ? "temp1_max" : "temp1_max_hyst",
                     SisTemperatureMillidegrees(value));
    }
    return;
  }
  if (index == 0x4E) {
    bankSelect_ = value;
    return;
  }
  if (bank == 0 && index == 0x56) return WriteBeepByte(0, value);
  if (bank == 0 && index == 0x57) return WriteBeepByte(1, value);
  if (bank == 4 && index == 0x53 && device_.key.chip != ChipDriver::kW83781d)
    return WriteBeepByte(2, value);
  if (bank == 0 && (index == 0x39 || index == 0x3A))
    return WriteTripLimit(index == 0x39 ? "temp1_max" : "temp1_max_hyst", degrees * 1000);
  if ((bank == 1 || bank == 2) && (index == 0x55 || index == 0x53))
    return WriteTripLimit(Numbered("temp", bank + 1u, index == 0x55 ? "_max" : "_max_hyst"),
                          degrees * 1000);
  // Anything else (the SMI/OVT control's unchanged write-back) stays with the driver.
}

}  // namespace velmo::hwmon
