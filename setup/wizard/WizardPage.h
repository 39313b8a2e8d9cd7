// A step of the setup wizard: a page of fixed size in dialog units, with the handlers the sheet
// calls when the page is first shown, made active and finished.
#pragma once

#include <QString>
#include <QWidget>
#include <string>

#include "monitor/display/DialogTemplate.h"

namespace velmo::setup {

class WizardHost;

// The text of a static control: "\r" (and "\r\n") break the line, as the setup texts expect.
QString ControlText(const std::string& text);

class CWizardPage : public QWidget {
 public:
  CWizardPage(const char* caption, int32_t cx, int32_t cy);

  const char* Caption() const { return caption_; }
  // The page's size in pixels: the template's, or larger where a control reaches beyond it.
  QSize PageSize() const;

  // Called once, when the page is shown for the first time.
  virtual void OnInitDialog() {}
  // Called each time the page becomes the active one.
  virtual void OnSetActive() {}
  // Finish was pressed on this page; false keeps the wizard open.
  virtual bool OnWizardFinish() { return true; }

  // Sets the controls from the members (`save` false) or the members from the controls.
  virtual void UpdateData(bool save) { (void)save; }

  bool Initialised() const { return initialised_; }
  void MarkInitialised() { initialised_ = true; }

 protected:
  // The sheet the page is in (its parent once the sheet has added it).
  WizardHost* Sheet() const;
  // Places `widget` at the dialog-unit rectangle and names it by its control id.
  void Place(QWidget* widget, int32_t id, int32_t x, int32_t y, int32_t cx, int32_t cy);

 private:
  const char* caption_;
  int32_t cx_;
  int32_t cy_;
  display::DialogBaseUnits units_;
  QSize extent_;  // of the controls placed so far
  bool initialised_ = false;
};

}  // namespace velmo::setup
