// The two codes identification gives: the monitor chip (HmType) and the board model (MBModel).
#pragma once

#include <cstdint>

namespace velmo::core {

// Chip codes.
enum HmTypeCode : int32_t {
  kHmNone = 0,
  kHmW83781d = 1,   // vendor 0x5CA3
  kHmW83782d = 2,   // chip id 0x30
  kHmW83627hf = 3,  // chip id 0x21
  kHmSis5595 = 4,   // PCI 1039:0008
  kHmVia686a = 5,   // VIA 686A monitor block
};

// Board model codes (MBModel), each a family of the maker's boards told apart by the BIOS text.
enum BoardModel : int32_t {
  kModelNone = 0,           // not identified
  kModelPlain = 1,          // "7K4XRQB8": nothing board-specific
  kModelViaAgp = 2,         // VIA boards: VCORE2 is the AGP rail, no negative rails shown
  kModelPositiveRails = 3,  // VN12 and VN5 carry +3.3 V and Vdimm, VIO the AGP rail
  kModelDualCpu = 4,        // two CPUs: a second CPU page
  kModelAgpVdimm = 5,       // VCORE2 is the AGP rail, the CPU page's I/O rail is Vdimm
  kModelOther = 9,          // a board not in the table: the voltage beep bits are set
};

}  // namespace velmo::core
