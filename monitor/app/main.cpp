// velmond: the Velmo hardware-health monitor.
#include <iostream>

#include "monitor/app/Velmond.h"

int main(int argc, char** argv) {
  int exitCode = 0;
  const auto options = velmo::app::ParseOptions(argc, argv, &exitCode);
  if (!options) return exitCode;
  return velmo::app::RunVelmond(*options, std::cout);
}
