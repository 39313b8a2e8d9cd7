// The real machine behind the setup's interfaces: systemctl, the system's group database
// through groupadd and usermod, the user who ran the setup, and the start of the monitor as
// that user.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "setup/install/Machine.h"

namespace velmo::setup {

// Runs `args` (the program looked up in PATH, then /usr/sbin and /sbin) with standard output on
// /dev/null and waits for it. Its exit status, -1 when it did not run or exit normally.
int RunProgram(const std::vector<std::string>& args);

// systemd through systemctl; it runs when /run/systemd/system exists.
class SystemctlSystemd : public Systemd {
 public:
  bool Running() override;
  base::Expected<void> DaemonReload() override;
  base::Expected<void> TryRestart(const std::vector<std::string>& units) override;
  base::Expected<void> Enable(const std::vector<std::string>& units) override;
  base::Expected<void> Start(const std::vector<std::string>& units) override;
};

// An installation under another root: systemd is not asked.
class NoSystemd : public Systemd {
 public:
  bool Running() override { return false; }
  base::Expected<void> DaemonReload() override { return NotAsked(); }
  base::Expected<void> TryRestart(const std::vector<std::string>&) override { return NotAsked(); }
  base::Expected<void> Enable(const std::vector<std::string>&) override { return NotAsked(); }
  base::Expected<void> Start(const std::vector<std::string>&) override { return NotAsked(); }

 private:
  static base::Error NotAsked() { return base::Error{"systemd is not asked under another root"}; }
};

// The system's groups: looked up through NSS, changed with groupadd --system and usermod -aG.
class SystemGroups : public GroupDatabase {
 public:
  base::Expected<GroupEntry> Find(const std::string& group) override;
  base::Expected<void> CreateSystemGroup(const std::string& group) override;
  base::Expected<void> AddMember(const std::string& group, const std::string& user) override;
};

// What decides who ran the setup.
struct IdentitySource {
  uid_t euid = 0;
  uid_t ruid = 0;
  std::function<const char*(const char*)> env;                // getenv
  std::function<base::Expected<UserAccount>(uid_t)> account;  // the account database
  static IdentitySource ThisProcess();
};

// The user the installation is for. Running as root, the user named by SUDO_UID or PKEXEC_UID
// (sudo and pkexec set them), whose home comes from the account database; else the process's
// own user with its HOME. The error says why when the account cannot be found.
base::Expected<Invoker> ResolveInvoker(const IdentitySource& source);

// Starts the program in a new session, re-parented to init, with the user's groups, group and
// user (dropped before exec when the setup runs as root), its home as working folder and an
// environment of that user's. Refuses root, and a user other than its own when not root.
class UserLauncher : public Launcher {
 public:
  base::Expected<void> StartDetached(const std::string& program, const UserAccount& user) override;
};

}  // namespace velmo::setup
