#include "monitor/display/VagpMonitor.h"

#include "monitor/core/boards/BoardTable.h"
#include "monitor/display/Icons.h"
#include "monitor/display/PageValues.h"

namespace velmo::display {
namespace {

using K = ControlKind;

constexpr DialogControl kControls[] = {
    {kStaticId, K::kIcon, "", kIconBoard, 221, 7, 20, 20},
    {1049, K::kPlaceholder, "", 0, 73, 92, 84, 22},
    {1052, K::kPlaceholder, "", 0, 73, 32, 81, 18},
    {1048, K::kLabel, "Vagp(V)", 0, 76, 17, 54, 8},
    {kStaticId, K::kIcon, "", kIconWatch, 28, 94, 21, 20},
    {1054, K::kIcon, "", kIconBattery, 32, 32, 21, 20},
};
constexpr DialogTemplate kDialog{161, "Miscellaneous", 249, 138, kControls};

constexpr QRgb kGrey = qRgb(188, 188, 188);
constexpr const char* kTimeFormat = "%H:%M:%S";

}  // namespace

const DialogTemplate& CVagpMonitor::Dialog() {
  return kDialog;
}

CVagpMonitor::CVagpMonitor(QWidget* parent)
    : CMonitorPage(kDialog, parent), clock_([] { return std::time(nullptr); }) {}

CVagpMonitor::~CVagpMonitor() = default;

void CVagpMonitor::OnInitDialog() {
  hasAgpVoltage_ = core::BoardFor(slots_.mbModel).miscShowsAgp;

  PlaceReadout(clockReadout_, kClockHolder, kWsVisible | kWsDlgFrame);
  clockReadout_.SetDrawUnlit(false);
  clockReadout_.SetColors(QColor(255, 255, 255), QColor(0, 100, 100), QColor(0, 0, 180));
  clockReadout_.SetMinWidth(5);
  clockReadout_.ShowTime(kTimeFormat, clock_());

  if (hasAgpVoltage_) {
    PlaceReadout(agp_, kAgpHolder, kWsVisible);
    agp_.SetFormat("%.2f");
    agp_.SetDrawUnlit(false);
    agp_.SetShowBar(false);
  } else {
    SetLabelText(kAgpLabel, "");
    DestroyControl(kAgpIcon);
  }
}

void CVagpMonitor::UpdateColors() {
  if (!hasAgpVoltage_) return;
  if (slots_.alarm) {
    agp_.SetColors(QColor(kLitGreen), QColor(kBlack), QColor(kDarkGreen));
  } else {
    agp_.SetColors(QColor(kGrey), QColor(kBlack), QColor(kGrey));
  }
}

void CVagpMonitor::UpdateValues() {
  ShowVolts(agp_, slots_.agp);
  clockReadout_.ShowTime(kTimeFormat, clock_());
}

}  // namespace velmo::display
