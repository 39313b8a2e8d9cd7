// The parts of the machine the installation touches besides files under its root: systemd, the
// group database, the user the setup runs for, and the start of the monitor. Real
// implementations are in LinuxMachine.h, the group file in GroupFile.h.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "monitor/base/Error.h"

namespace velmo::setup {

class Systemd {
 public:
  virtual ~Systemd() = default;
  // True when systemd is the running service manager.
  virtual bool Running() = 0;
  // Each request below succeeds or says why it did not.
  virtual base::Expected<void> DaemonReload() = 0;
  // Restarts those of `units` that run.
  virtual base::Expected<void> TryRestart(const std::vector<std::string>& units) = 0;
  // Enables `units` (their [Install] section).
  virtual base::Expected<void> Enable(const std::vector<std::string>& units) = 0;
  virtual base::Expected<void> Start(const std::vector<std::string>& units) = 0;
};

struct GroupEntry {
  gid_t gid = 0;
  std::vector<std::string> members;
};

class GroupDatabase {
 public:
  virtual ~GroupDatabase() = default;
  // The group's entry, or why there is none (missing, or the database cannot be read).
  virtual base::Expected<GroupEntry> Find(const std::string& group) = 0;
  // Adds a system group (a number below 1000); the error says why it cannot.
  virtual base::Expected<void> CreateSystemGroup(const std::string& group) = 0;
  virtual base::Expected<void> AddMember(const std::string& group, const std::string& user) = 0;
};

struct UserAccount {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string name;
  std::string home;  // from the account database
};

// The user an installation is for: the one who ran the setup, also under sudo or pkexec.
struct Invoker {
  UserAccount account;
  bool forAnother = false;    // the setup runs as root on this user's behalf
  std::string xdgConfigHome;  // XDG_CONFIG_HOME as the setup found it; may be empty
  std::string home;           // the home folder the user's programs see; may be empty
};

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts `program` as `user`, detached from the setup (closing the setup does not end it).
  // The error says why it could not be started; never starts anything as root.
  virtual base::Expected<void> StartDetached(const std::string& program,
                                             const UserAccount& user) = 0;
};

}  // namespace velmo::setup
