// Step three of the wizard: the end, starting the monitor if the box stays checked.
#pragma once

#include <QCheckBox>
#include <cstdint>

#include "setup/wizard/WizardPage.h"

namespace velmo::setup {

class CPage3 : public CWizardPage {
 public:
  explicit CPage3(QWidget* parent);

  void OnSetActive() override;
  bool OnWizardFinish() override;
  void UpdateData(bool save) override;

  int32_t m_bStartNow = 1;  // control 1009

 private:
  QCheckBox* startNow_;
};

}  // namespace velmo::setup
