// What a wizard page may ask of the sheet it is in: the services of the setup and the buttons.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "monitor/base/Warning.h"
#include "setup/install/Machine.h"
#include "setup/install/Platform.h"
#include "setup/install/SetupHost.h"

namespace velmo::setup {

class CWizardPage;

// The button flags a page sets.
inline constexpr uint32_t kWizBack = 1;
inline constexpr uint32_t kWizNext = 2;
inline constexpr uint32_t kWizFinish = 4;
inline constexpr uint32_t kWizDisabledFinish = 8;

// What the pages work with.
struct WizardServices {
  PlatformSource& platform;
  std::function<void()> install;  // step two's installation
  Launcher& launcher;
  std::string program;              // the installed monitor that Finish starts
  std::optional<UserAccount> user;  // who it is started as; nullopt: nobody known
  SetupHost& host;                  // message boxes
  base::WarningSink log = {};       // why a start failed, beside the message box
};

class WizardHost {
 public:
  virtual ~WizardHost() = default;
  virtual WizardServices& Services() const = 0;
  // Sets the buttons to `flags` once the event loop runs, if `page` is the active page then:
  // Back enabled with kWizBack; Finish shown in place of Next with kWizFinish or
  // kWizDisabledFinish, enabled unless kWizDisabledFinish; else Next, enabled with kWizNext.
  virtual void SetWizardButtons(CWizardPage* page, uint32_t flags) = 0;
};

}  // namespace velmo::setup
