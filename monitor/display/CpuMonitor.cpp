#include "monitor/display/CpuMonitor.h"

#include "monitor/core/boards/BoardTable.h"
#include "monitor/display/Icons.h"
#include "monitor/display/PageValues.h"

namespace velmo::display {
namespace {

using K = ControlKind;

constexpr DialogControl kControls[] = {
    {1000, K::kPlaceholder, "", 0, 67, 20, 71, 21},
    {1001, K::kPlaceholder, "", 0, 67, 63, 72, 24},
    {1002, K::kPlaceholder, "", 0, 179, 63, 72, 24},
    {1003, K::kPlaceholder, "", 0, 67, 116, 72, 17},
    {1004, K::kPlaceholder, "", 0, 177, 116, 72, 17},
    {1042, K::kLabel, "Cpu Fan (RPM)", 0, 67, 6, 66, 10},
    {1043, K::kLabel, "Cpu Temp.(C)", 0, 67, 52, 47, 8},
    {1044, K::kLabel, "Cpu Temp. (F)", 0, 179, 50, 52, 10},
    {1045, K::kLabel, "Vcore (V)", 0, 68, 106, 29, 8},
    {1047, K::kLabelRight, "Vio (V)", 0, 167, 105, 29, 9},
    {kStaticId, K::kLabel, "0C", 0, 66, 89, 18, 8},
    {kStaticId, K::kLabelRight, "100C", 0, 121, 89, 18, 8},
    {kStaticId, K::kLabel, "0F", 0, 177, 88, 18, 8},
    {kStaticId, K::kLabelRight, "212F", 0, 230, 90, 18, 8},
    {kStaticId, K::kIcon, "", kIconCpu, 210, 14, 20, 20},
    {kStaticId, K::kIcon, "", kIconFan, 15, 22, 20, 20},
    {kStaticId, K::kIcon, "", kIconThermometer, 15, 68, 21, 20},
    {kStaticId, K::kIcon, "", kIconBattery, 15, 112, 21, 20},
};
constexpr DialogTemplate kDialog{130, "Cpu Monitor", 270, 151, kControls};

// This page's grey and red differ from the other pages'.
constexpr QRgb kGrey = qRgb(180, 180, 180);
constexpr QRgb kRed = qRgb(200, 0, 0);

}  // namespace

const DialogTemplate& CCpuMonitor::Dialog() {
  return kDialog;
}

CCpuMonitor::CCpuMonitor(QWidget* parent) : CMonitorPage(kDialog, parent) {}

CCpuMonitor::~CCpuMonitor() = default;

void CCpuMonitor::OnInitDialog() {
  const struct {
    Readout readout;
    int32_t holder;
    const char* format;
    bool bar;
  } setup[] = {
      {kFan, kFanHolder, "%4d", false},       {kTempC, kTempCHolder, "%3d", true},
      {kTempF, kTempFHolder, "%3d", true},    {kCoreVoltage, kCoreHolder, "%.2f", false},
      {kIoVoltage, kIoHolder, "%.2f", false},
  };
  for (const auto& s : setup) {
    CLedReadout& r = readouts_[s.readout];
    PlaceReadout(r, s.holder, kWsVisible);
    r.SetFormat(s.format);
    r.SetDrawUnlit(false);
    r.SetShowBar(s.bar);
    if (s.bar) r.SetBarHeight(10);
  }
  if (const char* label = core::BoardFor(slots_.mbModel).cpuIoLabel) SetLabelText(kIoLabel, label);
}

void CCpuMonitor::UpdateColors() {
  const QColor black(kBlack);
  if (!slots_.alarm) {
    for (CLedReadout& r : readouts_)
      r.SetColors(QColor(kGrey), black, QColor(kBarBlue));
    return;
  }
  const QColor green(kLitGreen);
  const QColor darkGreen(kDarkGreen);
  const QColor red(kRed);
  for (const Readout t : {kTempC, kTempF}) {
    CLedReadout& r = readouts_[t];
    if (!slots_.tempEnabled) {
      r.SetColors(QColor(kGrey), black, QColor(kBarBlue));
    } else if (slots_.tempOutOfRange) {
      r.SetColors(red, black, red);
    } else {
      r.SetColors(green, black, darkGreen);
    }
  }
  // Only a board that feeds the I/O readout an alarmed rail (+3.3 V) colours it by that alarm.
  const bool ioAlarmed = core::BoardFor(slots_.mbModel).cpu.vioAlarm != core::kNoChannel;
  if (ioAlarmed && slots_.vioEnabled && slots_.vioOutOfRange) {
    readouts_[kIoVoltage].SetColors(red, black, red);
  } else {
    readouts_[kIoVoltage].SetColors(green, black, darkGreen);
  }
  readouts_[kFan].SetColors(green, black, darkGreen);
  readouts_[kCoreVoltage].SetColors(green, black, darkGreen);
}

void CCpuMonitor::UpdateValues() {
  ShowCount(readouts_[kFan], slots_.fan);
  ShowTemperature(readouts_[kTempC], readouts_[kTempF], slots_.temp);
  ShowVolts(readouts_[kCoreVoltage], slots_.vcore);
  ShowVolts(readouts_[kIoVoltage], slots_.vio);
}

}  // namespace velmo::display
