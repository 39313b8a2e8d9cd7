// The two codes identification gives: the monitor chip (HmType) and the board model (MBModel).
// What each code means is in ChipTable.cpp and BoardTable.cpp; only those tables (and tests)
// name a code.
#pragma once

#include <cstdint>

namespace velmo::core {

// Chip codes; 0 is no supported chip.
enum HmTypeCode : int32_t {
  kHmNone = 0,
  kHmW83781d = 1,
  kHmW83782d = 2,
  kHmW83627hf = 3,
  kHmSis5595 = 4,
  kHmVia686a = 5,
  kHmKernelSensors = 6,  // no chip of its own: the sensors the Linux kernel exposes
};

// Board model codes, each a family of boards told apart by the BIOS text; 0 is not identified.
enum BoardModel : int32_t {
  kModelNone = 0,
  kModelPlain = 1,
  kModelViaAgp = 2,
  kModelPositiveRails = 3,
  kModelDualCpu = 4,
  kModelAgpVdimm = 5,
  kModelOther = 9,
  kModelGeneric = 10,  // any PC, run on the kernel's sensors
};

}  // namespace velmo::core
