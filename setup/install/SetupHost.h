// How the installation speaks to the user: message boxes in the wizard, JSON lines unattended.
#pragma once

#include <string>

namespace velmo::setup {

class SetupHost {
 public:
  virtual ~SetupHost() = default;
  // A failure the user must see; the installation goes on with its next operation.
  virtual void ShowMessage(const std::string& text) = 0;
  // News that is no failure, such as the user's new group membership.
  virtual void ShowNotice(const std::string& text) = 0;
};

}  // namespace velmo::setup
