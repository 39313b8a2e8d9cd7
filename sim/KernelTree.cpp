#include "sim/KernelTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "monitor/core/Acquisition.h"
#include "sim/ChipModel.h"
#include "sim/PciSpace.h"
#include "sim/SimulatedBoard.h"

namespace velmo::sim {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kViaPowerMgmt = PciFunction(0, 7, 4);  // its 0x70 holds the monitor's base
constexpr uint8_t kViaBaseReg = 0x70;
constexpr uint8_t kViaEnableReg = 0x74;
constexpr unsigned kIndexPairBase = 0x290;  // the Winbond and SiS monitors' ISA base
// Where the I2C adapter of a W83781D/W83782D board sits: the PIIX4 SMBus function.
constexpr const char* kAdapterParent = "pci0000:00/0000:00:07.3";
constexpr const char* kAdapterName = "SMBus PIIX4 adapter at 5000";

constexpr mode_t kReadOnly = 0444;
constexpr mode_t kWritable = 0644;

struct Attribute {
  std::string name;
  std::string value;
  mode_t mode;
};

// One hwmon device as its driver shows it.
struct DeviceView {
  std::string driver;     // the kernel module: "w83781d"
  std::string name;       // the `name` file: "w83782d"
  std::string modalias;   // "platform:w83627hf", "i2c:w83782d"
  std::string subsystem;  // "platform" or "i2c"
  fs::path device;        // below sys/devices: "platform/w83627hf.656"
  bool i2c = false;
  std::vector<Attribute> attributes;
};

// Reads a register the way the chip holds it, without side effects.
class Registers {
 public:
  explicit Registers(const ChipModel& chip) : chip_(chip) {}
  uint8_t operator()(uint8_t reg) const { return chip_.Peek(0, reg); }
  uint8_t operator()(unsigned bank, uint8_t reg) const { return chip_.Peek(bank, reg); }

