// velmond: the Velmo hardware-health monitor. Without --headless it hands over to the window host.
#include <iostream>

#include "monitor/app/GuiProgram.h"
#include "monitor/app/Velmond.h"

int main(int argc, char** argv) {
  int exitCode = 0;
  const auto options = velmo::app::ParseOptions(argc, argv, &exitCode);
  if (!options) return exitCode;
  if (!options->headless) return velmo::app::ExecGuiProgram(argc, argv);
  return velmo::app::RunVelmond(*options, std::cout);
}
