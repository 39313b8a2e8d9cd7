#include "monitor/app/gui/DialogLayout.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "monitor/display/Icons.h"

namespace velmo::app::gui {
namespace {

QLabel* MakeText(QWidget& parent, const char* text, Qt::Alignment alignment) {
  auto* label = new QLabel(QString::fromLatin1(text), &parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment | Qt::AlignTop);
  label->setWordWrap(true);
  label->setContentsMargins(0, 0, 0, 0);
  return label;
}

}  // namespace

DialogLayout::DialogLayout(QWidget& dialog, int32_t cx, int32_t cy) : dialog_(dialog) {
  dialog_.setFont(display::DialogFont());
  units_ = display::BaseUnitsOf(dialog_.font());
  dialog_.setFixedSize(Pixels(0, 0, cx, cy).size());
}

QRect DialogLayout::Pixels(int32_t x, int32_t y, int32_t cx, int32_t cy) const {
  return display::MapDialogRect(units_, x, y, cx, cy);
}

QWidget* DialogLayout::Item(int32_t id) const {
  const auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second;
}

void DialogLayout::Create(std::span<const DialogItem> items) {
  for (const DialogItem& item : items) {
    const QRect r = Pixels(item.x, item.y, item.cx, item.cy);
    const QString text = QString::fromLatin1(item.text);
    QWidget* widget = nullptr;
    switch (item.kind) {
      case ItemKind::kDefaultButton:
      case ItemKind::kButton: {
        auto* button = new QPushButton(text, &dialog_);
        button->setDefault(item.kind == ItemKind::kDefaultButton);
        button->setAutoDefault(false);
        widget = button;
        break;
      }
      case ItemKind::kRadio:
        widget = new QRadioButton(text, &dialog_);
        break;
      case ItemKind::kCheckBox:
        widget = new QCheckBox(text, &dialog_);
        break;
      case ItemKind::kGroupBox: {
        auto* group = new QGroupBox(text, &dialog_);
        widget = group;
        break;
      }
      case ItemKind::kText:
        widget = MakeText(dialog_, item.text, Qt::AlignLeft);
        break;
      case ItemKind::kTextRight:
        widget = MakeText(dialog_, item.text, Qt::AlignRight);
        break;
      case ItemKind::kTextCentre:
        widget = MakeText(dialog_, item.text, Qt::AlignHCenter);
        break;
      case ItemKind::kBlackFrame: {
        auto* frame = new QFrame(&dialog_);
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Plain);
        frame->setLineWidth(1);
        QPalette palette = frame->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        frame->setPalette(palette);
        widget = frame;
        break;
      }
      case ItemKind::kIcon: {
        auto* icon = new QLabel(&dialog_);
        icon->setPixmap(display::IconPixmap(item.resource, 32));
        icon->setGeometry(QRect(r.topLeft(), QSize(32, 32)));
        widget = icon;
        break;
      }
      case ItemKind::kPicture: {
        auto* picture = new QLabel(&dialog_);
        picture->setPixmap(display::IconPixmap(item.resource, std::min(r.width(), r.height())));
        picture->setAlignment(Qt::AlignCenter);
        widget = picture;
        break;
      }
      case ItemKind::kEdit:
        widget = new QLineEdit(&dialog_);
        break;
      case ItemKind::kPlaceholder:
        widget = new QWidget(&dialog_);
        widget->hide();
        break;
    }
    if (item.kind != ItemKind::kIcon) widget->setGeometry(r);
    if (item.kind == ItemKind::kGroupBox) widget->lower();
    if (item.id != display::kStaticId) {
      widget->setObjectName(QString::number(item.id));
      items_[item.id] = widget;
    }
  }
}

}  // namespace velmo::app::gui
