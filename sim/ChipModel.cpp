#include "sim/ChipModel.h"

#include "monitor/hw/ChipRegisters.h"

namespace velmo::sim {
namespace {

constexpr uint8_t kRegIrqStatus1 = 0x41;  // interrupt status: cleared by reading
constexpr uint8_t kRegIrqStatus2 = 0x42;
constexpr uint8_t kVendorLow = 0xA3;  // 0x5CA3, low byte with 0x4E bit 7 clear
constexpr uint8_t kVendorHigh = 0x5C;
constexpr uint8_t kHighByteSelect = 0x80;

struct Default {
  uint8_t bank;
  uint8_t reg;
  uint8_t value;
};

// Power-on values, chosen so that a board file with no registers reads sane values through the
// monitor's conversions (fans: 1350000 / divisor / count; Winbond voltages: raw x 16 mV scaled).
//
//   reg        Winbond family                      SiS 5595               VIA 686A block
//   0x1F       -                                   -                      168  temp3 40 C
//   0x20       140  VCORE 2240 mV                  188  +12V 12032 mV     178  CPU 45 C
//   0x21       140  VCORE2 2240 mV                 186  +5V 4999 mV       168  system 40 C
//   0x22       206  +3.3V 3296 mV                  206  +3.3V 3306 mV     184  VCORE 2251 mV
//   0x23       187  +5V 5056 mV                    140  VCORE 2247 mV     121  AGP 1502 mV
//   0x24       198  +12V 12038 mV                  217  CPU 40 C          203  +3.3V 3302 mV
//   0x25       -12V, per chip (below)              -                      197  +5V 5004 mV
//   0x26       -5V, per chip (below)               -                      195  +12V 12005 mV
//   0x27       38   temp1 38 C                     -                      -
//   0x28-0x2A  135  fans 5000 RPM at divisor 2     0x28-0x29 the same     0x29-0x2A the same
//   0x40       0x01 monitoring started             0x01                   0x01
//   0x47       0x5F fan 1/2 divisor 2, VID 0xF     0x50                   0x50
//   0x48       0x2D serial bus address             -                      -
//   0x4B       0x44 fan 3 divisor 2                -                      -
//   0x4E       0x80 bank 0, vendor high byte       -                      -
//   0x57       0x80 global beep enable             -                      -
//   0x58       chip id 0x10 / 0x30 / 0x21          -                      -
//   1:0x50     45   CPU 45 C (hyst 1:0x53 75, over 1:0x55 80)
//   2:0x50     40   system 40 C (hyst 2:0x53 75, over 2:0x55 80)
//   5:0x50     186  5VSB 4999 mV (w83782d, w83627hf; 126/75)
//   5:0x51     188  VBAT 3008 mV (w83782d, w83627hf)
//
// Negative rails differ by chip because the monitor converts them differently:
//   w83781d   0x25 216 -> -11980 mV (208/60)         0x26 208 -> -4992 mV (90/60)
//   w83782d   0x25  20 -> -11980 mV (266/56, 225-r)  0x26  20 -> -5010 mV (147/56)
//   w83627hf  0x25  36 -> -11952 mV (288/56, 225-r)  0x26  54 -> -4998 mV (176/56)
constexpr Default kWinbondDefaults[] = {
    {0, 0x20, 140},  {0, 0x21, 140},  {0, 0x22, 206},  {0, 0x23, 187},  {0, 0x24, 198},
    {0, 0x27, 38},   {0, 0x28, 135},  {0, 0x29, 135},  {0, 0x2A, 135},  {0, 0x40, 0x01},
    {0, 0x47, 0x5F}, {0, 0x48, 0x2D}, {0, 0x4B, 0x44}, {0, 0x57, 0x80}, {1, 0x50, 45},
    {1, 0x53, 75},   {1, 0x55, 80},   {2, 0x50, 40},   {2, 0x53, 75},   {2, 0x55, 80},
};
constexpr Default kW83781dDefaults[] = {{0, 0x25, 216}, {0, 0x26, 208}, {0, 0x58, 0x10}};
constexpr Default kW83782dDefaults[] = {
    {0, 0x25, 20}, {0, 0x26, 20}, {0, 0x58, 0x30}, {5, 0x50, 186}, {5, 0x51, 188}};
constexpr Default kW83627hfDefaults[] = {
    {0, 0x25, 36}, {0, 0x26, 54}, {0, 0x58, 0x21}, {5, 0x50, 186}, {5, 0x51, 188}};
constexpr Default kSis5595Defaults[] = {
    {0, 0x20, 188}, {0, 0x21, 186}, {0, 0x22, 206},  {0, 0x23, 140},  {0, 0x24, 217},
    {0, 0x28, 135}, {0, 0x29, 135}, {0, 0x40, 0x01}, {0, 0x47, 0x50},
};
constexpr Default kVia686aDefaults[] = {
    {0, 0x1F, 168}, {0, 0x20, 178}, {0, 0x21, 168},  {0, 0x22, 184},
    {0, 0x23, 121}, {0, 0x24, 203}, {0, 0x25, 197},  {0, 0x26, 195},
    {0, 0x29, 135}, {0, 0x2A, 135}, {0, 0x40, 0x01}, {0, 0x47, 0x50},
};

struct NamedKind {
  const char* name;
  ChipKind kind;
};
constexpr NamedKind kKinds[] = {
    {"w83781d", ChipKind::kW83781d},   {"w83782d", ChipKind::kW83782d},
    {"w83627hf", ChipKind::kW83627hf}, {"sis5595", ChipKind::kSis5595},
    {"via686a", ChipKind::kVia686a},   {"none", ChipKind::kNone},
};

}  // namespace

std::optional<ChipKind> ChipKindFromName(std::string_view name) {
  for (const NamedKind& k : kKinds) {
    if (name == k.name) return k.kind;
  }
  return std::nullopt;
}

const char* ChipKindName(ChipKind kind) {
  for (const NamedKind& k : kKinds) {
    if (kind == k.kind) return k.name;
  }
  return "none";
}

const char* ChipKindNames() {
  return "w83781d, w83782d, w83627hf, sis5595, via686a or none";
}

ChipModel::ChipModel(ChipKind kind) : kind_(kind) {
  auto apply = [this](const auto& table) {
    for (const Default& d : table)
      Cell(d.bank, d.reg) = d.value;
  };
  switch (kind_) {
    case ChipKind::kW83781d:
      apply(kWinbondDefaults);
      apply(kW83781dDefaults);
      break;
    case ChipKind::kW83782d:
      apply(kWinbondDefaults);
      apply(kW83782dDefaults);
      break;
    case ChipKind::kW83627hf:
      apply(kWinbondDefaults);
      apply(kW83627hfDefaults);
      break;
    case ChipKind::kSis5595:
      apply(kSis5595Defaults);
      break;
    case ChipKind::kVia686a:
      apply(kVia686aDefaults);
      break;
    case ChipKind::kNone:
      break;
  }
  if (Banked()) bankSelect_ = kHighByteSelect;
}

bool ChipModel::Banked() const {
  return kind_ == ChipKind::kW83781d || kind_ == ChipKind::kW83782d || kind_ == ChipKind::kW83627hf;
}

bool ChipModel::AnswersIndexPair() const {
  return Banked() || kind_ == ChipKind::kSis5595;
}

unsigned ChipModel::RegisterCount() const {
  if (kind_ == ChipKind::kNone) return 0;
  return kind_ == ChipKind::kVia686a ? 128 : 256;
}

bool ChipModel::Present(uint8_t reg) const {
  switch (kind_) {
    case ChipKind::kNone:
      return false;
    case ChipKind::kVia686a:
      return reg < 0x80;
    case ChipKind::kSis5595:
      // Not a Winbond: it has neither the bank/vendor pair nor a chip id, so no probe for the
      // Winbond family can succeed on it.
      return reg != hw::kRegBankSelect.index && reg != hw::kRegVendorId.index &&
             reg != hw::kRegChipId.index;
    default:
      return true;
  }
}

bool ChipModel::Settable(uint8_t reg) const {
  return Present(reg) && !(Banked() && reg == hw::kRegVendorId.index);
}

uint8_t ChipModel::Read(uint8_t reg) {
  if (!Present(reg)) return 0xFF;
  if (Banked()) {
    if (reg == hw::kRegBankSelect.index) return bankSelect_;
    if (reg == hw::kRegVendorId.index)
      return (bankSelect_ & kHighByteSelect) ? kVendorHigh : kVendorLow;
  }
  uint8_t& cell = Cell(Banked() ? bankSelect_ & 7u : 0u, reg);
  const uint8_t value = cell;
  if (reg == kRegIrqStatus1 || reg == kRegIrqStatus2) cell = 0;
  return value;
}

void ChipModel::Write(uint8_t reg, uint8_t value) {
  if (!Present(reg)) return;
  if (Banked()) {
    if (reg == hw::kRegBankSelect.index) {
      bankSelect_ = value;
      return;
    }
    if (reg == hw::kRegVendorId.index) return;  // read-only
  }
  Cell(Banked() ? bankSelect_ & 7u : 0u, reg) = value;
}

uint8_t ChipModel::Peek(unsigned bank, uint8_t reg) const {
  if (!Present(reg) || (Banked() && bank >= kBanks)) return 0xFF;
  if (Banked()) {
    if (reg == hw::kRegBankSelect.index) return bankSelect_;
    if (reg == hw::kRegVendorId.index)
      return (bankSelect_ & kHighByteSelect) ? kVendorHigh : kVendorLow;
  }
  return banks_[Banked() ? bank : 0u][reg];
}

void ChipModel::Poke(unsigned bank, uint8_t reg, uint8_t value) {
  if (!Settable(reg) || (Banked() && bank >= kBanks)) return;
  if (Banked() && reg == hw::kRegBankSelect.index) {
    bankSelect_ = value;
    return;
  }
  Cell(Banked() ? bank : 0u, reg) = value;
}

}  // namespace velmo::sim
