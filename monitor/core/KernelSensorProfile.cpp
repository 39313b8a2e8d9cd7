#include "monitor/core/KernelSensorProfile.h"

#include <algorithm>

namespace velmo::core {

namespace {

// Where a channel's alarm range starts when the kernel gives no usable limit. Rails: the usual
// tolerance around the nominal voltage (+3.3 V 5 %, the others 10 %; the battery 2.5 to 3.5 V);
// the core voltage differs by processor, so its band is wide and its alarm off; temperatures:
// the upper limit and, 5 degrees below it, the hysteresis. Fans raise no alarm.
struct DefaultRange {
  int32_t upper;
  int32_t lower;
  int32_t enabled;
  int32_t adjustMax;
  int32_t adjustMin;
  int32_t step;
  int32_t messageRef;
};

// clang-format off
constexpr DefaultRange kDefaults[kChannelCount] = {
    {     0,      0, 0,      0,      0,  0, kMessageNone},         // CPUFAN
    {     0,      0, 0,      0,      0,  0, kMessageNone},         // CHAFAN
    {     0,      0, 0,      0,      0,  0, kMessageNone},         // AUXFAN
    {  2000,    500, 0,   3500,      0, 10, kMessageNone},         // VCORE
    {  2000,    500, 0,   3500,      0, 10, kMessageNone},         // VCORE2
    {  3465,   3135, 0,   3800,   3000, 10, kMessageNone},         // VIO
    {  5500,   4500, 1,   6000,   4000, 10, kMessageVoltage},      // V5
    { 13200,  10800, 1,  14000,  10000, 10, kMessageVoltage},      // V12
    {-10800, -13200, 1, -10000, -14000, 10, kMessageVoltage},      // VN12
    { -4500,  -5500, 0,  -4000,  -6500, 10, kMessageVoltage},      // VN5
    {  3500,   2500, 1,   4000,   2000, 10, kMessageVoltage},      // VB
    {  5500,   4500, 1,   6000,   4000, 10, kMessageVoltage},      // V5SB
    {    85,     80, 1,    120,     30,  1, kMessageTemperature},  // RESTEMP (the graphics card)
    {    70,     65, 1,    100,     30,  1, kMessageTemperature},  // SYSTEMP
    {    95,     90, 1,    120,     30,  1, kMessageTemperature},  // CPUTEMP
};
// clang-format on

constexpr int32_t kHysteresis = 5;
// A temperature limit outside this band is a driver's placeholder, not a limit.
constexpr int32_t kLowestTempLimit = 30;
constexpr int32_t kHighestTempLimit = 124;

// The kernel's range when it is sane: ordered and holding the reading taken at start (a limit
// nobody programmed would raise the alarm at once).
void TakeKernelLimits(int item, const KernelSensorSource::Channel& c, AlarmRange& a) {
  if (IsVoltage(item)) {
    if (!c.lower || !c.upper || *c.lower >= *c.upper) return;
    if (c.value && (*c.value < *c.lower || *c.value > *c.upper)) return;
    a.upper = *c.upper;
    a.lower = *c.lower;
  } else if (IsTemperature(item)) {
    if (!c.upper || *c.upper < kLowestTempLimit || *c.upper > kHighestTempLimit) return;
    if (c.value && *c.value >= *c.upper) return;
    a.upper = *c.upper;
    a.lower = *c.upper - kHysteresis;
  } else {
    if (c.lower && *c.lower > 0) a.lower = *c.lower;
    return;
  }
  a.adjustMax = std::max(a.adjustMax, a.upper);
  a.adjustMin = std::min(a.adjustMin, a.lower);
}

}  // namespace

SensorReadings KernelSensorProfile(const KernelSensorSource::Channels& channels) {
  SensorReadings table{};
  for (int item = 0; item < kChannelCount; ++item) {
    const DefaultRange& d = kDefaults[item];
    ChannelRecord& r = table[static_cast<size_t>(item)];
    r.alarm.upper = d.upper;
    r.alarm.lower = d.lower;
    r.alarm.enabled = d.enabled;
    r.alarm.adjustMax = d.adjustMax;
    r.alarm.adjustMin = d.adjustMin;
    r.alarm.step = d.step;
    r.messageRef = d.messageRef;
    const auto& channel = channels[static_cast<size_t>(item)];
    if (channel) {
      r.present = 1;
      TakeKernelLimits(item, *channel, r.alarm);
    }
    r.alarm.defaultUpper = r.alarm.upper;
    r.alarm.defaultLower = r.alarm.lower;
    r.alarm.defaultEnabled = r.alarm.enabled;
  }
  return table;
}

void ApplyKernelChannels(SensorReadings& readings, const KernelSensorSource::Channels& channels) {
  for (size_t item = 0; item < readings.size(); ++item) {
    readings[item].present = channels[item] ? 1 : 0;
    readings[item].bank = 0;
    readings[item].valueRegister = 0;
    readings[item].upperRegister = 0;
    readings[item].lowerRegister = 0;
  }
}

}  // namespace velmo::core
