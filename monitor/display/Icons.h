// The monitor's icon resources (our own SVG artwork), looked up by resource number.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <cstdint>

#include "monitor/core/Resources.h"

namespace velmo::display {

// The icon numbers are the core's resources.
using core::kIconBattery;
using core::kIconBoard;
using core::kIconCase;
using core::kIconCpu;
using core::kIconFan;
using core::kIconThermometer;
using core::kIconWatch;

// The Qt resource path of an icon (":/velmo/icons/151.svg").
QString IconPath(int32_t id);
// The icon drawn at size x size pixels; a null pixmap for an unknown number.
QPixmap IconPixmap(int32_t id, int size = 32);
// The icon at any size, each drawn from the artwork when first shown: for tabs, windows and the
// notification area.
QIcon IconOf(int32_t id);

}  // namespace velmo::display