 private:
  const ChipModel& chip_;
};

class Attributes {
 public:
  void Add(const std::string& name, int64_t value, mode_t mode = kReadOnly) {
    list.push_back({name, std::to_string(value) + "\n", mode});
  }
  std::vector<Attribute> list;
};

// Fan speed from a count: 1350000 / (count x divisor); a count of 255 (stopped or below the
// range) reads 0, a count of 0 reads -1 (`zeroCount` on the VIA).
int64_t FanRpm(uint8_t count, unsigned divisor, int64_t zeroCount = -1) {
  if (count == 0) return zeroCount;
  if (count == 255) return 0;
  return 1350000 / (int64_t{count} * divisor);
}

// Temperatures of a 9-bit sensor: the high byte signed whole degrees, bit 7 of the low byte a
// half degree.
int64_t NineBitMilliCelsius(uint8_t high, uint8_t low) {
  return (int64_t{static_cast<int8_t>(high)} * 2 + (low >> 7)) * 500;
}

int64_t SignedMilliCelsius(uint8_t reg) {
  return int64_t{static_cast<int8_t>(reg)} * 1000;
}

// One channel's alarm bit, and its beep bit when the driver has one.
void AddAlarmBits(Attributes& a, const std::string& channel, uint32_t alarms, unsigned bit,
                  const uint32_t* beeps, mode_t beepMode = kWritable) {
  a.Add(channel + "_alarm", (alarms >> bit) & 1);
  if (beeps) a.Add(channel + "_beep", (*beeps >> bit) & 1, beepMode);
}

// The Winbond family as the w83781d and w83627hf drivers show it.
void WinbondAttributes(ChipKind kind, const Registers& reg, Attributes& a) {
  const bool w83781d = kind == ChipKind::kW83781d;
  struct Input {
    uint8_t bank, value, max, min;
  };
  // in0-in6 at 0x20-0x26 with limits max 0x2B+2n, min 0x2C+2n; in7 (5VSB) and in8 (VBAT) in
  // bank 5.
  const Input inputs[] = {
      {0, 0x20, 0x2B, 0x2C}, {0, 0x21, 0x2D, 0x2E}, {0, 0x22, 0x2F, 0x30},
      {0, 0x23, 0x31, 0x32}, {0, 0x24, 0x33, 0x34}, {0, 0x25, 0x35, 0x36},
      {0, 0x26, 0x37, 0x38}, {5, 0x50, 0x54, 0x55}, {5, 0x51, 0x56, 0x57},
  };
  // Alarm and beep bit of each channel.
  constexpr unsigned kInBits[] = {0, 1, 2, 3, 8, 9, 10, 16, 17};
  constexpr unsigned kFanBits[] = {6, 7, 11};
  const unsigned tempBits[] = {4, 5, w83781d ? 5u : 13u};  // the W83781D shares temp2's bit

  // The W83781D's alarms are its interrupt status registers; the later chips also have the
  // real-time status registers in bank 4 (0x59-0x5B), which reading does not clear.
  const uint32_t alarms =
      w83781d ? uint32_t{reg(0x41)} | uint32_t{reg(0x42)} << 8
              : uint32_t{reg(4, 0x59)} | uint32_t{reg(4, 0x5A)} << 8 | uint32_t{reg(4, 0x5B)} << 16;
  const uint32_t beeps = uint32_t{reg(0x56)} | uint32_t{reg(0x57)} << 8 |
                         (w83781d ? 0u : uint32_t{reg(4, 0x53)} << 16);

  const unsigned inputCount = w83781d ? 7 : 9;
  for (unsigned n = 0; n < inputCount; ++n) {
    const Input& in = inputs[n];
    const std::string ch = "in" + std::to_string(n);
    // The pin voltage: 16 mV a step.
    a.Add(ch + "_input", reg(in.bank, in.value) * 16);
    a.Add(ch + "_min", reg(in.bank, in.min) * 16, kWritable);
    a.Add(ch + "_max", reg(in.bank, in.max) * 16, kWritable);
    AddAlarmBits(a, ch, alarms, kInBits[n], &beeps);
  }

  // Divisor bits: fan1 0x47 bits 4-5, fan2 0x47 bits 6-7, fan3 0x4B bits 6-7 (fixed at 2 on the
  // W83781D); the later chips add a third bit each in 0x5D bits 5-7.
  for (unsigned n = 0; n < 3; ++n) {
    unsigned bits = n == 0 ? (reg(0x47) >> 4) & 3 : n == 1 ? (reg(0x47) >> 6) & 3 : 0;
    if (n == 2) bits = w83781d ? 1 : (reg(0x4B) >> 6) & 3;
    if (!w83781d) bits |= ((reg(0x5D) >> (5 + n)) & 1) << 2;
    const unsigned divisor = 1u << bits;
    const std::string ch = "fan" + std::to_string(n + 1);
    a.Add(ch + "_input", FanRpm(reg(static_cast<uint8_t>(0x28 + n)), divisor));
    a.Add(ch + "_min", FanRpm(reg(static_cast<uint8_t>(0x3B + n)), divisor), kWritable);
    a.Add(ch + "_div", divisor, kWritable);
    AddAlarmBits(a, ch, alarms, kFanBits[n], &beeps);
  }

  // temp1: 0x27, over 0x39, hysteresis 0x3A, whole degrees. temp2/temp3: 9-bit in banks 1/2,
  // value 0x50/0x51, hysteresis 0x53/0x54, over 0x55/0x56.
  a.Add("temp1_input", SignedMilliCelsius(reg(0x27)));
  a.Add("temp1_max", SignedMilliCelsius(reg(0x39)), kWritable);
  a.Add("temp1_max_hyst", SignedMilliCelsius(reg(0x3A)), kWritable);
  AddAlarmBits(a, "temp1", alarms, tempBits[0], &beeps);
  for (unsigned bank = 1; bank <= 2; ++bank) {
    const std::string ch = "temp" + std::to_string(bank + 1);
    a.Add(ch + "_input", NineBitMilliCelsius(reg(bank, 0x50), reg(bank, 0x51)));
    a.Add(ch + "_max", NineBitMilliCelsius(reg(bank, 0x55), reg(bank, 0x56)), kWritable);
    a.Add(ch + "_max_hyst", NineBitMilliCelsius(reg(bank, 0x53), reg(bank, 0x54)), kWritable);
    // The W83781D's temp3 beep is temp2's bit: shown, not writable.
    AddAlarmBits(a, ch, alarms, tempBits[bank], &beeps,
                 w83781d && bank == 2 ? kReadOnly : kWritable);
  }

  a.Add("alarms", alarms);
  a.Add("beep_enable", (beeps >> 15) & 1, kWritable);  // 0x57 bit 7, the chip's global switch
  a.Add("beep_mask", beeps & ~uint32_t{0x8000}, kWritable);
}

// The VIA 686A monitor: the driver scales the inputs itself, V = (25 reg + 133) f / 2628.
void ViaAttributes(const Registers& reg, Attributes& a) {
  // f per input as a fraction: 1.25, 1.25, 1.67, 2.6, 6.3.
  struct Factor {
    int64_t num, den;
  };
  constexpr Factor kFactors[] = {{125, 100}, {125, 100}, {167, 100}, {26, 10}, {63, 10}};
  auto millivolts = [&](unsigned n, uint8_t r) {
    const Factor f = kFactors[n];
    const int64_t scaled = (25 * int64_t{r} + 133) * f.num * 1000;
    const int64_t den = 2628 * f.den;
    return (scaled + den / 2) / den;  // to the nearest millivolt
  };
  // The driver converts temperatures through a table of its own in 0.1 C steps; the simulation
  // uses the monitor's own VIA curve instead (whole degrees), so its values are close to the
  // kernel's, not equal, and take the same number from either path.
  auto milliCelsius = [](uint8_t r) { return int64_t{core::LookupDegrees(r)} * 1000; };

  const uint32_t alarms = uint32_t{reg(0x41)} | uint32_t{reg(0x42)} << 8;
  constexpr unsigned kInBits[] = {0, 1, 2, 3, 8};
  for (unsigned n = 0; n < 5; ++n) {
    const std::string ch = "in" + std::to_string(n);
    a.Add(ch + "_input", millivolts(n, reg(static_cast<uint8_t>(0x22 + n))));
    a.Add(ch + "_min", millivolts(n, reg(static_cast<uint8_t>(0x2C + 2 * n))), kWritable);
    a.Add(ch + "_max", millivolts(n, reg(static_cast<uint8_t>(0x2B + 2 * n))), kWritable);
    AddAlarmBits(a, ch, alarms, kInBits[n], nullptr);
  }
  for (unsigned n = 0; n < 2; ++n) {
    const unsigned divisor = 1u << ((reg(0x47) >> (4 + 2 * n)) & 3);
    const std::string ch = "fan" + std::to_string(n + 1);
    a.Add(ch + "_input", FanRpm(reg(static_cast<uint8_t>(0x29 + n)), divisor, 0));
    a.Add(ch + "_min", FanRpm(reg(static_cast<uint8_t>(0x3B + n)), divisor, 0), kWritable);
    a.Add(ch + "_div", divisor, kWritable);
    AddAlarmBits(a, ch, alarms, 6 + n, nullptr);
  }
  struct Temp {
    uint8_t value, over, hysteresis;
    unsigned bit;
  };
  constexpr Temp kTemps[] = {{0x20, 0x39, 0x3A, 4}, {0x21, 0x3D, 0x3E, 11}, {0x1F, 0x1D, 0x1E, 15}};
  for (unsigned n = 0; n < 3; ++n) {
    const Temp& t = kTemps[n];
    const std::string ch = "temp" + std::to_string(n + 1);
    a.Add(ch + "_input", milliCelsius(reg(t.value)));
    a.Add(ch + "_max", milliCelsius(reg(t.over)), kWritable);
    a.Add(ch + "_max_hyst", milliCelsius(reg(t.hysteresis)), kWritable);
    AddAlarmBits(a, ch, alarms, t.bit, nullptr);
  }
  a.Add("alarms", alarms);
}

// The SiS 5595 monitor of the later revisions with its shared pin set to temperature: in0-in3,
// and temp1 in the in4 registers (0x24, over 0x33, hysteresis 0x34), signed reg x 0.83 + 52.12 C.
void SisAttributes(const Registers& reg, Attributes& a) {
  const uint32_t alarms = uint32_t{reg(0x41)} | uint32_t{reg(0x42)} << 8;
  for (unsigned n = 0; n < 4; ++n) {
    const std::string ch = "in" + std::to_string(n);
    a.Add(ch + "_input", reg(static_cast<uint8_t>(0x20 + n)) * 16);
    a.Add(ch + "_min", reg(static_cast<uint8_t>(0x2C + 2 * n)) * 16, kWritable);
    a.Add(ch + "_max", reg(static_cast<uint8_t>(0x2B + 2 * n)) * 16, kWritable);
    AddAlarmBits(a, ch, alarms, n, nullptr);
  }
  for (unsigned n = 0; n < 2; ++n) {
    const unsigned divisor = 1u << ((reg(0x47) >> (4 + 2 * n)) & 3);
    const std::string ch = "fan" + std::to_string(n + 1);
    a.Add(ch + "_input", FanRpm(reg(static_cast<uint8_t>(0x28 + n)), divisor));
    a.Add(ch + "_min", FanRpm(reg(static_cast<uint8_t>(0x3B + n)), divisor), kWritable);
    a.Add(ch + "_div", divisor, kWritable);
    AddAlarmBits(a, ch, alarms, 6 + n, nullptr);
  }
  auto milliCelsius = [](uint8_t r) { return int64_t{static_cast<int8_t>(r)} * 830 + 52120; };
  a.Add("temp1_input", milliCelsius(reg(0x24)));
  a.Add("temp1_max", milliCelsius(reg(0x33)), kWritable);
  a.Add("temp1_max_hyst", milliCelsius(reg(0x34)), kWritable);
  AddAlarmBits(a, "temp1", alarms, 15, nullptr);
  a.Add("alarms", alarms);
}

// The VIA monitor's I/O base (0:7.4 register 0x70, 128-byte aligned); 0 when it is disabled.
unsigned ViaBase(const SimulatedBoard& board) {
  if ((board.PeekPciConfig(kViaPowerMgmt, kViaEnableReg) & 1) == 0) return 0;
  return (board.PeekPciConfig(kViaPowerMgmt, kViaBaseReg) |
          board.PeekPciConfig(kViaPowerMgmt, kViaBaseReg + 1) << 8) &
         0xFF80u;
}

// The platform device "<driver>.<ISA base in decimal>".
void PlatformDevice(DeviceView& v, const std::string& driver, const std::string& name,
                    unsigned base) {
  v.driver = driver;
  v.name = name;
  v.modalias = "platform:" + driver;
  v.subsystem = "platform";
  v.device = fs::path("platform") / (driver + "." + std::to_string(base));
}

// The device the board's chip shows, without attributes; false when it shows none.
bool Describe(const SimulatedBoard& board, const KernelTreeOptions& o, DeviceView& v) {
  const ChipKind kind = board.Chip().Kind();
  switch (kind) {
    case ChipKind::kW83781d:
    case ChipKind::kW83782d:
      if (o.i2c) {
        char client[32];
        std::snprintf(client, sizeof client, "%u-%04x", o.i2cBus, o.i2cAddress);
        v.driver = "w83781d";
        v.name = ChipKindName(kind);
        v.modalias = "i2c:" + v.name;
        v.subsystem = "i2c";
        v.device = fs::path(kAdapterParent) / ("i2c-" + std::to_string(o.i2cBus)) / client;
        v.i2c = true;
      } else {
        PlatformDevice(v, "w83781d", ChipKindName(kind), kIndexPairBase);
      }
      return true;
    case ChipKind::kW83627hf:
      PlatformDevice(v, "w83627hf", "w83627hf", kIndexPairBase);
      return true;
    case ChipKind::kSis5595:
      PlatformDevice(v, "sis5595", "sis5595", kIndexPairBase);
      return true;
    case ChipKind::kVia686a:
      if (const unsigned base = ViaBase(board); base != 0) {
        PlatformDevice(v, "via686a", "via686a", base);
        return true;
      }
      return false;  // the driver refuses a disabled monitor
    case ChipKind::kNone:
      return false;
  }
  return false;
}

void Fail(const std::string& what, const fs::path& path, int err) {
  throw fs::filesystem_error(what, path, std::error_code(err, std::generic_category()));
}

// Replaces the file whole (a new file renamed over the old), so a reader between two ticks sees
// the old value or the new one, never an empty file; never through a link.
void WriteFile(const fs::path& path, const std::string& text, mode_t mode) {
  fs::path temporary = path;
  temporary += ".velmo-new";
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) Fail("cannot write", temporary, errno);
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                  ::fchmod(fd, mode) == 0;
  const int err = errno;
  ::close(fd);
  if (!ok) Fail("cannot write", temporary, err);
  if (::rename(temporary.c_str(), path.c_str()) != 0) Fail("cannot replace", path, errno);
}

