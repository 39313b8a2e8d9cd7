// Reading a simulated board file (JSON with comments) into a checked description of the board.
//
// Notation: numbers are JSON integers or "0x.." strings; register keys "0xRR" (bank 0, or the
// VIA block offset) or "B:0xRR" (bank B 0..7, Winbond family only); PCI keys "bus:device.function"
// in hex as lspci writes them ("0:7.4", "1f:1f.7"); script times are whole seconds. Fields other
// than description, bios_id, bios_bytes, chip, via686a, pci, registers, script, trace and hwmon
// are refused, so a misspelt field cannot silently leave a board at its defaults. A "via686a"
// object on a board whose chip is not the 686A adds the bridge's PCI functions without a monitor
// block.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/ChipModel.h"

namespace velmo::sim {

struct RegisterSetting {
  uint8_t bank;  // 0 for chips without banks
  uint8_t reg;
  uint8_t value;
};

struct ScriptEntry {
  uint64_t at;  // seconds of simulated time since start
  std::vector<RegisterSetting> registers;
};

struct PciIdSetting {
  uint16_t function;  // as PciFunction()
  uint32_t id;        // the dword at register 0
};

struct BoardDescription {
  ChipKind chip = ChipKind::kNone;
  std::array<uint8_t, 8> biosBytes{};  // at physical 0xFECE0
  bool viaBridge = false;              // VIA 686A functions 0:7.0 and 0:7.4 present
  uint16_t viaBase = 0x6001;           // 0:7.4 register 0x70
  bool viaEnabled = true;              // 0:7.4 register 0x74 bit 0
  std::vector<PciIdSetting> pci;       // the "pci" object, applied after the bridges' own ids
  std::vector<RegisterSetting> registers;
  std::vector<ScriptEntry> script;  // in file order
  std::string tracePath;            // resolved against the board file's folder; empty: none
  // "hwmon": true: the machine's /sys/class/hwmon and /sys/devices belong to this board, so a
  // kernel driver's device there stands for this board's chip. Without it they are never read.
  bool machineHwmon = false;
};

// Parses board text. `name` stands for the file in error texts; relative trace paths are taken
// relative to `name`'s folder. Returns false with `error` set to "<name>: <field>: <what was
// expected>" for any malformed input; never throws.
bool ParseBoardDescription(const std::string& text, const std::string& name, BoardDescription* out,
                           std::string* error);

}  // namespace velmo::sim
