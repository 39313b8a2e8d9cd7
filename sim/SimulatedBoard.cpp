#include "sim/SimulatedBoard.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "monitor/hw/ChipPorts.h"
#include "monitor/hw/PciConfig.h"
#include "sim/BoardFile.h"
#include "sim/ChipModel.h"
#include "sim/PciSpace.h"

namespace velmo::sim {
namespace {

constexpr uint16_t kSisBridge = PciFunction(0, 1, 0);
constexpr uint16_t kViaBridge = PciFunction(0, 7, 0);
constexpr uint16_t kViaPowerMgmt = PciFunction(0, 7, 4);  // holds the monitor's I/O base
constexpr uint32_t kIdVia686aPm = 0x30571106;
constexpr uint8_t kViaBaseReg = 0x70;
constexpr uint8_t kViaEnableReg = 0x74;
constexpr uint32_t kViaBlockSize = 0x80;

// The BIOS segment F000 is what the simulated physical memory holds: all zero but the board
// text, so a window of a page or the whole segment around 0xFECE0 can be read as on a real board.
constexpr uint64_t kBiosAreaStart = 0xF0000;
constexpr uint64_t kBiosAreaEnd = 0x100000;

constexpr size_t kMaxBoardFileSize = 4 << 20;

// Appends "0x" and the lower-case hex digits of `v`, without leading zeros.
void AppendHex(std::string& out, uint64_t v) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[v & 0xF];
    v >>= 4;
  } while (v != 0);
  out += "0x";
  while (n > 0)
    out += digits[--n];
}

}  // namespace

struct SimulatedBoard::Impl {
  explicit Impl(ChipKind kind) : chip(kind) {}

  ChipModel chip;
  PciSpace pci;
  std::array<uint8_t, 8> bios{};
  std::vector<ScriptEntry> script;
  std::vector<bool> scriptDone;
  size_t scriptPending = 0;
  uint64_t now = 0;
  uint8_t index = 0;  // the index latch at 0x295
  bool viaDecoded = false;
  uint32_t viaBase = 0;
  bool traceOn = false;
  std::vector<std::string> trace;
  std::FILE* traceFile = nullptr;
  uint64_t accesses = 0;
  bool machineHwmon = false;

  ~Impl() {
    if (traceFile) std::fclose(traceFile);
  }

  // The VIA block answers where 0:7.4 says, once its enable bit is set.
  void RefreshViaDecode() {
    viaBase = (pci.ConfigByte(kViaPowerMgmt, kViaBaseReg) |
               pci.ConfigByte(kViaPowerMgmt, kViaBaseReg + 1) << 8) &
              0xFF80u;
    viaDecoded = chip.Kind() == ChipKind::kVia686a &&
                 (pci.ConfigByte(kViaPowerMgmt, kViaEnableReg) & 1) != 0;
  }

  // One byte of the bus: the PCI data lanes first, then the VIA block, then the index/data pair.
  uint8_t ReadByte(uint32_t port) {
    if (port - hw::kPciDataPort < 4) return pci.ReadLane(port - hw::kPciDataPort);
    if (viaDecoded && port - viaBase < kViaBlockSize)
      return chip.Read(static_cast<uint8_t>(port - viaBase));
    if (chip.AnswersIndexPair()) {
      if (port == hw::kIndexPort) return index;
      if (port == hw::kDataPort) return chip.Read(index);
    }
    return 0xFF;
  }

  void WriteByte(uint32_t port, uint8_t value) {
    if (port - hw::kPciDataPort < 4) {
      if (pci.WriteLane(port - hw::kPciDataPort, value)) RefreshViaDecode();
      return;
    }
    if (viaDecoded && port - viaBase < kViaBlockSize) {
      chip.Write(static_cast<uint8_t>(port - viaBase), value);
      return;
    }
    if (chip.AnswersIndexPair()) {
      if (port == hw::kIndexPort) index = value;
      if (port == hw::kDataPort) chip.Write(index, value);
    }
  }

