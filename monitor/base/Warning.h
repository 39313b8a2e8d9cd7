// Where a layer sends a line the user should read but that stops nothing (a setting ignored, a
// file kept aside): the host decides whether it becomes stderr, a headless event or a dialog.
#pragma once

#include <functional>
#include <string>

namespace velmo::base {

using WarningSink = std::function<void(const std::string&)>;

}  // namespace velmo::base
