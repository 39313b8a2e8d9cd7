#include "setup/wizard/Page2.h"

#include <QTimerEvent>

#include "setup/install/Platform.h"
#include "setup/wizard/WizardHost.h"

namespace velmo::setup {

namespace {

constexpr int kTickMs = 10;

}  // namespace

CPage2::CPage2(QWidget* parent) : CWizardPage("Velmo Setup Wizard--Step Two", 270, 93) {
  setParent(parent);
  m_Progress = new QProgressBar(this);
  m_Progress->setTextVisible(false);
  Place(m_Progress, 1007, 45, 55, 174, 11);
  status_ = new QLabel(this);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setWordWrap(true);
  Place(status_, 1008, 46, 14, 114, 25);
}

void CPage2::OnInitDialog() {
  const PlatformCheck check = CheckPlatform(Sheet()->Services().platform.Read());
  m_bNT = check.helperServices;
  m_b9x = check.directPorts;
  UpdateData(false);
}

void CPage2::OnSetActive() {
  m_strStatus = "Copying files...";  // reaches the screen with the next transfer
  m_Progress->setRange(0, 100);
  m_Progress->setValue(5);
  m_nTick = 0;
  timer_.start(kTickMs, this);  // replaces a timer still running from an earlier visit
  m_Progress->show();
  Sheet()->SetWizardButtons(this, kWizBack);
}

void CPage2::UpdateData(bool save) {
  if (save) return;
  status_->setText(ControlText(m_strStatus));
}

void CPage2::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timer_.timerId()) {
    OnTimer();
    return;
  }
  CWizardPage::timerEvent(event);
}

void CPage2::OnTimer() {
  // A message box of the installation runs its own event loop: the ticks it delivers wait.
  if (installing_) return;
  ++m_nTick;
  if (m_nTick > 100) {
    timer_.stop();
    m_strStatus = "Finished.\r\rPlease Continue...";
    m_Progress->hide();
    Sheet()->SetWizardButtons(this, kWizBack | kWizNext);
    UpdateData(false);
    return;
  }
  if (m_nTick == 1) {
    installing_ = true;
    Sheet()->Services().install();
    installing_ = false;
    m_nTick = 90;
  }
  m_Progress->setValue(m_nTick);
  UpdateData(false);
}

}  // namespace velmo::setup