  void ApplyScript() {
    if (scriptPending == 0) return;
    for (size_t i = 0; i < script.size(); ++i) {
      if (scriptDone[i] || script[i].at > now) continue;
      for (const RegisterSetting& s : script[i].registers)
        chip.Poke(s.bank, s.reg, s.value);
      scriptDone[i] = true;
      --scriptPending;
    }
  }

  bool Tracing() const { return traceOn || traceFile; }

  void Record(std::string line) {
    if (traceFile) {
      line += '\n';  // line-buffered: each line reaches the file as it happens
      std::fputs(line.c_str(), traceFile);
      line.pop_back();
    }
    if (traceOn) trace.push_back(std::move(line));
  }

  // "in W 0xPORT 0xVALUE" / "out W 0xPORT 0xVALUE"
  void RecordPort(const char* direction, unsigned width, uint16_t port, uint32_t value) {
    std::string line;
    line.reserve(32);
    line += direction;
    line += ' ';
    line += std::to_string(width);
    line += ' ';
    AppendHex(line, port);
    line += ' ';
    AppendHex(line, value);
    Record(std::move(line));
  }
};

SimulatedBoard::SimulatedBoard(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SimulatedBoard::~SimulatedBoard() = default;

std::unique_ptr<SimulatedBoard> SimulatedBoard::Load(const std::string& path, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (error) *error = path + ": cannot read: " + std::strerror(errno);
    return nullptr;
  }
  std::string text;
  char buf[8192];
  size_t got = 0;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= kMaxBoardFileSize)
    text.append(buf, got);
  const int readErrno = std::ferror(f) ? errno : 0;
  std::fclose(f);
  if (readErrno != 0) {
    if (error) *error = path + ": cannot read: " + std::strerror(readErrno);
    return nullptr;
  }
  if (text.size() > kMaxBoardFileSize) {
    if (error) *error = path + ": larger than 4 MiB; not a board file";
    return nullptr;
  }
  return Parse(text, path, error);
}

std::unique_ptr<SimulatedBoard> SimulatedBoard::Parse(const std::string& text,
                                                      const std::string& name, std::string* error) {
  BoardDescription d;
  if (!ParseBoardDescription(text, name, &d, error)) return nullptr;

  auto impl = std::make_unique<Impl>(d.chip);
  impl->bios = d.biosBytes;
  impl->machineHwmon = d.machineHwmon;
  if (d.chip == ChipKind::kSis5595) impl->pci.SetFunctionId(kSisBridge, hw::kIdSis5595);
  if (d.viaBridge) {
    impl->pci.SetFunctionId(kViaBridge, hw::kIdVia686a);
    impl->pci.SetFunctionId(kViaPowerMgmt, kIdVia686aPm);
    impl->pci.SetConfigByte(kViaPowerMgmt, kViaBaseReg, static_cast<uint8_t>(d.viaBase));
    impl->pci.SetConfigByte(kViaPowerMgmt, kViaBaseReg + 1, static_cast<uint8_t>(d.viaBase >> 8));
    impl->pci.SetConfigByte(kViaPowerMgmt, kViaEnableReg, d.viaEnabled ? 1 : 0);
  }
  for (const PciIdSetting& s : d.pci)
    impl->pci.SetFunctionId(s.function, s.id);
  impl->RefreshViaDecode();

  for (const RegisterSetting& s : d.registers)
    impl->chip.Poke(s.bank, s.reg, s.value);
  impl->script = std::move(d.script);
  impl->scriptDone.assign(impl->script.size(), false);
  impl->scriptPending = impl->script.size();
  impl->ApplyScript();  // entries at time 0 are due at once

  if (!d.tracePath.empty()) {
    // Appended, never truncated: the monitor and both helpers may share one trace file.
    impl->traceFile = std::fopen(d.tracePath.c_str(), "a");
    if (!impl->traceFile) {
      if (error)
        *error = name + ": trace: cannot open \"" + d.tracePath + "\": " + std::strerror(errno);
      return nullptr;
    }
    std::setvbuf(impl->traceFile, nullptr, _IOLBF, 1024);
  }
  return std::unique_ptr<SimulatedBoard>(new SimulatedBoard(std::move(impl)));
}

