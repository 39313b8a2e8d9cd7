#include "monitor/display/SysMonitor.h"

#include "monitor/core/boards/BoardTable.h"
#include "monitor/display/Icons.h"
#include "monitor/display/PageValues.h"

namespace velmo::display {
namespace {

using K = ControlKind;

constexpr DialogControl kControls[] = {
    {1005, K::kPlaceholder, "", 0, 63, 102, 70, 16},
    {1012, K::kPlaceholder, "", 0, 163, 103, 70, 16},
    {1007, K::kPlaceholder, "", 0, 62, 129, 72, 16},
    {1014, K::kPlaceholder, "", 0, 163, 129, 70, 16},
    {1009, K::kPlaceholder, "", 0, 63, 19, 70, 25},
    {1015, K::kPlaceholder, "", 0, 163, 19, 71, 25},
    {1011, K::kPlaceholder, "", 0, 62, 67, 71, 23},
    {1019, K::kPlaceholder, "", 0, 163, 67, 71, 22},
    {1038, K::kLabel, "+5V", 0, 43, 104, 16, 14},
    {1040, K::kLabelRight, "+12V", 0, 139, 106, 22, 9},
    {1039, K::kLabelRight, "-5V", 0, 36, 131, 22, 14},
    {1041, K::kLabelRight, "-12V", 0, 143, 132, 17, 10},
    {1034, K::kLabel, "Sys Temp.(C)", 0, 55, 7, 45, 10},
    {1035, K::kLabel, "Sys Temp.(F)", 0, 155, 7, 45, 10},
    {1036, K::kLabel, "Cha Fan (RPM)", 0, 61, 58, 59, 8},
    {1037, K::kLabel, "Aux Fan (RPM)", 0, 163, 55, 52, 10},
    {kStaticId, K::kLabel, "0C", 0, 61, 47, 18, 8},
    {kStaticId, K::kLabelRight, "100C", 0, 115, 46, 18, 8},
    {kStaticId, K::kLabel, "0F", 0, 163, 47, 18, 8},
    {kStaticId, K::kLabelRight, "212F", 0, 217, 47, 18, 8},
    {kStaticId, K::kIcon, "", kIconThermometer, 17, 19, 20, 20},
    {kStaticId, K::kIcon, "", kIconFan, 17, 68, 20, 20},
    {kStaticId, K::kIcon, "", kIconBattery, 18, 113, 20, 20},
    {kStaticId, K::kIcon, "", kIconCase, 246, 7, 20, 20},
};
constexpr DialogTemplate kDialog{134, "System Monitor", 274, 157, kControls};

constexpr QRgb kGrey = qRgb(188, 188, 188);
constexpr QRgb kRed = qRgb(180, 0, 0);

}  // namespace

const DialogTemplate& CSysMonitor::Dialog() {
  return kDialog;
}

CSysMonitor::CSysMonitor(QWidget* parent) : CMonitorPage(kDialog, parent) {}

CSysMonitor::~CSysMonitor() = default;

bool CSysMonitor::RailShown(Readout rail) const {
  switch (rail) {
    case kV5:
      return slots_.present.v5 != 0;
    case kV12:
      return slots_.present.v12 != 0;
    case kVn5:
      return slots_.present.vn5 != 0;
    case kVn12:
      return slots_.present.vn12 != 0 && core::BoardFor(slots_.mbModel).systemShowsVn12;
    default:
      return false;
  }
}

void CSysMonitor::OnInitDialog() {
  const struct {
    Readout readout;
    int32_t holder;
    const char* format;
    bool bar;
  } setup[] = {
      {kChassisFan, kChassisFanHolder, "%4d", false},
      {kAuxFan, kAuxFanHolder, "%4d", false},
      {kTempC, kTempCHolder, "%3d", true},
      {kTempF, kTempFHolder, "%3d", true},
      {kV5, kV5Holder, "%.3f", false},
      {kV12, kV12Holder, "%.3f", false},
      {kVn5, kVn5Holder, "%.3f", false},
      {kVn12, kVn12Holder, "%.3f", false},
  };
  for (const auto& s : setup) {
    const bool rail = s.readout >= kV5;
    if (rail && !RailShown(s.readout)) continue;
    CLedReadout& r = readouts_[s.readout];
    PlaceReadout(r, s.holder, kWsVisible);
    r.SetFormat(s.format);
    r.SetDrawUnlit(false);
    r.SetShowBar(s.bar);
    if (s.bar) r.SetBarHeight(10);
  }
  const core::BoardInfo& board = core::BoardFor(slots_.mbModel);
  if (board.systemVn5Label) SetLabelText(kVn5Label, board.systemVn5Label);
  if (board.systemVn12Label) SetLabelText(kVn12Label, board.systemVn12Label);
  if (!slots_.present.vn5) SetLabelText(kVn5Label, "");
  if (!RailShown(kVn12)) SetLabelText(kVn12Label, "");
}

void CSysMonitor::UpdateColors() {
  const QColor black(kBlack);
  const QColor grey(kGrey);
  const QColor red(kRed);
  const QColor green(kLitGreen);
  const QColor darkGreen(kDarkGreen);
  const QColor blue(kBarBlue);
  const Readout rails[] = {kV5, kV12, kVn5, kVn12};
  const int32_t railEnabled[] = {slots_.enabled.v5, slots_.enabled.v12, slots_.enabled.vn5,
                                 slots_.enabled.vn12};
  const int32_t railOutOfRange[] = {slots_.outOfRange.v5, slots_.outOfRange.v12,
                                    slots_.outOfRange.vn5, slots_.outOfRange.vn12};
  if (!slots_.alarm) {
    readouts_[kChassisFan].SetColors(grey, black, grey);
    readouts_[kAuxFan].SetColors(grey, black, grey);
    readouts_[kTempC].SetColors(grey, black, blue);
    readouts_[kTempF].SetColors(grey, black, blue);
    for (const Readout rail : rails) {
      if (RailShown(rail)) readouts_[rail].SetColors(grey, black, grey);
    }
    return;
  }
  readouts_[kChassisFan].SetColors(green, black, darkGreen);
  readouts_[kAuxFan].SetColors(green, black, darkGreen);
  for (const Readout t : {kTempC, kTempF}) {
    if (!slots_.enabled.temp) {
      readouts_[t].SetColors(grey, black, blue);
    } else if (slots_.outOfRange.temp) {
      readouts_[t].SetColors(red, black, red);
    } else {
      readouts_[t].SetColors(green, black, darkGreen);
    }
  }
  for (size_t i = 0; i < std::size(rails); ++i) {
    if (!RailShown(rails[i])) continue;
    CLedReadout& r = readouts_[rails[i]];
    if (!railEnabled[i]) {
      r.SetColors(grey, black, grey);
    } else if (railOutOfRange[i]) {
      r.SetColors(red, black, red);
    } else {
      r.SetColors(green, black, darkGreen);
    }
  }
}

void CSysMonitor::UpdateValues() {
  // A board may use the auxiliary fan input for the second processor.
  if (!core::BoardFor(slots_.mbModel).systemShowsAuxFan) slots_.auxFan = 0;
  ShowCount(readouts_[kChassisFan], slots_.chassisFan);
  ShowCount(readouts_[kAuxFan], slots_.auxFan);
  ShowTemperature(readouts_[kTempC], readouts_[kTempF], slots_.temp);
  ShowVolts(readouts_[kV5], slots_.v5);
  ShowVolts(readouts_[kV12], slots_.v12);
  ShowVolts(readouts_[kVn5], slots_.vn5);
  ShowVolts(readouts_[kVn12], slots_.vn12);
}

}  // namespace velmo::display
