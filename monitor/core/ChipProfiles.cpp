#include "monitor/core/ChipProfiles.h"

#include <vector>

#include "monitor/core/MonitorState.h"
#include "monitor/core/boards/BoardAdjustments.h"
#include "monitor/core/boards/ChipTable.h"
#include "monitor/hw/PciConfig.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::core {

namespace {

constexpr int32_t kNone = kMessageNone;
constexpr int32_t kVolt = kMessageVoltage;
constexpr int32_t kTemp = kMessageTemperature;

// One profile row, columns in the order the profile tables are written down.
ChannelRecord Row(int32_t present, int32_t bank, int32_t valueReg, int32_t upperReg,
                  int32_t lowerReg, int32_t upper, int32_t lower, int32_t enabled,
                  int32_t adjustMax, int32_t adjustMin, int32_t step, int32_t defaultUpper,
                  int32_t defaultLower, int32_t defaultEnabled, int32_t messageRef) {
  ChannelRecord r;
  r.present = present;
  r.bank = bank;
  r.valueRegister = valueReg;
  r.upperRegister = upperReg;
  r.lowerRegister = lowerReg;
  r.outOfRange = 0;
  r.changed = 1;
  r.value = 0;
  r.alarm = {upper, lower,        enabled,      adjustMax,     adjustMin,
             step,  defaultUpper, defaultLower, defaultEnabled};
  r.messageRef = messageRef;
  return r;
}

// clang-format off
SensorReadings ProfileW83781d() {
  return {{
    Row(1, 0, 0x28, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x29, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x2A, 0,    0,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x20, 0x2B, 0x2C,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(1, 0, 0x22, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x23, 0x31, 0x32,    5500,   4500, 1,   6000,   4000, 10,   5250,   4750, 1, kVolt),
    Row(1, 0, 0x24, 0x33, 0x34,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(1, 0, 0x25, 0x35, 0x36,  -10500, -13500, 1, -10000, -14000, 10, -10500, -13500, 1, kVolt),
    Row(1, 0, 0x26, 0x37, 0x38,   -4500,  -5500, 0,  -4000,  -6000, 10,  -4500,  -5500, 0, kVolt),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x27, 0x79, 0x7A,      65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(1, 1, 0x50, 0x55, 0x53,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, 2, 0x50, 0x55, 0x53,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
}

SensorReadings ProfileW83782d() {
  return {{
    Row(1, 0, 0x29, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x28, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x2A, 0x4B, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x20, 0x2B, 0x2C,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(1, 0, 0x22, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x23, 0x31, 0x32,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x24, 0x33, 0x34,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(1, 0, 0x25, 0x35, 0x36,  -10500, -13500, 1, -10000, -14000, 10, -10500, -13500, 1, kVolt),
    Row(1, 0, 0x26, 0x37, 0x38,   -4500,  -5500, 0,  -4000,  -6500, 10,  -4500,  -5500, 0, kVolt),
    Row(1, 5, 0x51, 0x56, 0x57,    3500,   2500, 1,   4000,   2000, 10,   3500,   2500, 1, kVolt),
    Row(0, 5, 0x50, 0x54, 0x55,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x27, 0x79, 0x7A,      85,     80, 1,    100,     30,  1,     85,     80, 1, kTemp),
    Row(1, 2, 0x50, 0x55, 0x53,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, 1, 0x50, 0x55, 0x53,      95,     90, 1,    120,     30,  1,     95,     90, 1, kTemp),
  }};
}

SensorReadings ProfileSis5595() {
  SensorReadings p = {{
    Row(1, 0, 0x28, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x29, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(0, 0, 0x2A, 0,    0,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x23, 0x31, 0x32,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0,    0,    0,          0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(1, 0, 0x22, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x21, 0x2D, 0x2E,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x20, 0x2B, 0x2C,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(0, 0, 0,    0,    0,          0,      0, 0,      0,      0,  0,      0,      0, 0, kNone),
    Row(0, 0, 0,    0,    0,          0,      0, 0,      0,      0,  0,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0,    0,    0,         65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(0, 0, 0,    0,    0,         65,     60, 0,    100,     30,  1,     65,     60, 0, kTemp),
    Row(1, 0, 0x24, 0x33, 0x34,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
  p[CPUTEMP].value = 40;
  return p;
}

SensorReadings ProfileVia686a() {
  return {{
    Row(1, 0, 0x29, 0x47, 4,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x2A, 0x47, 6,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(0, 0, 0x2A, 0,    0,          0,      0, 0,      0,      0,  0,      0,   2000, 0, kNone),
    Row(1, 0, 0x22, 0x2B, 0x2C,    2310,   2190, 0,   2000,   3500, 10,   2310,   2190, 0, kNone),
    Row(0, 0, 0x23, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,   3000,   3000, 0, kNone),
    Row(1, 0, 0x24, 0x2F, 0x30,    3465,   3135, 0,   3000,   3800, 10,   3465,   3135, 0, kNone),
    Row(1, 0, 0x25, 0x31, 0x32,    5500,   4500, 1,   6000,   4000, 10,   5500,   4500, 1, kVolt),
    Row(1, 0, 0x26, 0x33, 0x34,   13500,  10500, 1,  14000,  10000, 10,  13500,  10500, 1, kVolt),
    Row(0, 0, 0x25, 0x35, 0x36,  -11000, -13000, 0, -10000, -14000, 10, -11000, -13000, 1, kVolt),
    Row(0, 0, 0x26, 0x37, 0x38,   -4750,  -5250, 0,  -4000,  -6000, 10,  -4750,  -5250, 0, kVolt),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x21, 0x2D, 0x2E,       0,      0, 0,   2000,   3500, 10,      0,      0, 0, kNone),
    Row(0, 0, 0x27, 0x79, 0x7A,      65,     60, 0,    100,     30,  1,     65,     60, 0, kNone),
    Row(1, 0, 0x21, 0x3B, 0x3C,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
    Row(1, 0, 0x20, 0x39, 0x3A,      70,     65, 1,    100,     30,  1,     70,     65, 1, kTemp),
  }};
}
// clang-format on

SensorReadings& ProfileOf(ChipProfiles& profiles, ProfileId id) {
  switch (id) {
    case ProfileId::kW83781d:
      return profiles.w83781d;
    case ProfileId::kW83782d:
      return profiles.w83782d;
    case ProfileId::kSis5595:
      return profiles.sis5595;
    case ProfileId::kVia686a:
      break;
  }
  return profiles.via686a;
}

bool ValidItem(int32_t item) {
  return item >= 0 && item < kChannelCount;
}

// Applies one edit to `records`; `scales` is null for a profile, which has none; `profile` is
// where the copying edits read from.
void Apply(const ChannelEdit& e, SensorReadings& records, VoltageScale* scales,
           const SensorReadings& profile) {
  if (!ValidItem(e.item)) return;
  ChannelRecord& r = records[static_cast<size_t>(e.item)];
  AlarmRange& a = r.alarm;
  VoltageScale* scale = scales && IsVoltage(e.item) ? &scales[e.item - VCORE] : nullptr;
  switch (e.field) {
    case ChannelEdit::kPresent:
      r.present = e.value;
      break;
    case ChannelEdit::kBank:
      r.bank = e.value;
      break;
    case ChannelEdit::kValueRegister:
      r.valueRegister = e.value;
      break;
    case ChannelEdit::kUpperRegister:
      r.upperRegister = e.value;
      break;
    case ChannelEdit::kLowerRegister:
      r.lowerRegister = e.value;
      break;
    case ChannelEdit::kUpper:
      a.upper = e.value;
      break;
    case ChannelEdit::kLower:
      a.lower = e.value;
      break;
    case ChannelEdit::kEnabled:
      a.enabled = e.value;
      break;
    case ChannelEdit::kAdjustMax:
      a.adjustMax = e.value;
      break;
    case ChannelEdit::kAdjustMin:
      a.adjustMin = e.value;
      break;
    case ChannelEdit::kDefaultUpper:
      a.defaultUpper = e.value;
      break;
    case ChannelEdit::kDefaultLower:
      a.defaultLower = e.value;
      break;
    case ChannelEdit::kDefaultEnabled:
      a.defaultEnabled = e.value;
      break;
    case ChannelEdit::kScaleA:
      if (scale) scale->a = e.value;
      break;
    case ChannelEdit::kScaleB:
      if (scale) scale->b = e.value;
      break;
    case ChannelEdit::kScaleC:
      if (scale) scale->c = e.value;
      break;
    case ChannelEdit::kRangeOf:
      if (ValidItem(e.value)) {
        const AlarmRange& from = profile[static_cast<size_t>(e.value)].alarm;
        a = {from.upper, from.lower,        a.enabled,         from.adjustMax,  from.adjustMin,
             from.step,  from.defaultUpper, from.defaultLower, a.defaultEnabled};
      }
      break;
    case ChannelEdit::kRegistersOf:
      if (ValidItem(e.value)) {
        const ChannelRecord& from = profile[static_cast<size_t>(e.value)];
        r.valueRegister = from.valueRegister;
        r.upperRegister = from.upperRegister;
        r.lowerRegister = from.lowerRegister;
      }
      break;
  }
}

bool SelectionMatches(ProfileEditRow::When when, bool first) {
  return when == ProfileEditRow::kEverySelection ||
         (when == ProfileEditRow::kFirstSelection) == first;
}

}  // namespace

ChipProfiles DefaultChipProfiles() {
  return {ProfileW83781d(), ProfileW83782d(), ProfileSis5595(), ProfileVia686a(), 0};
}

void SelectChipProfile(MonitorState& state, hw::PortAccess& ports) {
  const ChipInfo* chip = FindChip(state.hmType);
  if (!chip) return;
  ChipProfiles& profiles = state.profiles;
  SensorReadings& profile = ProfileOf(profiles, chip->profile);
  const bool first = profiles.selections == 0;
  // A VIA 586 south bridge keeps the chip's own temperature banks.
  const bool unedited =
      chip->via586KeepsProfile && ports.ProbePciId(hw::kPciViaBridge, hw::kIdVia586);
  const auto rows = [&](ProfileEditRow::Target target) {
    std::vector<const ProfileEditRow*> matching;
    for (const ProfileEditRow& row : ProfileEdits()) {
      if (row.target == target && InChipSet(row.chips, chip->code) &&
          row.board.Matches(state.mbModel) && SelectionMatches(row.when, first))
        matching.push_back(&row);
    }
    return matching;
  };
  if (!unedited) {
    for (const ProfileEditRow* row : rows(ProfileEditRow::kProfile))
      for (const ChannelEdit& e : row->edits)
        Apply(e, profile, nullptr, profile);
  }
  state.readings = profile;
  for (const ProfileEditRow* row : rows(ProfileEditRow::kReadings))
    for (const ChannelEdit& e : row->edits)
      Apply(e, state.readings, nullptr, profile);
  ++profiles.selections;
}

void ApplyBoardAdjustments(MonitorState& state) {
  const ChipInfo* chip = FindChip(state.hmType);
  if (!chip) return;
  const SensorReadings& profile = ProfileOf(state.profiles, chip->profile);
  for (const AdjustmentRow& row : BoardAdjustments()) {
    if (!InChipSet(row.chips, chip->code) || !row.board.Matches(state.mbModel)) continue;
    for (const ChannelEdit& e : row.edits)
      Apply(e, state.readings, state.voltageScale.data(), profile);
  }
}

}  // namespace velmo::core
