// Step two of the wizard: the installation, run in the first tick of a 10 ms animation of the
// progress bar.
#pragma once

#include <QBasicTimer>
#include <QLabel>
#include <QProgressBar>
#include <cstdint>
#include <string>

#include "setup/wizard/WizardPage.h"

namespace velmo::setup {

class CPage2 : public CWizardPage {
 public:
  explicit CPage2(QWidget* parent);

  void OnInitDialog() override;
  void OnSetActive() override;
  void UpdateData(bool save) override;
  // One tick of the animation; the first runs the installation.
  void OnTimer();

  bool TimerRunning() const { return timer_.isActive(); }
  QProgressBar* Progress() const { return m_Progress; }

  int32_t m_bNT = 0;
  int32_t m_b9x = 0;
  int32_t m_nTick = 0;
  QProgressBar* m_Progress;  // control 1007
  std::string m_strStatus;   // control 1008

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  QLabel* status_;
  QBasicTimer timer_;
  bool installing_ = false;
};

}  // namespace velmo::setup
