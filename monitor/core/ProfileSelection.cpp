#include "monitor/core/ProfileSelection.h"

#include <vector>

#include "monitor/core/MonitorState.h"
#include "monitor/core/boards/BoardAdjustments.h"
#include "monitor/core/boards/ChipTable.h"
#include "monitor/hw/PciConfig.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::core {

namespace {

SensorReadings& ProfileOf(ChipProfiles& profiles, ProfileId id) {
  switch (id) {
    case ProfileId::kW83781d:
      return profiles.w83781d;
    case ProfileId::kW83782d:
      return profiles.w83782d;
    case ProfileId::kSis5595:
      return profiles.sis5595;
    case ProfileId::kKernelSensors:
      return profiles.kernelSensors;
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
