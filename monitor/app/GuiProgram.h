// Where the window host lives. It is a program of its own, so that velmond --headless never loads
// Qt; velmond replaces itself by it (same process, arguments and signals) unless --headless is
// given. Its name and install folder are the installation layout's.
#pragma once

#include <string>
#include <vector>

#include "monitor/core/InstallLayout.h"

namespace velmo::app {

// The window host's file name (the build's target of the same name).
using core::install::kGuiProgramName;
// velmond passes its own path here, so that the window host finds the OEM information file
// beside velmond ("velmond.ini"), not beside itself.
inline constexpr const char* kProgramPathVariable = "VELMO_PROGRAM_PATH";

// The places searched, in order: beside velmond (the build tree), then
// <velmond's folder>/../lib/velmo.
std::vector<std::string> GuiProgramCandidates(const std::string& velmondPath);
// This process's own program file (/proc/self/exe); empty when it cannot be read.
std::string OwnProgramPath();
// Replaces this process by the window host with the same arguments. Returns only when that
// failed, with the exit code after saying why on standard error.
int ExecGuiProgram(int argc, char** argv);

}  // namespace velmo::app
