#include "monitor/display/MonitorPage.h"

#include <QFontMetrics>
#include <QShowEvent>

#include "monitor/display/Icons.h"

namespace velmo::display {
namespace {

const DialogControl* FindControl(const DialogTemplate& dialog, int32_t id) {
  if (id == kStaticId) return nullptr;
  for (const DialogControl& c : dialog.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

}  // namespace

CMonitorPage::CMonitorPage(const DialogTemplate& dialog, QWidget* parent)
    : QWidget(parent), dialog_(dialog) {
  setFont(DialogFont());
  units_ = BaseUnitsOf(font());
  setWindowTitle(QString::fromLatin1(dialog_.caption));
  const QSize size = MapDialogRect(units_, 0, 0, dialog_.cx, dialog_.cy).size();
  setMinimumSize(size);
  resize(size);
}

CMonitorPage::~CMonitorPage() = default;

QSize CMonitorPage::sizeHint() const {
  return MapDialogRect(units_, 0, 0, dialog_.cx, dialog_.cy).size();
}

void CMonitorPage::showEvent(QShowEvent* event) {
  InitDialog();
  QWidget::showEvent(event);
}

void CMonitorPage::InitDialog() {
  if (initialised_) return;
  initialised_ = true;
  CreateControls();
  OnInitDialog();
  UpdateColors();
  UpdateValues();
}

void CMonitorPage::OnTimer() {
  if (!initialised_) return;
  UpdateColors();
  UpdateValues();
}

QRect CMonitorPage::PixelRect(const DialogControl& c) const {
  return MapDialogRect(units_, c.x, c.y, c.cx, c.cy);
}

QRect CMonitorPage::TemplateRect(int32_t id) const {
  const DialogControl* c = FindControl(dialog_, id);
  return c ? PixelRect(*c) : QRect();
}

void CMonitorPage::CreateControls() {
  for (const DialogControl& c : dialog_.controls) {
    const QRect r = PixelRect(c);
    QWidget* widget = nullptr;
    switch (c.kind) {
      case ControlKind::kPlaceholder:
        widget = new QWidget(this);
        widget->setGeometry(r);
        widget->hide();
        break;
      case ControlKind::kLabel:
      case ControlKind::kLabelRight: {
        const bool right = c.kind == ControlKind::kLabelRight;
        auto* label = new QLabel(QString::fromLatin1(c.text), this);
        label->setAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        label->setContentsMargins(0, 0, 0, 0);
        FitLabel(*label, r, right);
        widget = label;
        break;
      }
      case ControlKind::kIcon: {
        // A static icon control takes the icon's own size at the rectangle's top left.
        auto* icon = new QLabel(this);
        icon->setPixmap(IconPixmap(c.icon, 32));
        icon->setGeometry(QRect(r.topLeft(), QSize(32, 32)));
        widget = icon;
        break;
      }
    }
    // The first show creates the controls, when the page is already visible: children made then
    // must be shown themselves.
    if (c.kind != ControlKind::kPlaceholder) widget->show();
    if (c.id != kStaticId) {
      widget->setObjectName(QString::number(c.id));
      controls_[c.id] = widget;
    }
  }
}

// A label keeps its template rectangle unless its text is wider in our font: then it grows away
// from its aligned edge instead of clipping the text.
void CMonitorPage::FitLabel(QLabel& label, const QRect& templateRect, bool rightAligned) {
  QRect r = templateRect;
  const int needed = QFontMetrics(label.font()).horizontalAdvance(label.text());
  if (needed > r.width()) {
    if (rightAligned) {
      r.setLeft(r.right() + 1 - needed);
    } else {
      r.setWidth(needed);
    }
  }
  label.setGeometry(r);
}

QWidget* CMonitorPage::Control(int32_t id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

QLabel* CMonitorPage::Label(int32_t id) const {
  return qobject_cast<QLabel*>(Control(id));
}

void CMonitorPage::PlaceReadout(CLedReadout& readout, int32_t placeholder, uint32_t style) {
  const QWidget* holder = Control(placeholder);
  const QRect r = holder ? holder->geometry() : TemplateRect(placeholder);
  readout.Create(this, r, style);
}

void CMonitorPage::SetLabelText(int32_t id, const QString& text) {
  QLabel* label = Label(id);
  if (!label) return;
  label->setText(text);
  const DialogControl* c = FindControl(dialog_, id);
  if (c) FitLabel(*label, PixelRect(*c), c->kind == ControlKind::kLabelRight);
}

void CMonitorPage::DestroyControl(int32_t id) {
  const auto it = controls_.find(id);
  if (it == controls_.end()) return;
  delete it->second;
  controls_.erase(it);
}

}  // namespace velmo::display
