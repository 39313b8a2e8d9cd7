// The wizard's messages: modal message boxes with an OK button over the sheet.
#pragma once

#include <QWidget>

#include "setup/install/SetupHost.h"

namespace velmo::setup {

inline constexpr const char* kSetupTitle = "Kiru";

class MessageBoxHost : public SetupHost {
 public:
  // Boxes open over whatever window is active.
  void ShowMessage(const std::string& text) override;
  void ShowNotice(const std::string& text) override;
};

}  // namespace velmo::setup
