// How a chip's profile and the channel table change with the board: the edits at profile
// selection and the adjustments after the settings load, as rows of (chips, board, edits).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "monitor/core/ChannelTable.h"

namespace velmo::core {

// A set of chip codes.
constexpr uint32_t ChipSet(std::initializer_list<int32_t> codes) {
  uint32_t set = 0;
  for (int32_t code : codes)
    set |= 1u << static_cast<uint32_t>(code);
  return set;
}
constexpr bool InChipSet(uint32_t set, int32_t code) {
  return code >= 0 && code < 32 && (set >> static_cast<uint32_t>(code) & 1u) != 0;
}

// Which board models a row applies to.
struct BoardMatch {
  enum Kind : uint8_t { kAny, kOnly, kExcept };
  Kind kind = kAny;
  int32_t model = 0;
  constexpr bool Matches(int32_t m) const {
    return kind == kAny || (kind == kOnly) == (m == model);
  }
};

// One change to one channel. The scale fields change the channel's VoltageScale; the two
// "Of" fields copy from the chip's profile (channel `value`): the alarm range without the
// enabled flags, or the value, upper and lower registers without the bank.
struct ChannelEdit {
  enum Field : uint8_t {
    kPresent,
    kBank,
    kValueRegister,
    kUpperRegister,
    kLowerRegister,
    kUpper,
    kLower,
    kEnabled,
    kAdjustMax,
    kAdjustMin,
    kDefaultUpper,
    kDefaultLower,
    kDefaultEnabled,
    kScaleA,
    kScaleB,
    kScaleC,
    kRangeOf,
    kRegistersOf,
  };
  int32_t item;
  Field field;
  int32_t value;
};

// Edits made when a profile is selected.
struct ProfileEditRow {
  enum When : uint8_t { kEverySelection, kFirstSelection, kLaterSelection };
  enum Target : uint8_t {
    kProfile,   // the profile itself, before it is copied (the edit stays for the run)
    kReadings,  // the channel table, after the copy
  };
  uint32_t chips;
  BoardMatch board;
  When when;
  Target target;
  std::span<const ChannelEdit> edits;
};

// Adjustments of the channel table and voltage scales once the settings are in.
struct AdjustmentRow {
  uint32_t chips;
  BoardMatch board;
  std::span<const ChannelEdit> edits;
};

// In the order they apply; a later row wins where two change the same field.
std::span<const ProfileEditRow> ProfileEdits();
std::span<const AdjustmentRow> BoardAdjustments();

}  // namespace velmo::core
