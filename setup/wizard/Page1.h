// Step one of the wizard: the platform check, naming the system, and the way on only where
// Velmo runs.
#pragma once

#include <QLabel>
#include <cstdint>
#include <string>

#include "setup/wizard/WizardPage.h"

namespace velmo::setup {

class CPage1 : public CWizardPage {
 public:
  explicit CPage1(QWidget* parent);

  void OnInitDialog() override;
  void OnSetActive() override;
  void UpdateData(bool save) override;

  int32_t m_bNT = 0;
  int32_t m_b9x = 0;
  std::string m_strWindows;  // control 1005
  std::string m_strHint;     // control 1006

 private:
  QLabel* windows_;
  QLabel* hint_;
};

}  // namespace velmo::setup
