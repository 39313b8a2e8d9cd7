#include "monitor/core/InstallLayout.h"

#include <cstdlib>

#include "monitor/service/HelperUnit.h"

namespace velmo::core::install {

namespace {

bool Absolute(const char* path) {
  return path && path[0] == '/';
}

}  // namespace

std::string InstallPrefix(const char* velmoPrefix) {
  return velmoPrefix && *velmoPrefix ? velmoPrefix : kDefaultPrefix;
}

std::string InstallPrefixFromEnvironment() {
  return InstallPrefix(std::getenv("VELMO_PREFIX"));
}

std::string ProgramPath(const std::string& prefix) {
  return prefix + "/bin/" + kProgramName;
}

std::string GuiProgramPath(const std::string& prefix) {
  return prefix + "/" + kGuiProgramDir + "/" + kGuiProgramName;
}

std::string HelperPath(const std::string& prefix, const std::string& name) {
  return prefix + "/lib/velmo/drivers/" + name;
}

std::string UnitDir(const std::string& prefix) {
  return prefix + "/lib/systemd/system";
}

std::string UnitPath(const std::string& prefix, const std::string& name) {
  return UnitDir(prefix) + "/" + name + ".service";
}

std::string SocketUnitPath(const std::string& prefix, const std::string& name) {
  return UnitDir(prefix) + "/" + name + ".socket";
}

std::string HelperUnitText(const std::string& prefix, const std::string& name) {
  return service::UnitFileText(name, HelperPath(prefix, name));
}

std::string HelperSocketText(const std::string& name) {
  return service::SocketUnitText(name);
}

std::optional<std::string> AutostartDir(const char* xdgConfigHome, const char* home) {
  if (Absolute(xdgConfigHome)) return std::string(xdgConfigHome) + "/autostart";
  if (Absolute(home)) return std::string(home) + "/.config/autostart";
  return std::nullopt;
}

std::string AutostartEntryText() {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Velmond\n"
         "Comment=Velmo hardware-health monitor in the notification area\n"
         "Exec=velmond\n"
         "Icon=velmo\n"
         "Terminal=false\n";
}

}  // namespace velmo::core::install
