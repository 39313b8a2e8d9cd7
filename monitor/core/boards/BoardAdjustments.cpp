#include "monitor/core/boards/BoardAdjustments.h"

#include "monitor/core/boards/BoardCodes.h"
#include "monitor/hw/ChipRegisterMap.h"

namespace velmo::core {

namespace {

using E = ChannelEdit;
using P = ProfileEditRow;
constexpr BoardMatch kAnyBoard{};
constexpr BoardMatch Only(int32_t model) {
  return {BoardMatch::kOnly, model};
}
constexpr BoardMatch Except(int32_t model) {
  return {BoardMatch::kExcept, model};
}
constexpr int32_t Index(hw::ChipRegister reg) {
  return reg.index;
}
constexpr int32_t Bank(hw::ChipRegister reg) {
  return reg.bank;
}

constexpr uint32_t kW83781d = ChipSet({kHmW83781d});
constexpr uint32_t kLaterWinbonds = ChipSet({kHmW83782d, kHmW83627hf});

// --- Profile edits -------------------------------------------------------------------------

// Board 3 wires VN5 and VN12 as positive rails (memory and +3.3 V) and its system sensor to the
// chip's first temperature input.
constexpr ChannelEdit kW83781dPositiveRailsProfile[] = {
    {VN5, E::kUpper, 2700},
    {VN5, E::kLower, 2300},
    {VN5, E::kDefaultUpper, 2700},
    {VN5, E::kDefaultLower, 2300},
    {VN5, E::kAdjustMax, 3000},
    {VN5, E::kAdjustMin, 1000},
    {VN5, E::kEnabled, 1},
    {VN5, E::kDefaultEnabled, 1},
    {VN12, E::kUpper, 3450},
    {VN12, E::kLower, 3250},
    {VN12, E::kDefaultUpper, 3450},
    {VN12, E::kDefaultLower, 3250},
    {VN12, E::kAdjustMax, 4000},
    {VN12, E::kAdjustMin, 2000},
    {SYSTEMP, E::kBank, Bank(hw::kRegTemp1)},
    {SYSTEMP, E::kValueRegister, Index(hw::kRegTemp1)},
    {SYSTEMP, E::kUpperRegister, Index(hw::kRegTemp1Over)},
    {SYSTEMP, E::kLowerRegister, Index(hw::kRegTemp1Hyst)},
    {CPUTEMP, E::kBank, Bank(hw::kRegTemp2)},
};
// Elsewhere the system sensor is the chip's third temperature input, the CPU's its second.
constexpr ChannelEdit kW83781dSwappedBanks[] = {
    {SYSTEMP, E::kBank, Bank(hw::kRegTemp3)},
    {CPUTEMP, E::kBank, Bank(hw::kRegTemp2)},
};
// A later selection finds the other edits already in the profile.
constexpr ChannelEdit kW83781dCpuBank[] = {
    {CPUTEMP, E::kBank, Bank(hw::kRegTemp2)},
};
// The W83627HF has the two core inputs the other way round and no battery or standby alarms.
constexpr ChannelEdit kW83627hfProfile[] = {
    {VCORE, E::kValueRegister, Index(hw::kRegIn1)},
    {VCORE2, E::kValueRegister, Index(hw::kRegIn0)},
    {VB, E::kEnabled, 0},
    {VB, E::kDefaultEnabled, 0},
    {V5SB, E::kEnabled, 0},
    {V5SB, E::kDefaultEnabled, 0},
};
constexpr ChannelEdit kVcore2Present[] = {
    {VCORE2, E::kPresent, 1},
};

constexpr ProfileEditRow kProfileEdits[] = {
    {kW83781d, Only(kModelPositiveRails), P::kFirstSelection, P::kProfile,
     kW83781dPositiveRailsProfile},
    {kW83781d, Except(kModelPositiveRails), P::kFirstSelection, P::kProfile, kW83781dSwappedBanks},
    {kW83781d, kAnyBoard, P::kLaterSelection, P::kProfile, kW83781dCpuBank},
    {ChipSet({kHmW83627hf}), kAnyBoard, P::kEverySelection, P::kProfile, kW83627hfProfile},
    {ChipSet({kHmVia686a}), Only(kModelViaAgp), P::kFirstSelection, P::kReadings, kVcore2Present},
};

// --- Adjustments after the settings load ---------------------------------------------------

// The negative rails read more negative as the count rises, so the upper limit is the chip's
// low-limit register.
constexpr ChannelEdit kW83781dNegativeLimits[] = {
    {VN12, E::kUpperRegister, Index(hw::kRegIn5Low)},
    {VN12, E::kLowerRegister, Index(hw::kRegIn5High)},
    {VN5, E::kUpperRegister, Index(hw::kRegIn6Low)},
    {VN5, E::kLowerRegister, Index(hw::kRegIn6High)},
};
// Board 3 again, over whatever the settings held, at every start: straight (undivided) positive
// rails with their own limits, and no alarm on VIO (the AGP rail).
constexpr ChannelEdit kW83781dPositiveRails[] = {
    {VN5, E::kUpper, 2700},
    {VN5, E::kLower, 2300},
    {VN5, E::kEnabled, 1},
    {VN5, E::kAdjustMax, 3000},
    {VN5, E::kAdjustMin, 1000},
    {VN5, E::kDefaultUpper, 2700},
    {VN5, E::kDefaultLower, 2300},
    {VN5, E::kDefaultEnabled, 1},
    {VN12, E::kUpper, 3600},
    {VN12, E::kLower, 3100},
    {VN12, E::kEnabled, 1},
    {VN12, E::kAdjustMax, 4000},
    {VN12, E::kAdjustMin, 2000},
    {VN12, E::kDefaultUpper, 3600},
    {VN12, E::kDefaultLower, 3100},
    {VN12, E::kScaleA, 1},
    {VN12, E::kScaleB, 1},
    {VN12, E::kScaleC, 1},
    {VN5, E::kScaleA, 1},
    {VN5, E::kScaleB, 1},
    {VN5, E::kScaleC, 1},
    {SYSTEMP, E::kBank, Bank(hw::kRegTemp1)},
    {SYSTEMP, E::kValueRegister, Index(hw::kRegTemp1)},
    {SYSTEMP, E::kUpperRegister, Index(hw::kRegTemp1Over)},
    {SYSTEMP, E::kLowerRegister, Index(hw::kRegTemp1Hyst)},
    {CPUTEMP, E::kBank, Bank(hw::kRegTemp2)},
    {VIO, E::kEnabled, 0},
};
// The inverting inputs of the later chips: (a, b) of (a x (225 - raw) x 16) / b - 3600 for
// the boards' -12 V and -5 V resistors, and their own limit registers.
constexpr ChannelEdit kInvertedNegativeRails[] = {
    {VN12, E::kScaleA, 288},
    {VN12, E::kScaleB, 56},
    {VN5, E::kScaleA, 176},
    {VN5, E::kScaleB, 56},
    {VN12, E::kUpperRegister, Index(hw::kRegIn5High)},
    {VN12, E::kLowerRegister, Index(hw::kRegIn5Low)},
    {VN5, E::kUpperRegister, Index(hw::kRegIn6High)},
    {VN5, E::kLowerRegister, Index(hw::kRegIn6Low)},
};
// The second core rail with the first one's range; the chassis and auxiliary fans wired the
// other way round; other negative-rail resistors.
constexpr ChannelEdit kSecondCoreSwappedFans[] = {
    {VCORE2, E::kRangeOf, VCORE},      {VCORE2, E::kPresent, 1}, {CHAFAN, E::kRegistersOf, AUXFAN},
    {AUXFAN, E::kRegistersOf, CHAFAN}, {VN12, E::kScaleA, 266},  {VN5, E::kScaleA, 147},
};
// The SiS 5595 boards' input dividers, a/b (mV = a x raw x 16 / b).
constexpr ChannelEdit kSis5595Dividers[] = {
    {VCORE, E::kScaleA, 301}, {VCORE, E::kScaleB, 300}, {VCORE, E::kScaleC, 1},
    {VIO, E::kScaleA, 301},   {VIO, E::kScaleB, 300},   {VIO, E::kScaleC, 1},
    {V5, E::kScaleA, 168},    {V5, E::kScaleB, 100},    {V5, E::kScaleC, 1},
    {V12, E::kScaleA, 400},   {V12, E::kScaleB, 100},   {V12, E::kScaleC, 1},
};
// The VIA 686A boards' input dividers, a/b applied to the chip's transfer function.
constexpr ChannelEdit kVia686aDividers[] = {
    {VCORE, E::kScaleA, 125}, {VCORE, E::kScaleB, 100}, {VCORE, E::kScaleC, 1},
    {VCORE2, E::kScaleA, 5},  {VCORE2, E::kScaleB, 4},  {VCORE2, E::kScaleC, 1},
    {VIO, E::kScaleA, 5},     {VIO, E::kScaleB, 3},     {VIO, E::kScaleC, 1},
    {V5, E::kScaleA, 26},     {V5, E::kScaleB, 10},     {V5, E::kScaleC, 1},
    {V12, E::kScaleA, 63},    {V12, E::kScaleB, 10},    {V12, E::kScaleC, 1},
};

constexpr AdjustmentRow kAdjustments[] = {
    {kW83781d, kAnyBoard, kW83781dNegativeLimits},
    {kW83781d, Only(kModelPositiveRails), kW83781dPositiveRails},
    {kLaterWinbonds, Only(kModelAgpVdimm), kVcore2Present},
    {kLaterWinbonds, kAnyBoard, kInvertedNegativeRails},
    {ChipSet({kHmW83782d}), kAnyBoard, kSecondCoreSwappedFans},
    {ChipSet({kHmW83627hf}), Only(kModelDualCpu), kSecondCoreSwappedFans},
    {ChipSet({kHmSis5595}), kAnyBoard, kSis5595Dividers},
    {ChipSet({kHmVia686a}), kAnyBoard, kVia686aDividers},
    {ChipSet({kHmVia686a}), Only(kModelViaAgp), kVcore2Present},
};

}  // namespace

std::span<const ProfileEditRow> ProfileEdits() {
  return kProfileEdits;
}

std::span<const AdjustmentRow> BoardAdjustments() {
  return kAdjustments;
}

}  // namespace velmo::core
