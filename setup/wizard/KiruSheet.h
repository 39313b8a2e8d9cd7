// The setup wizard: three pages over Back, Next (or Finish in its place) and Cancel, the
// buttons set by the active page.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "setup/wizard/WizardHost.h"

namespace velmo::setup {

class CWizardPage;
class CPage1;
class CPage2;
class CPage3;

class CKiruSheet : public QDialog, public WizardHost {
 public:
  explicit CKiruSheet(WizardServices& services, QWidget* parent = nullptr);
  ~CKiruSheet() override;

  WizardServices& Services() const override { return services_; }

  void SetWizardButtons(CWizardPage* page, uint32_t flags) override;

  int ActiveIndex() const { return active_; }
  CWizardPage* ActivePage() const;
  CPage1& Page1() const { return *page1_; }
  CPage2& Page2() const { return *page2_; }
  CPage3& Page3() const { return *page3_; }
  QPushButton* BackButton() const { return back_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* FinishButton() const { return finish_; }
  QPushButton* CancelButton() const { return cancel_; }

  // What the buttons do.
  void Back();
  void Next();
  void Finish();

 private:
  void SetActivePage(int index);
  void ApplyButtons(uint32_t flags);

  WizardServices& services_;
  CPage1* page1_;
  CPage2* page2_;
  CPage3* page3_;
  CWizardPage* pages_[3];
  int active_ = -1;
  QPushButton* back_;
  QPushButton* next_;
  QPushButton* finish_;
  QPushButton* cancel_;
};

}  // namespace velmo::setup