uint32_t SimulatedBoard::In(uint16_t port, unsigned width) {
  Impl& s = *impl_;
  ++s.accesses;
  uint32_t value = 0xFFFFFFFF;
  if (width == 4 && port == hw::kPciAddressPort) {
    value = s.pci.Address();
  } else if (width == 1) {
    value = s.ReadByte(port);  // the common case: one register byte
  } else if (width == 2 || width == 4) {
    // Wider accesses take the bytes of consecutive ports, low byte first, as the ISA bus splits
    // them; nothing answers beyond port 0xFFFF.
    value = 0;
    for (unsigned i = 0; i < width; ++i) {
      const uint32_t p = uint32_t{port} + i;
      value |= uint32_t{p <= 0xFFFF ? s.ReadByte(p) : uint8_t{0xFF}} << (8 * i);
    }
  }
  if (s.Tracing()) s.RecordPort("in", width, port, value);
  return value;
}

void SimulatedBoard::Out(uint16_t port, unsigned width, uint32_t value) {
  Impl& s = *impl_;
  ++s.accesses;
  if (width == 4 && port == hw::kPciAddressPort) {
    s.pci.SetAddress(value);
  } else if (width == 1 || width == 2 || width == 4) {
    if (width < 4) value &= (1u << (8 * width)) - 1;
    for (unsigned i = 0; i < width; ++i) {
      const uint32_t p = uint32_t{port} + i;
      if (p <= 0xFFFF) s.WriteByte(p, static_cast<uint8_t>(value >> (8 * i)));
    }
  }
  if (s.Tracing()) s.RecordPort("out", width, port, value);
}

bool SimulatedBoard::ReadPhysical(uint64_t address, uint8_t* dest, size_t length,
                                  std::string* error) {
  Impl& s = *impl_;
  if (s.Tracing()) {
    std::string line = "mem ";
    AppendHex(line, address);
    line += ' ';
    line += std::to_string(length);
    s.Record(std::move(line));
  }
  if (length == 0) return true;
  if (!dest || address < kBiosAreaStart || address >= kBiosAreaEnd ||
      length > kBiosAreaEnd - address) {
    if (error) {
      char buf[128];
      std::snprintf(buf, sizeof buf,
                    "simulated board: no memory at physical 0x%llx (%zu bytes); only the BIOS "
                    "area 0xf0000-0xfffff is there",
                    static_cast<unsigned long long>(address), length);
      *error = buf;
    }
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    const uint64_t a = address + i;
    dest[i] = a - hw::kBiosIdAddress < s.bios.size() ? s.bios[a - hw::kBiosIdAddress] : 0;
  }
  return true;
}

void SimulatedBoard::Advance(uint32_t seconds) {
  Impl& s = *impl_;
  s.now = s.now > UINT64_MAX - seconds ? UINT64_MAX : s.now + seconds;
  s.ApplyScript();
}

uint64_t SimulatedBoard::Now() const {
  return impl_->now;
}

uint8_t SimulatedBoard::PeekRegister(unsigned bank, uint8_t reg) const {
  return impl_->chip.Peek(bank, reg);
}

void SimulatedBoard::PokeRegister(unsigned bank, uint8_t reg, uint8_t value) {
  impl_->chip.Poke(bank, reg, value);
}

std::string SimulatedBoard::ChipName() const {
  return ChipKindName(impl_->chip.Kind());
}

const ChipModel& SimulatedBoard::Chip() const {
  return impl_->chip;
}

uint8_t SimulatedBoard::PeekPciConfig(uint16_t function, uint8_t reg) const {
  return impl_->pci.ConfigByte(function, reg);
}

bool SimulatedBoard::UsesMachineHwmon() const {
  return impl_->machineHwmon;
}

void SimulatedBoard::EnableTrace(bool on) {
  impl_->traceOn = on;
}
const std::vector<std::string>& SimulatedBoard::Trace() const {
  return impl_->trace;
}
void SimulatedBoard::ClearTrace() {
  impl_->trace.clear();
}
uint64_t SimulatedBoard::PortAccessCount() const {
  return impl_->accesses;
}

}  // namespace velmo::sim
