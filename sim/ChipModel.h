// The register file of a simulated monitor chip: the Winbond family behind the index/data pair
// (eight banks), the SiS 5595 monitor (flat, same ports) and the VIA 686A block (128 registers).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmo::sim {

enum class ChipKind : uint8_t { kNone, kW83781d, kW83782d, kW83627hf, kSis5595, kVia686a };

// The board-file name of a chip ("w83782d") and back; nullopt for an unknown name.
std::optional<ChipKind> ChipKindFromName(std::string_view name);
const char* ChipKindName(ChipKind kind);
// The accepted names, for error texts.
const char* ChipKindNames();

class ChipModel {
 public:
  static constexpr unsigned kBanks = 8;

  // A chip at its power-on register values.
  explicit ChipModel(ChipKind kind);

  ChipKind Kind() const { return kind_; }
  bool Banked() const;             // the Winbond family: banks through register 0x4E
  bool AnswersIndexPair() const;   // reached through ports 0x295/0x296
  unsigned RegisterCount() const;  // per bank: 256, 128 for the VIA block, 0 for none
  // Whether a board file may set `reg`: read-only and absent registers are refused.
  bool Settable(uint8_t reg) const;

  // Bus-side access: the interrupt status registers clear on reading, the vendor register follows
  // the byte select of 0x4E, absent registers read 0xFF and ignore writes.
  uint8_t Read(uint8_t reg);
  void Write(uint8_t reg, uint8_t value);

  // Side-effect-free access in a given bank (ignored by chips without banks); a bank above 7 or
  // a register the chip lacks reads 0xFF and ignores writes.
  uint8_t Peek(unsigned bank, uint8_t reg) const;
  void Poke(unsigned bank, uint8_t reg, uint8_t value);

 private:
  bool Present(uint8_t reg) const;
  uint8_t& Cell(unsigned bank, uint8_t reg) { return banks_[bank][reg]; }

  ChipKind kind_;
  uint8_t bankSelect_ = 0;  // register 0x4E of the Winbond family, shared by all banks
  std::array<std::array<uint8_t, 256>, kBanks> banks_{};
};

}  // namespace velmo::sim
