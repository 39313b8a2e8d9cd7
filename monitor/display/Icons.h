// The monitor's icon resources (our own SVG artwork), looked up by resource number.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <cstdint>

namespace velmo::display {

// Resource numbers of the icons the pages and tabs use.
enum IconId : int32_t {
  kIconWatch = 145,
  kIconCpu = 151,
  kIconBattery = 152,
  kIconBoard = 153,
  kIconFan = 157,
  kIconThermometer = 158,
  kIconCase = 159,
};

// The Qt resource path of an icon (":/velmo/icons/151.svg").
QString IconPath(int32_t id);
// The icon drawn at size x size pixels; a null pixmap for an unknown number.
QPixmap IconPixmap(int32_t id, int size = 32);
// The icon at 16 and 32 pixels, for tabs and windows.
QIcon IconOf(int32_t id);

}  // namespace velmo::display
