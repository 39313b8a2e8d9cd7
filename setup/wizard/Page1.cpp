#include "setup/wizard/Page1.h"

#include <QFrame>

#include "setup/install/Platform.h"
#include "setup/wizard/WizardHost.h"

namespace velmo::setup {

CPage1::CPage1(QWidget* parent) : CWizardPage("Velmo Setup Wizard--Step One", 280, 106) {
  setParent(parent);
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  Place(frame, display::kStaticId, 76, 7, 133, 26);
  auto* title = new QLabel(ControlText("Velmo\rVersion 3.10"), this);
  title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Place(title, display::kStaticId, 78, 13, 122, 18);
  windows_ = new QLabel(this);
  windows_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  windows_->setWordWrap(true);
  Place(windows_, 1005, 83, 38, 114, 41);
  hint_ = new QLabel(this);
  hint_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Three lines high where the template has one: the refusal's hint has three.
  Place(hint_, 1006, 85, 84, 110, 24);
}

void CPage1::OnInitDialog() {
  m_strHint = "Please continue...";
  const PlatformCheck check = CheckPlatform(Sheet()->Services().platform.Read());
  m_bNT = check.helperServices;
  m_b9x = check.directPorts;
  std::string name;
  if (m_bNT) {
    m_strHint.clear();  // the hint line stays empty on this line
    name = check.name;
    if (!check.kernelRelease.empty()) name += "\r" + check.kernelRelease;
  }
  m_strWindows = "Your Windows is:\r\r" + name;
  UpdateData(false);
}

void CPage1::OnSetActive() {
  if (m_bNT || m_b9x) {
    Sheet()->SetWizardButtons(this, kWizNext);
  } else {
    Sheet()->SetWizardButtons(this, ~kWizBack);
    m_strHint = kRefusedHint;
  }
  UpdateData(false);
}

void CPage1::UpdateData(bool save) {
  if (save) return;  // nothing the user edits
  windows_->setText(ControlText(m_strWindows));
  hint_->setText(ControlText(m_strHint));
}

}  // namespace velmo::setup
