// How the hardware layer reports to the program that hosts it (message box, event line, test log).
#pragma once

#include <string>

namespace velmo::hw {

class HwHost {
 public:
  virtual ~HwHost() = default;
  // Shows a message with OK only; the layer carries on afterwards.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // The layer cannot go on (the port device is missing): the host ends the process with
  // `exitCode`. A host that returns (a test double) lets the layer carry on.
  virtual void EndProcess(int exitCode) = 0;
};

}  // namespace velmo::hw
