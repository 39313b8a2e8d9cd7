#include "monitor/display/DialogTemplate.h"

#include <QFontMetrics>
#include <cstdlib>

namespace velmo::display {

QFont DialogFont() {
  // DejaVu Sans Condensed at 11 pixels has MS Sans Serif 8's cell: 13 pixels high, 6 wide on
  // average; the family falls back to any sans serif where it is missing.
  QFont font("DejaVu Sans Condensed");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  // The average width as Windows measures it for dialogs: the 52 letters, rounded half up.
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return 0;
  const int64_t product = int64_t{a} * b;
  const int64_t half = std::llabs(int64_t{c}) / 2;
  const bool negative = (product < 0) != (c < 0);
  const int64_t magnitude = (std::llabs(product) + half) / std::llabs(int64_t{c});
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

QRect MapDialogRect(const DialogBaseUnits& units, int32_t x, int32_t y, int32_t cx, int32_t cy) {
  return QRect(MulDiv(x, units.x, 4), MulDiv(y, units.y, 8), MulDiv(cx, units.x, 4),
               MulDiv(cy, units.y, 8));
}

}  // namespace velmo::display
