#include "setup/install/SetupSteps.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "monitor/base/AtomicFile.h"
#include "monitor/base/SafePath.h"
#include "monitor/core/InstallLayout.h"
#include "setup/install/FileAccess.h"

namespace velmo::setup {

namespace install = core::install;

namespace {

// The texts of the service keys' values, in the order they were written, stand for the steps
// of writing a unit: the text flushed to disk, its mode, its rename into place, systemd's
// reload, and the helper it starts being there.
constexpr const char* kErrorControlMessage = "Could create registry ErrorControl value";
constexpr const char* kStartMessage = "Could create registry Start value";
constexpr const char* kTypeMessage = "Could create registry Type value";
constexpr const char* kDisplayNameMessage = "Could create registry DisplayName value";
constexpr const char* kImagePathMessage = "Could create registry ImagePath value";

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
}

// Installed files get their mode whatever they had before.
base::AtomicWriteOptions FixedMode(mode_t mode) {
  base::AtomicWriteOptions options;
  options.newFileMode = mode;
  options.keepExistingMode = false;
  return options;
}

// Files below the prefix: reached without following a link on the way (OpenDirBelow).
base::AtomicWriteOptions BelowPrefix(const SetupContext& c, mode_t mode) {
  base::AtomicWriteOptions options = FixedMode(mode);
  options.confinedTo = c.prefix;
  return options;
}

void Log(const SetupContext& c, const std::string& why) {
  if (c.log) c.log(why);
}

const char* Nullable(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

// The message for the step at which writing a unit failed; null when it was written.
const char* UnitWriteFailure(const SetupContext& c, const std::string& path,
                             const std::string& text, const char* keyMessage) {
  const auto written = base::WriteFileAtomically(path, text, BelowPrefix(c, 0644));
  if (written) return nullptr;
  switch (written.error().step) {
    case base::WriteStep::kCreate:
      return keyMessage;
    case base::WriteStep::kWrite:
      return kErrorControlMessage;
    case base::WriteStep::kMode:
      return kStartMessage;
    case base::WriteStep::kReplace:
      return kTypeMessage;
  }
  return keyMessage;
}

// The link `systemctl enable` makes for a unit wanted by sockets.target, made without systemd:
// <root>/etc/systemd/system/sockets.target.wants/<unit> naming the unit's path as seen from
// the root. A link already there is replaced whole; anything else in its place is an error.
base::Expected<void> LinkSocketUnit(const SetupContext& c, const std::string& unit) {
  const std::string unitPath = install::UnitDir(c.prefix) + "/" + unit;
  std::string target = unitPath;
  if (!c.systemRoot.empty()) {
    if (unitPath.compare(0, c.systemRoot.size() + 1, c.systemRoot + "/") != 0)
      return base::Error{unitPath + " lies outside " + c.systemRoot};
    target = unitPath.substr(c.systemRoot.size());
  }
  const std::string wants = c.systemRoot + "/etc/systemd/system/sockets.target.wants";
  const std::string link = wants + "/" + unit;
  // No link followed on the way: the folders below the system root are root's to trust.
  if (!base::MakeDirs(wants, 0755, c.systemRoot.empty() ? "/etc/systemd" : c.systemRoot))
    return base::Error{"cannot make " + wants + ": " + std::strerror(errno), errno};
  struct stat st;
  if (::lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) return base::Error{link + " is there and is no link"};
    std::string current(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t n = ::readlink(link.c_str(), current.data(), current.size());
    if (n >= 0 && static_cast<size_t>(n) == target.size() &&
        current.compare(0, target.size(), target) == 0)
      return {};
  }
  const std::string temporary = link + ".tmp." + std::to_string(::getpid());
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), link.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return base::Error{"cannot link " + link + ": " + std::strerror(error), error};
  }
  return {};
}

bool RegisterService(const SetupContext& c, const std::string& name, const char* keyMessage) {
  if (!base::MakeDirs(install::UnitDir(c.prefix), 0755, c.prefix)) {
    c.host.ShowMessage(keyMessage);
    return false;
  }
  // The socket first: the service requires it.
  const char* failed = UnitWriteFailure(c, install::SocketUnitPath(c.prefix, name),
                                        install::HelperSocketText(name), keyMessage);
  if (!failed)
    failed = UnitWriteFailure(c, install::UnitPath(c.prefix, name),
                              install::HelperUnitText(c.prefix, name), keyMessage);
  if (!failed && c.systemd.Running()) {
    if (const auto reloaded = c.systemd.DaemonReload(); !reloaded) {
      failed = kDisplayNameMessage;
      Log(c, reloaded.error().message);
    }
  }
  if (!failed && !IsExecutableFile(install::HelperPath(c.prefix, name))) failed = kImagePathMessage;
  if (failed) {
    c.host.ShowMessage(failed);
    return false;
  }
  const std::string socket = name + ".socket";
  const auto enabled = c.systemd.Running() ? c.systemd.Enable({socket}) : LinkSocketUnit(c, socket);
  if (!enabled) {
    c.host.ShowMessage("Could not enable " + socket + "!");
    Log(c, enabled.error().message);
    return false;
  }
  return true;
}

}  // namespace

