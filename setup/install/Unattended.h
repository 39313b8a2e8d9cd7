// kiru --unattended: the installation of step two without the wizard, for packagers and tests.
#pragma once

#include <ostream>

#include "setup/install/Platform.h"
#include "setup/install/SetupSteps.h"

namespace velmo::setup {

// Every message one JSON line {"event":"message","text":...}, every notice one line
// {"event":"notice","text":...}; counts the messages.
class JsonLinesHost : public SetupHost {
 public:
  explicit JsonLinesHost(std::ostream& out) : out_(out) {}
  void ShowMessage(const std::string& text) override;
  void ShowNotice(const std::string& text) override;
  int Messages() const { return messages_; }

 private:
  std::ostream& out_;
  int messages_ = 0;
};

// Runs the installation in `context` (whose host is `host`) unless `platform` is refused, which
// is one message with the first page's hint. The exit code: 0 when no message was shown, else 1.
int RunUnattended(const PlatformCheck& platform, const SetupContext& context, JsonLinesHost& host);

}  // namespace velmo::setup
