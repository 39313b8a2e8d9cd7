// libFuzzer target: the board-file parser and a board built from what it accepts. Any input up to
// 1 MiB (so that deep nesting is reached) is refused with an error naming the file, or gives a
// board that answers every port, memory read and clock step without fault.
#include <cstdint>
#include <string>

#include "sim/SimulatedBoard.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return -1;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  auto board = velmo::sim::SimulatedBoard::Parse(text, "fuzz.json", &error);
  if (!board) {
    Check(error.rfind("fuzz.json: ", 0) == 0);
    Check(error.size() < 512);  // a rejected value is never serialised whole
    return 0;
  }
  // The monitor's accesses and some around them.
  for (uint16_t port : {0x295, 0x296, 0xCF8, 0xCFC, 0xCFD, 0xCFE, 0xCFF, 0x6000, 0x6029, 0xEB}) {
    for (unsigned width : {1u, 2u, 4u}) {
      board->Out(port, width, 0x80003800u ^ port);
      (void)board->In(port, width);
    }
  }
  uint8_t bytes[16];
  (void)board->ReadPhysical(0xFECE0, bytes, 8, &error);
  board->Advance(1u << 20);
  (void)board->In(0x296, 1);
  return 0;
}
