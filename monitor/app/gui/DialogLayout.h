// The controls of a dialog template placed in dialog units, as the monitor's dialogs are laid out:
// one table of items per dialog, each created at its rectangle through the dialog font's metrics.
#pragma once

#include <QPushButton>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <map>
#include <span>

#include "monitor/display/DialogTemplate.h"

namespace velmo::app::gui {

inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;

enum class ItemKind : uint8_t {
  kDefaultButton,  // the push button Enter presses
  kButton,
  kRadio,        // radio buttons of one dialog form one exclusive group
  kCheckBox,     // automatic check box
  kGroupBox,     // a titled frame drawn behind the controls it holds
  kText,         // static text, left-aligned (wraps in its rectangle)
  kTextRight,    // static text, right-aligned
  kTextCentre,   // static text, centred
  kBlackFrame,   // a black rectangle outline (a line when one side is 1 unit)
  kIcon,         // an icon resource at its natural 32 x 32 pixels
  kPicture,      // a bitmap resource scaled into its rectangle
  kEdit,         // edit field with border
  kPlaceholder,  // an invisible static a control is later created over
};

struct DialogItem {
  int32_t id;  // display::kStaticId for items the code never addresses
  ItemKind kind;
  const char* text;
  int32_t resource;      // icon or bitmap number
  int32_t x, y, cx, cy;  // dialog units
};

class DialogLayout {
 public:
  // Sets the dialog font on `dialog` and fixes its size to cx x cy dialog units.
  DialogLayout(QWidget& dialog, int32_t cx, int32_t cy);

  // Creates the items in order (later items above earlier ones).
  void Create(std::span<const DialogItem> items);
  // Dialog units to pixels of this dialog.
  QRect Pixels(int32_t x, int32_t y, int32_t cx, int32_t cy) const;
  // The item created with this id, or null.
  QWidget* Item(int32_t id) const;
  template <typename W>
  W* ItemAs(int32_t id) const {
    return qobject_cast<W*>(Item(id));
  }

 private:
  QWidget& dialog_;
  display::DialogBaseUnits units_;
  std::map<int32_t, QWidget*> items_;
};

}  // namespace velmo::app::gui
