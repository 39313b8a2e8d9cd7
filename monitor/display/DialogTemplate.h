// Dialog templates of the monitor pages as data, and the conversion of dialog units to pixels
// through the dialog font's metrics.
#pragma once

#include <QFont>
#include <QRect>
#include <cstdint>
#include <span>

namespace velmo::display {

inline constexpr int32_t kStaticId = -1;  // a control the code never addresses

enum class ControlKind : uint8_t {
  kPlaceholder,  // invisible; a readout is created over it
  kLabel,        // left-aligned text
  kLabelRight,   // right-aligned text
  kIcon,         // an icon resource at its natural 32 x 32 size
};

struct DialogControl {
  int32_t id;
  ControlKind kind;
  const char* text;      // label text; empty for the others
  int32_t icon;          // icon resource number for kIcon
  int32_t x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  int32_t id;
  const char* caption;
  int32_t cx, cy;  // dialog units
  std::span<const DialogControl> controls;
};

// The font every page uses: a stand-in for "MS Sans Serif" 8 at 96 dpi (13 pixels high, an
// average character 6 pixels wide).
QFont DialogFont();

// The dialog base units of a font: average character width and character height in pixels.
struct DialogBaseUnits {
  int32_t x = 0;
  int32_t y = 0;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);

// a * b / c rounded to the nearest integer (halves away from zero); 0 when c is 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// Dialog units to pixels: x and width * base x / 4, y and height * base y / 8, each rounded.
QRect MapDialogRect(const DialogBaseUnits& units, int32_t x, int32_t y, int32_t cx, int32_t cy);

}  // namespace velmo::display
