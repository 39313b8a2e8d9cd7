#include "setup/wizard/Page3.h"

#include <QLabel>

#include "setup/wizard/WizardHost.h"

namespace velmo::setup {

CPage3::CPage3(QWidget* parent) : CWizardPage("Velmo Setup Wizard--Step Three", 258, 98) {
  setParent(parent);
  startNow_ = new QCheckBox(QStringLiteral("Start the Velmo program immediately. "), this);
  Place(startNow_, 1009, 53, 47, 174, 17);
  auto* text = new QLabel(
      ControlText("Velmo setup has completed successfully.\r\rPress the \"Finish\" button to "
                  "finish."),
      this);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text->setWordWrap(true);
  Place(text, display::kStaticId, 57, 17, 168, 30);
  UpdateData(false);
}

void CPage3::OnSetActive() {
  Sheet()->SetWizardButtons(this, kWizBack | kWizNext | kWizFinish);
}

bool CPage3::OnWizardFinish() {
  UpdateData(true);
  if (!m_bStartNow) return true;
  WizardServices& services = Sheet()->Services();
  base::Expected<void> started = base::Error{"the user to start the monitor as is unknown"};
  if (services.user) started = services.launcher.StartDetached(services.program, *services.user);
  if (!started) {
    services.host.ShowMessage("There are some Problems!");
    if (services.log) services.log(started.error().message);
    return false;
  }
  return true;
}

void CPage3::UpdateData(bool save) {
  if (save) {
    m_bStartNow = startNow_->isChecked() ? 1 : 0;
  } else {
    startNow_->setChecked(m_bStartNow != 0);
  }
}

}  // namespace velmo::setup
