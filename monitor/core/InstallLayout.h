// Where an installation puts Velmo's files: the setup program writes them, the monitor's
// uninstall removes the program's files and the autostart entry, so both take the places from
// here.
#pragma once

#include <optional>
#include <string>

namespace velmo::core::install {

inline constexpr const char* kDefaultPrefix = "/usr/local";
inline constexpr const char* kProgramName = "velmond";
// The window host velmond hands over to, in its own folder below the prefix.
inline constexpr const char* kGuiProgramName = "velmond-gui";
inline constexpr const char* kGuiProgramDir = "lib/velmo";
inline constexpr const char* kAutostartEntryName = "velmond.desktop";

// The installation prefix: `velmoPrefix` (the VELMO_PREFIX variable) when it is set, else
// /usr/local.
std::string InstallPrefix(const char* velmoPrefix);
// The prefix of this process's environment.
std::string InstallPrefixFromEnvironment();

// <prefix>/bin/velmond
std::string ProgramPath(const std::string& prefix);
// <prefix>/lib/velmo/velmond-gui
std::string GuiProgramPath(const std::string& prefix);
// <prefix>/lib/velmo/drivers/<name> for the helpers portio and mapmem.
std::string HelperPath(const std::string& prefix, const std::string& name);
// <prefix>/lib/systemd/system, a folder systemd reads for /usr and /usr/local alike.
std::string UnitDir(const std::string& prefix);
// <prefix>/lib/systemd/system/<name>.service
std::string UnitPath(const std::string& prefix, const std::string& name);
// <prefix>/lib/systemd/system/<name>.socket
std::string SocketUnitPath(const std::string& prefix, const std::string& name);
// The unit of the helper `name`, started from its place under `prefix`.
std::string HelperUnitText(const std::string& prefix, const std::string& name);
// The socket unit that starts the helper `name`.
std::string HelperSocketText(const std::string& name);

// The user's autostart folder: <xdgConfigHome>/autostart when that is an absolute path (the
// base-directory rule ignores relative ones), else <home>/.config/autostart for an absolute
// `home`; nullopt when neither is usable. Either argument may be null.
std::optional<std::string> AutostartDir(const char* xdgConfigHome, const char* home);
// The entry that starts the monitor at every log-in; Exec is the bare program name.
std::string AutostartEntryText();

}  // namespace velmo::core::install
