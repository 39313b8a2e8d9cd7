// The registers of the monitor chips that the monitor uses by name, with the bank each lives in,
// and the Winbond chips' identification values.
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

// Channel registers by the chip's own input numbering, as the chip profiles and the board
// adjustments name them.
inline constexpr ChipRegister kRegIn0{0, 0x20};         // voltage input 0 (Vcore A)
inline constexpr ChipRegister kRegIn1{0, 0x21};         // voltage input 1 (Vcore B)
inline constexpr ChipRegister kRegIn2{0, 0x22};         // voltage input 2 (+3.3 V)
inline constexpr ChipRegister kRegIn3{0, 0x23};         // voltage input 3 (+5 V pin)
inline constexpr ChipRegister kRegIn4{0, 0x24};         // voltage input 4 (+12 V pin)
inline constexpr ChipRegister kRegIn5{0, 0x25};         // voltage input 5 (-12 V pin)
inline constexpr ChipRegister kRegIn6{0, 0x26};         // voltage input 6 (-5 V pin)
inline constexpr ChipRegister kRegIn0High{0, 0x2B};     // input 0's high limit; its low one follows
inline constexpr ChipRegister kRegIn0Low{0, 0x2C};      // input 0's low limit
inline constexpr ChipRegister kRegIn1High{0, 0x2D};     // input 1's high limit
inline constexpr ChipRegister kRegIn1Low{0, 0x2E};      // input 1's low limit
inline constexpr ChipRegister kRegIn2High{0, 0x2F};     // input 2's high limit
inline constexpr ChipRegister kRegIn2Low{0, 0x30};      // input 2's low limit
inline constexpr ChipRegister kRegIn3High{0, 0x31};     // input 3's high limit
inline constexpr ChipRegister kRegIn3Low{0, 0x32};      // input 3's low limit
inline constexpr ChipRegister kRegIn4High{0, 0x33};     // input 4's high limit
inline constexpr ChipRegister kRegIn4Low{0, 0x34};      // input 4's low limit
inline constexpr ChipRegister kRegIn5High{0, 0x35};     // input 5's high limit
inline constexpr ChipRegister kRegIn5Low{0, 0x36};      // input 5's low limit
inline constexpr ChipRegister kRegIn6High{0, 0x37};     // input 6's high limit
inline constexpr ChipRegister kRegIn6Low{0, 0x38};      // input 6's low limit
inline constexpr ChipRegister kRegIn7{5, 0x50};         // W83782D voltage input 7 (5VSB)
inline constexpr ChipRegister kRegIn8{5, 0x51};         // W83782D voltage input 8 (VBAT)
inline constexpr ChipRegister kRegIn7High{5, 0x54};     // input 7's high limit
inline constexpr ChipRegister kRegIn7Low{5, 0x55};      // input 7's low limit
inline constexpr ChipRegister kRegIn8High{5, 0x56};     // input 8's high limit
inline constexpr ChipRegister kRegIn8Low{5, 0x57};      // input 8's low limit
inline constexpr ChipRegister kRegFan1{0, 0x28};        // fan 1's count per revolution
inline constexpr ChipRegister kRegFan2{0, 0x29};        // fan 2's count
inline constexpr ChipRegister kRegFan3{0, 0x2A};        // fan 3's count
inline constexpr ChipRegister kRegFanDivisor{0, 0x47};  // fans 1 and 2's divisor fields (and VID)
inline constexpr ChipRegister kRegPinControl{0, 0x4B};  // W83782D: fan 3's divisor field
inline constexpr ChipRegister kRegTemp1{0, 0x27};       // temperature 1
inline constexpr ChipRegister kRegTemp1Over{0, 0x39};   // temperature 1's over-temperature limit
inline constexpr ChipRegister kRegTemp1Hyst{0, 0x3A};   // temperature 1's hysteresis
// The limit pair the profiles have always stored for temperature 1 (RESTEMP); the monitor never
// reads or writes these registers: the trip limits it writes are SYSTEMP's and CPUTEMP's.
inline constexpr ChipRegister kRegTemp1ProfileHigh{0, 0x79};
inline constexpr ChipRegister kRegTemp1ProfileLow{0, 0x7A};
inline constexpr ChipRegister kRegTemp2{1, 0x50};      // temperature 2 (9 bits, high byte)
inline constexpr ChipRegister kRegTemp2Hyst{1, 0x53};  // temperature 2's hysteresis
inline constexpr ChipRegister kRegTemp2Over{1, 0x55};  // temperature 2's over-temperature limit
inline constexpr ChipRegister kRegTemp3{2, 0x50};      // temperature 3, laid out as temperature 2
inline constexpr ChipRegister kRegTemp3Hyst{2, 0x53};  // temperature 3's hysteresis
inline constexpr ChipRegister kRegTemp3Over{2, 0x55};  // temperature 3's over-temperature limit

// Bit positions of the two-bit fan divisor fields.
inline constexpr uint8_t kFan1DivisorShift = 4;  // in kRegFanDivisor
inline constexpr uint8_t kFan2DivisorShift = 6;  // in kRegFanDivisor
inline constexpr uint8_t kFan3DivisorShift = 6;  // in kRegPinControl

// The SiS5595 keeps the layout above for inputs 0-4 (input 4 doubles as its temperature), fans
// 1 and 2 and the divisor register. The VIA686A moves the inputs and temperatures:
inline constexpr ChipRegister kViaRegIn0{0, 0x22};        // VIA686A voltage input 0 (Vcore)
inline constexpr ChipRegister kViaRegIn1{0, 0x23};        // VIA686A input 1 (+2.5 V)
inline constexpr ChipRegister kViaRegIn2{0, 0x24};        // VIA686A input 2 (+3.3 V)
inline constexpr ChipRegister kViaRegIn3{0, 0x25};        // VIA686A input 3 (+5 V)
inline constexpr ChipRegister kViaRegIn4{0, 0x26};        // VIA686A input 4 (+12 V)
inline constexpr ChipRegister kViaRegTemp1{0, 0x20};      // VIA686A temperature 1 (high byte)
inline constexpr ChipRegister kViaRegTemp2{0, 0x21};      // VIA686A temperature 2 (high byte)
inline constexpr ChipRegister kViaRegTemp1Over{0, 0x39};  // VIA686A temperature 1's limit
inline constexpr ChipRegister kViaRegTemp1Hyst{0, 0x3A};  // VIA686A temperature 1's hysteresis
inline constexpr ChipRegister kViaRegFan1Min{0, 0x3B};    // VIA686A fan 1's minimum count
inline constexpr ChipRegister kViaRegFan2Min{0, 0x3C};    // VIA686A fan 2's minimum count
inline constexpr ChipRegister kViaRegFan1{0, 0x29};       // VIA686A fan 1's count
inline constexpr ChipRegister kViaRegFan2{0, 0x2A};       // VIA686A fan 2's count
// Its input limits sit where the other chips' inputs 0-4 keep theirs (kRegIn0High .. kRegIn4Low),
// and its fans are divided as fans 1 and 2 are (kRegFanDivisor).

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
