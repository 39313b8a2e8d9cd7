#include "setup/wizard/WizardPage.h"

#include "setup/wizard/WizardHost.h"

namespace velmo::setup {

QString ControlText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

CWizardPage::CWizardPage(const char* caption, int32_t cx, int32_t cy)
    : caption_(caption), cx_(cx), cy_(cy) {
  setFont(display::DialogFont());
  units_ = display::BaseUnitsOf(font());
  setFixedSize(PageSize());
}

QSize CWizardPage::PageSize() const {
  return display::MapDialogRect(units_, 0, 0, cx_, cy_).size().expandedTo(extent_);
}

WizardHost* CWizardPage::Sheet() const {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
    if (auto* host = dynamic_cast<WizardHost*>(w)) return host;
  }
  return nullptr;
}

void CWizardPage::Place(QWidget* widget, int32_t id, int32_t x, int32_t y, int32_t cx, int32_t cy) {
  const QRect rect = display::MapDialogRect(units_, x, y, cx, cy);
  widget->setGeometry(rect);
  extent_ = extent_.expandedTo(QSize(rect.right() + 1, rect.bottom() + 1));
  setFixedSize(PageSize());
  if (id != display::kStaticId) widget->setObjectName(QString::number(id));
}

}  // namespace velmo::setup
