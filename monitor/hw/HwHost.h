// How the hardware layer reports to the program that hosts it (message box, event line, test log).
// The layer only reports failures; the host decides what to show and whether the program ends.
#pragma once

#include <string>

#include "monitor/hw/HwError.h"

namespace velmo::hw {

// Thrown by a host's EndProgram to leave from the middle of an access through the program's own
// exit path: the program's top level (or the GUI's entry into the core) catches it, so every
// destructor on the way runs.
struct ProgramEnd {
  int exitCode;
};

class HwHost {
 public:
  virtual ~HwHost() = default;
  // Shows a message with OK only.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // The program cannot go on: the host ends it with `exitCode` (the programs throw ProgramEnd).
  // A host that returns (a test double) lets the layer carry on.
  virtual void EndProgram(int exitCode) = 0;
  // One failure of the layer. By default the monitor's behaviour: the failure's message, then
  // the end of the program when it cannot go on.
  virtual void OnHardwareFailure(const HwFailure& failure) {
    const HwMessage message = MessageFor(failure);
    ShowMessage(message.text, message.caption);
    if (EndsProgram(failure.error)) EndProgram(kHwEndExitCode);
  }
  void Report(const HwFailures& failures) {
    for (const HwFailure& f : failures)
      OnHardwareFailure(f);
  }
};

}  // namespace velmo::hw
