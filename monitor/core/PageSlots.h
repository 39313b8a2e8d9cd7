// The monitor pages' display slots: plain data that the frame publishes and the pages draw from.
#pragma once

#include <cstdint>

namespace velmo::core {

// A value slot whose channel has no reading (its sensor failed or vanished): drawn as dashes,
// written out as null.
inline constexpr int32_t kNoValue = INT32_MIN;

struct CpuPageSlots {
  int32_t mbModel = 0;
  int32_t alarm = 0;  // the alarm switch bAlarm
  int32_t fan = 0;    // RPM
  int32_t temp = 0;   // degrees Celsius
  int32_t vcore = 0;  // mV
  int32_t vio = 0;    // mV
  // The flags are the stored record's words as they are (alarm.enabled, outOfRange), not bool:
  // the event stream writes the word a settings file holds, whatever its value.
  int32_t tempEnabled = 0;
  int32_t tempOutOfRange = 0;
  int32_t vioEnabled = 0;
  int32_t vioOutOfRange = 0;
  bool operator==(const CpuPageSlots&) const = default;
};

// The four rails of the System page, in the order +5 V, +12 V, -5 V, -12 V: the records' words
// (present), kept as stored like the alarm flags below.
struct RailFlags {
  int32_t v5 = 0;
  int32_t v12 = 0;
  int32_t vn5 = 0;
  int32_t vn12 = 0;
  bool operator==(const RailFlags&) const = default;
};

// Alarm flags of the System page's temperature and four rails.
struct SysAlarmFlags {
  int32_t temp = 0;
  int32_t v5 = 0;
  int32_t v12 = 0;
  int32_t vn5 = 0;
  int32_t vn12 = 0;
  bool operator==(const SysAlarmFlags&) const = default;
};

struct SysPageSlots {
  int32_t mbModel = 0;
  int32_t chassisFan = 0;
  int32_t auxFan = 0;
  int32_t temp = 0;
  int32_t v5 = 0;  // mV
  int32_t v12 = 0;
  int32_t vn5 = 0;
  int32_t vn12 = 0;
  int32_t alarm = 0;
  RailFlags present;
  SysAlarmFlags enabled;
  SysAlarmFlags outOfRange;
  bool operator==(const SysPageSlots&) const = default;
};

struct MiscPageSlots {
  int32_t mbModel = 0;
  int32_t alarm = 0;
  int32_t agp = 0;  // mV
  bool operator==(const MiscPageSlots&) const = default;
};

// Everything PublishToPages writes; cpu2 is used only on board model 4.
struct PageSlots {
  CpuPageSlots cpu;
  CpuPageSlots cpu2;
  SysPageSlots system;
  MiscPageSlots misc;
  bool operator==(const PageSlots&) const = default;
};

}  // namespace velmo::core
