#include "monitor/service/HelperPrograms.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "monitor/hw/DriverBackend.h"
#include "monitor/protocol/DriverProtocol.h"

namespace velmo::service {

namespace {

std::string OwnDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

}  // namespace

std::vector<std::string> DefaultHelperDirs() {
  std::vector<std::string> dirs;
  // VELMO_HELPER_DIR (a colon-separated list) comes first: a build tree or a test.
  if (const char* extra = std::getenv("VELMO_HELPER_DIR")) {
    std::string list = extra;
    for (size_t start = 0; start <= list.size();) {
      const size_t end = std::min(list.find(':', start), list.size());
      if (end > start) dirs.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  const std::string own = OwnDirectory();
  if (!own.empty()) {
    dirs.push_back(own);
    dirs.push_back(own + "/../lib/velmo/drivers");
  }
  dirs.push_back("/usr/local/lib/velmo/drivers");
  return dirs;
}

std::string FindHelper(const std::string& name, const std::vector<std::string>& dirs) {
  for (const std::string& dir : dirs) {
    const std::string path = dir + "/" + name;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0)
      return path;
  }
  return {};
}

const char* DeviceOfService(const std::string& name) {
  return name == "mapmem" ? protocol::kMapMemDevice : protocol::kPortIoDevice;
}

bool ServiceDeviceAnswers(const std::string& name) {
  return hw::DeviceConnection::Open(DeviceOfService(name)).has_value();
}

}  // namespace velmo::service