// A symbolic link at `path` to `target`, replacing whatever link or file is there.
void Link(const fs::path& path, const fs::path& target) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec)) && fs::read_symlink(path, ec) == target) return;
  fs::remove(path, ec);
  fs::create_directory_symlink(target, path);
}

// "../" n times.
fs::path Up(size_t n) {
  fs::path p;
  for (size_t i = 0; i < n; ++i)
    p /= "..";
  return p;
}

size_t Depth(const fs::path& p) {
  return static_cast<size_t>(std::distance(p.begin(), p.end()));
}

// Removes every hwmonN entry of `folder` but `keep`.
void RemoveOtherHwmon(const fs::path& folder, const std::string& keep) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  std::vector<fs::path> stale;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("hwmon", 0) == 0 && name != keep) stale.push_back(e.path());
  }
  for (const fs::path& p : stale)
    fs::remove_all(p);
}

}  // namespace

fs::path KernelDevicePath(const SimulatedBoard& board, const KernelTreeOptions& options) {
  DeviceView v;
  if (!Describe(board, options, v)) return {};
  return fs::path("sys/devices") / v.device;
}

void ExportKernelTree(const SimulatedBoard& board, const fs::path& root,
                      const KernelTreeOptions& options) {
  const fs::path sys = root / "sys";
  const fs::path classHwmon = sys / "class/hwmon";
  const fs::path adapters = sys / "class/i2c-adapter";
  fs::create_directories(classHwmon);
  fs::create_directories(adapters);
  fs::create_directories(sys / "devices");
  const std::string hwmon = "hwmon" + std::to_string(options.hwmonIndex);

  DeviceView v;
  if (!Describe(board, options, v)) {
    RemoveOtherHwmon(classHwmon, "");
    return;
  }
  const Registers reg(board.Chip());
  Attributes a;
  switch (board.Chip().Kind()) {
    case ChipKind::kVia686a:
      ViaAttributes(reg, a);
      break;
    case ChipKind::kSis5595:
      SisAttributes(reg, a);
      break;
    default:
      WinbondAttributes(board.Chip().Kind(), reg, a);
      break;
  }

  // The device folder: name, attributes, and the links the bus gives it.
  const fs::path device = sys / "devices" / v.device;
  const size_t depth = Depth(v.device) + 1;  // from the device folder up to sys/
  fs::create_directories(device);
  if (v.i2c) {
    // The adapter the client hangs on, and its class entry (libsensors reads the bus names).
    const fs::path adapter = device.parent_path();
    WriteFile(adapter / "name", std::string(kAdapterName) + "\n", kReadOnly);
    WriteFile(adapter / "uevent", "", kWritable);
    Link(adapter / "subsystem", Up(depth - 1) / "bus/i2c");
    Link(adapters / adapter.filename(), Up(2) / "devices" / v.device.parent_path());
  }
  WriteFile(device / "name", v.name + "\n", kReadOnly);
  WriteFile(device / "uevent", "DRIVER=" + v.driver + "\nMODALIAS=" + v.modalias + "\n", kWritable);
  Link(device / "subsystem", Up(depth) / "bus" / v.subsystem);
  Link(device / "driver", Up(depth) / "bus" / v.subsystem / "drivers" / v.driver);
  for (const Attribute& attr : a.list)
    WriteFile(device / attr.name, attr.value, attr.mode);

  // The class device below it, and its entry in /sys/class/hwmon.
  const fs::path classDevice = device / "hwmon" / hwmon;
  fs::create_directories(classDevice);
  RemoveOtherHwmon(device / "hwmon", hwmon);
  Link(classDevice / "device", Up(3) / v.device.filename());
  Link(classDevice / "subsystem", Up(depth + 2) / "class/hwmon");
  WriteFile(classDevice / "uevent", "", kWritable);
  RemoveOtherHwmon(classHwmon, hwmon);
  Link(classHwmon / hwmon, Up(2) / "devices" / v.device / "hwmon" / hwmon);
}

}  // namespace velmo::sim
