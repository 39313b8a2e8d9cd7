// What the monitor knows of each monitor chip, one row per chip code: its names, the probe that
// finds it, its profile, how its readings convert, its beep bits and lm-sensors' names for its
// inputs. Code elsewhere asks this table; it does not test chip codes.
#pragma once

#include <cstdint>
#include <span>

#include "monitor/core/ChannelTable.h"
#include "monitor/core/boards/BoardCodes.h"
#include "monitor/hw/ChipRegisterMap.h"

namespace velmo::core {

inline constexpr int32_t kNoChannel = -1;

// How the chip is found; the probes run in table order and the last that answers wins.
enum class ChipProbe : uint8_t {
  kVendor,   // the indexed chip reports the Winbond vendor id
  kChipId,   // register 0x58 reads probeValue
  kPciId,    // the PCI function at probeAddress reads probeValue
  kVia686a,  // the VIA 686A south bridge with its monitor enabled
  kNever,    // not probed: chosen when no chip answers and the kernel's sensors stand in
};

// Which of the four profiles (ChipProfiles) the chip starts from.
enum class ProfileId : uint8_t { kW83781d, kW83782d, kSis5595, kVia686a, kKernelSensors };

// The voltage conversions (Acquisition.cpp has the formulas).
enum class VoltageCurve : uint8_t {
  kLinear,            // 16 mV a step, then the board's divider
  kInvertedNegative,  // VN12 and VN5 through the inverting inputs, the others linear
  kVia686a,           // the 686A's transfer function
};

// The temperature conversions.
enum class TemperatureCurve : uint8_t { kDegrees, kThermistor, kVia686aLookup };

// One beep-enable bit: set while `item` (and `item2`, when given) is enabled, or alarming
// (enabled and out of range).
struct BeepRule {
  enum When : uint8_t { kEnabled, kAlarming };
  hw::ChipBit bit;
  int32_t item;
  When when;
  int32_t item2 = kNoChannel;
};

// lm-sensors' name for inputs of one kind: a register in [first, last] (in `bank`, or any bank
// for kAnyBank) is feature prefix + (number + register - first); `numbered` false keeps `number`.
struct SensorsFeatureRange {
  enum Kind : uint8_t { kFan, kVoltage, kTemperature };
  static constexpr int32_t kAnyBank = -1;
  Kind kind;
  int32_t bank;
  uint8_t first;
  uint8_t last;
  const char* prefix;
  int32_t number;
  bool numbered = true;
};

struct ChipInfo {
  int32_t code;             // HmType
  const char* sensorsName;  // lm-sensors' chip name ("w83782d")
  const char* description;  // what velmo-identify prints
  ChipProbe probe;
  uint32_t probeAddress;  // kPciId: the PCI function
  uint32_t probeValue;    // kChipId: the id; kPciId: vendor and device
  ProfileId profile;
  VoltageCurve voltages;
  TemperatureCurve temperatures;
  bool discardsFirstV5Read;  // the first conversion of +5 V after a switch is stale
  bool via586KeepsProfile;   // with a VIA 586 south bridge the profile is used unedited
  bool hasBeepControl;
  std::span<const BeepRule> beepsBeforeBoard;  // after the global switch
  std::span<const BeepRule> beepsAfterBoard;   // after the board's own bits
  std::span<const SensorsFeatureRange> sensorsFeatures;
  // No registers: the readings come from the kernel's sensors, and no limit of the chip is
  // ever written.
  bool kernelSensors = false;
};

// Every supported chip, in probe order.
std::span<const ChipInfo> Chips();
// The row of a chip code; nullptr for 0 (none) and unknown codes.
const ChipInfo* FindChip(int32_t code);
// The chip's description, "none" for 0 and "?" for an unknown code.
const char* ChipDescription(int32_t code);

}  // namespace velmo::core