void DeployFiles(const SetupContext& c) {
  for (const Payload& payload : c.payloads) {
    const std::string path = c.prefix + "/" + payload.target;
    const std::string_view bytes(reinterpret_cast<const char*>(payload.bytes.data()),
                                 payload.bytes.size());
    if (!base::MakeDirs(base::ParentDir(path), 0755, c.prefix) ||
        !base::WriteFileAtomically(path, bytes, BelowPrefix(c, 0755))) {
      c.host.ShowMessage("Could not write " + path);
    }
  }
}

bool RegisterPortioService(const SetupContext& c) {
  return RegisterService(c, "portio", "Could not create driver regidtry!");
}

bool RegisterMapmemService(const SetupContext& c) {
  return RegisterService(c, "mapmem", "Could not create driver registry!");
}

bool CreateStartupShortcut(const SetupContext& c) {
  std::optional<std::string> dir;
  if (c.user) dir = install::AutostartDir(Nullable(c.user->xdgConfigHome), Nullable(c.user->home));
  if (!dir) {
    c.host.ShowMessage("Query Registry String Failed");
    return false;
  }
  // Root on the user's behalf writes with the user's rights only.
  std::optional<FileAccessAs> as;
  if (c.user->forAnother) as.emplace(c.user->account.uid, c.user->account.gid);
  if ((as && !as->Ok()) || !base::MakeDirs(*dir, 0700)) {
    Log(c, "cannot make the autostart folder " + *dir);
    return false;
  }
  const std::string path = *dir + "/" + install::kAutostartEntryName;
  const auto written =
      base::WriteFileAtomically(path, install::AutostartEntryText(), FixedMode(0644));
  if (!written) Log(c, "cannot write " + path + ": " + written.error().message);
  return static_cast<bool>(written);
}

bool GrantHelperAccess(const SetupContext& c) {
  const std::string group = kHelperGroup;
  base::Expected<GroupEntry> entry = c.groups.Find(group);
  bool created = false;
  if (!entry) {
    if (const auto made = c.groups.CreateSystemGroup(group); !made)
      entry = made.error();
    else
      entry = c.groups.Find(group);
    if (!entry) {
      c.host.ShowMessage("Could not create the group velmo!");
      Log(c, entry.error().message);
      return false;
    }
    created = true;
    // Helpers that run already gave their devices to no group: from a restart on they admit it.
    if (c.systemd.Running()) {
      if (const auto restarted = c.systemd.TryRestart({"portio.service", "mapmem.service"});
          !restarted) {
        c.host.ShowMessage("Could not restart the Velmo helper services!");
        Log(c, restarted.error().message);
      }
    }
  }
  if (!c.user) {
    c.host.ShowMessage("Could not find the user to add to the group velmo!");
    return false;
  }
  const UserAccount& user = c.user->account;
  const bool member =
      user.uid == 0 || user.gid == entry->gid ||
      std::find(entry->members.begin(), entry->members.end(), user.name) != entry->members.end();
  if (member) {
    if (created) c.host.ShowNotice("Created the group velmo.");
    return true;
  }
  if (const auto added = c.groups.AddMember(group, user.name); !added) {
    c.host.ShowMessage("Could not add " + user.name + " to the group velmo!");
    Log(c, added.error().message);
    return false;
  }
  c.host.ShowNotice(std::string(created ? "Created the group velmo and added " : "Added ") +
                    user.name + (created ? " to it" : " to the group velmo") +
                    ". Log out and in again, then Velmo reaches the hardware through its helper "
                    "services.");
  return true;
}

bool PrefixIsTrusted(const SetupContext& c) {
  const std::string why = base::WritableByOthers(c.prefix);
  if (why.empty() && base::MakeDirs(c.prefix, 0755)) return true;
  c.host.ShowMessage("Velmo is not installed under " + c.prefix + ": " +
                     (why.empty() ? "the folder cannot be created" : why) +
                     ", and what is installed there runs as root.");
  return false;
}

bool StartHelperSockets(const SetupContext& c) {
  if (!c.systemd.Running()) return true;
  auto started = c.systemd.Start({"portio.socket", "mapmem.socket"});
  if (started) started = c.systemd.TryRestart({"portio.service", "mapmem.service"});
  if (!started) {
    c.host.ShowMessage("Could not start the Velmo helper sockets!");
    Log(c, started.error().message);
    return false;
  }
  return true;
}

void RunInstallation(const SetupContext& c) {
  if (!PrefixIsTrusted(c)) return;
  DeployFiles(c);
  RegisterPortioService(c);
  RegisterMapmemService(c);
  CreateStartupShortcut(c);
  GrantHelperAccess(c);
  StartHelperSockets(c);
}

}  // namespace velmo::setup
