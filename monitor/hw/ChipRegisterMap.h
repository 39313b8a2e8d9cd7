// The registers of the Winbond-family monitor chips that the monitor uses by name, with the bank
// each lives in, and the chip's identification values.
#pragma once

#include <cstdint>

namespace velmo::hw {

// A register address with the bank it lives in (0..7; registers 0x50-0x5F are banked).
struct ChipRegister {
  uint8_t bank;
  uint8_t index;
};

// One bit of a register.
struct ChipBit {
  ChipRegister reg;
  uint8_t bit;
};

inline constexpr ChipRegister kRegInterruptStatus1{0, 0x41};  // cleared by reading
inline constexpr ChipRegister kRegInterruptStatus2{0, 0x42};
inline constexpr ChipRegister kRegSmiOvtControl{0, 0x4C};
inline constexpr ChipRegister kRegBankSelect{0, 0x4E};  // bits 0-2 bank, bit 7 vendor-byte select
inline constexpr ChipRegister kRegVendorId{0, 0x4F};    // low byte, or high byte with 0x4E bit 7
inline constexpr ChipRegister kRegBeepControl1{0, 0x56};
inline constexpr ChipRegister kRegBeepControl2{0, 0x57};
inline constexpr ChipRegister kRegChipId{0, 0x58};
inline constexpr ChipRegister kRegBeepControl3{4, 0x53};

// Channel registers the board adjustments name (the chip's own input numbering): voltage inputs
// in0.. at 0x20.., each with a high and a low limit from 0x2B on; temperature 1 in bank 0,
// temperatures 2 and 3 at 0x50 of banks 1 and 2.
inline constexpr ChipRegister kRegIn0{0, 0x20};
inline constexpr ChipRegister kRegIn1{0, 0x21};
inline constexpr ChipRegister kRegIn5High{0, 0x35};
inline constexpr ChipRegister kRegIn5Low{0, 0x36};
inline constexpr ChipRegister kRegIn6High{0, 0x37};
inline constexpr ChipRegister kRegIn6Low{0, 0x38};
inline constexpr ChipRegister kRegTemp1{0, 0x27};
inline constexpr ChipRegister kRegTemp1Over{0, 0x39};
inline constexpr ChipRegister kRegTemp1Hyst{0, 0x3A};
inline constexpr ChipRegister kRegTemp2{1, 0x50};
inline constexpr ChipRegister kRegTemp3{2, 0x50};

inline constexpr uint8_t kBankSelectVendorHigh = 0x80;
inline constexpr uint16_t kWinbondVendor = 0x5CA3;
inline constexpr uint8_t kChipIdW83782d = 0x30;
inline constexpr uint8_t kChipIdW83627hf = 0x21;

// The beep-enable bits, named for the monitor's channel each one follows.
inline constexpr ChipBit kBeepV5{kRegBeepControl1, 3};
inline constexpr ChipBit kBeepResTemp{kRegBeepControl1, 4};
inline constexpr ChipBit kBeepCpuTemp{kRegBeepControl1, 5};
inline constexpr ChipBit kBeepV12{kRegBeepControl2, 0};
inline constexpr ChipBit kBeepVn12{kRegBeepControl2, 1};
inline constexpr ChipBit kBeepVn5{kRegBeepControl2, 2};
inline constexpr ChipBit kBeepSysTemp{kRegBeepControl2, 5};
inline constexpr ChipBit kBeepEnableAll{kRegBeepControl2, 7};  // the chip's global beep switch
inline constexpr ChipBit kBeepV5sb{kRegBeepControl3, 0};
inline constexpr ChipBit kBeepVbat{kRegBeepControl3, 1};

}  // namespace velmo::hw
