#include "monitor/app/GuiProgram.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace velmo::app {

std::vector<std::string> GuiProgramCandidates(const std::string& velmondPath) {
  const std::filesystem::path dir = std::filesystem::path(velmondPath).parent_path();
  return {
      (dir / kGuiProgramName).string(),
      (dir / ".." / core::install::kGuiProgramDir / kGuiProgramName).lexically_normal().string()};
}

std::string OwnProgramPath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

int ExecGuiProgram(int argc, char** argv) {
  const std::string self = OwnProgramPath();
  if (self.empty()) {
    std::cerr << "velmond: cannot find its own program file to start the window host; run it "
                 "with --headless\n";
    return 2;
  }
  const std::vector<std::string> candidates = GuiProgramCandidates(self);
  for (const std::string& path : candidates) {
    if (::access(path.c_str(), X_OK) != 0) continue;
    ::setenv(kProgramPathVariable, self.c_str(), 1);
    std::vector<char*> args(argv, argv + argc);
    args.push_back(nullptr);
    ::execv(path.c_str(), args.data());
    std::cerr << "velmond: cannot start " << path << ": " << std::strerror(errno)
              << "; run it with --headless\n";
    return 2;
  }
  std::cerr << "velmond: the window host " << kGuiProgramName << " is not installed (looked in "
            << candidates.front() << " and " << candidates.back() << "); run it with --headless\n";
  return 2;
}

}  // namespace velmo::app
