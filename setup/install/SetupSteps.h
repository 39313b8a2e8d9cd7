// The installation that step two of the setup runs, each time it is entered: the program files
// out of the setup's payloads, the units of the two helper services, the autostart entry, and
// the helpers' group for the user. Messages go to the host; every operation goes on after them.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "monitor/base/Warning.h"
#include "setup/install/Machine.h"
#include "setup/install/Payload.h"
#include "setup/install/SetupHost.h"

namespace velmo::setup {

inline constexpr const char* kHelperGroup = "velmo";

struct SetupContext {
  std::string prefix;  // the programs go to <prefix>/bin, <prefix>/lib/velmo/drivers, ...
  std::span<const Payload> payloads;
  Systemd& systemd;
  GroupDatabase& groups;
  std::optional<Invoker> user;  // nullopt: the user who ran the setup is unknown
  SetupHost& host;
  // The folder that stands for "/" when systemd is not running (--root DIR, where it is also the
  // prefix); empty for this machine's own root.
  std::string systemRoot = {};
  // Why a step failed, beside the message the host shows (or in place of one where none is
  // shown): the setup's standard error.
  base::WarningSink log = {};
};

// Writes every payload to <prefix>/<target> with mode 0755, replacing an existing file, in the
// payloads' order. A file that cannot be written is left as it was and named in a message.
void DeployFiles(const SetupContext& context);

// Writes the socket and service units of portio (of mapmem) to <prefix>/lib/systemd/system,
// the service pointing at the deployed helper, lets a running systemd read them and enables the
// socket: systemd starts the helper at the first connection. Without a running systemd the
// socket is enabled as systemctl would do it, by a link in <root>/etc/systemd/system/
// sockets.target.wants. False after the message of the first step that failed.
bool RegisterPortioService(const SetupContext& context);
bool RegisterMapmemService(const SetupContext& context);

// Writes velmond.desktop into the user's autostart folder, as that user. "Query Registry
// String Failed" when the user's configuration folder cannot be determined; nothing is said
// when the folder or the entry cannot be written.
bool CreateStartupShortcut(const SetupContext& context);

// Creates the group velmo when it is missing and adds the user to it, so that the helpers
// admit the user's monitor from the next log-in; says so in a notice.
bool GrantHelperAccess(const SetupContext& context);

// True when no user other than root and this process's own can change the prefix or a folder
// above it (the prefix is then made if missing); else one message says why and false.
bool PrefixIsTrusted(const SetupContext& context);

// A running systemd starts the two sockets (the group velmo exists by now) and restarts helpers
// that run already, so they serve on the sockets systemd hands them.
bool StartHelperSockets(const SetupContext& context);

// The six above, in that order, once the prefix is trusted; nothing at all when it is not.
// Below the prefix no symbolic link is followed and no folder another user can change is used.
void RunInstallation(const SetupContext& context);

}  // namespace velmo::setup
