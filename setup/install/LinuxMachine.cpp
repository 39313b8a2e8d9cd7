#include "setup/install/LinuxMachine.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "monitor/base/Subprocess.h"

extern char** environ;

namespace velmo::setup {

namespace {

bool IsExecutable(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// PATH first; /usr/sbin and /sbin too, which `su` without a login shell leaves out.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
  dirs += ":/usr/sbin:/sbin:/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    if (end > start) {
      const std::string path = dirs.substr(start, end - start) + "/" + name;
      if (IsExecutable(path)) return path;
    }
    start = end + 1;
  }
  return name;
}

std::optional<uid_t> ParseUid(const char* text) {
  if (!text || !*text) return std::nullopt;
  uid_t uid = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, uid);
  if (error != std::errc() || stop != end || uid == static_cast<uid_t>(-1)) return std::nullopt;
  return uid;
}

base::Expected<UserAccount> LookUpAccount(uid_t uid) {
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  const int error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
  if (error != 0)
    return base::Error{
        "cannot look up the account of user " + std::to_string(uid) + ": " + std::strerror(error),
        error};
  if (!found) return base::Error{"no account has the user number " + std::to_string(uid)};
  return UserAccount{found->pw_uid, found->pw_gid, found->pw_name,
                     found->pw_dir ? found->pw_dir : ""};
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The environment of the started monitor: the setup's without what sudo and pkexec added and,
// when the setup runs for another user, with that user's identity and session in place of
// root's.
std::vector<std::string> UserEnvironment(const UserAccount& user, bool forAnother) {
  static const char* const kSetupOnly[] = {"SUDO_", "PKEXEC_UID="};
  static const char* const kRootSession[] = {
      "HOME=", "USER=", "LOGNAME=", "MAIL=", "XDG_RUNTIME_DIR=", "DBUS_SESSION_BUS_ADDRESS="};
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry = *e;
    auto matches = [&](const auto& prefixes) {
      return std::any_of(std::begin(prefixes), std::end(prefixes),
                         [&](const char* prefix) { return StartsWith(entry, prefix); });
    };
    if (matches(kSetupOnly) || (forAnother && matches(kRootSession))) continue;
    env.push_back(entry);
  }
  if (forAnother) {
    env.push_back("HOME=" + user.home);
    env.push_back("USER=" + user.name);
    env.push_back("LOGNAME=" + user.name);
    const std::string runtime = "/run/user/" + std::to_string(user.uid);
    struct stat st;
    if (::stat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == user.uid) {
      env.push_back("XDG_RUNTIME_DIR=" + runtime);
      env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus");
    }
  }
  return env;
}

// A program that must succeed: the error names it and how it ended.
base::Expected<void> Ran(const std::vector<std::string>& args) {
  const int status = RunProgram(args);
  if (status == 0) return {};
  std::string command;
  for (const std::string& arg : args)
    command += (command.empty() ? "" : " ") + arg;
  return base::Error{command + (status < 0 ? " did not run or was ended by a signal"
                                           : " exited with status " + std::to_string(status))};
}

}  // namespace

int RunProgram(const std::vector<std::string>& args) {
  if (args.empty()) return -1;
  std::vector<std::string> resolved = args;
  resolved[0] = FindProgram(args[0]);
  base::Argv argv(std::move(resolved));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error =
      ::posix_spawn(&pid, argv.pointers[0], &actions, nullptr, argv.pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SystemctlSystemd::Running() {
  struct stat st;
  return ::lstat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode);
}

base::Expected<void> SystemctlSystemd::DaemonReload() {
  return Ran({"systemctl", "--no-ask-password", "daemon-reload"});
}

namespace {

base::Expected<void> Systemctl(const char* verb, const std::vector<std::string>& units) {
  std::vector<std::string> args = {"systemctl", "--no-ask-password", verb};
  args.insert(args.end(), units.begin(), units.end());
  return Ran(args);
}

}  // namespace

base::Expected<void> SystemctlSystemd::TryRestart(const std::vector<std::string>& units) {
  return Systemctl("try-restart", units);
}

base::Expected<void> SystemctlSystemd::Enable(const std::vector<std::string>& units) {
  return Systemctl("enable", units);
}

base::Expected<void> SystemctlSystemd::Start(const std::vector<std::string>& units) {
  return Systemctl("start", units);
}

base::Expected<GroupEntry> SystemGroups::Find(const std::string& group) {
  std::vector<char> buffer(16384);
  for (;;) {
    struct group entry;
    struct group* found = nullptr;
    const int error = ::getgrnam_r(group.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 24)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0)
      return base::Error{"cannot look up the group " + group + ": " + std::strerror(error), error};
    if (!found) return base::Error{"no group " + group};
    GroupEntry result;
    result.gid = found->gr_gid;
    for (char** member = found->gr_mem; member && *member; ++member)
      result.members.push_back(*member);
    return result;
  }
}

base::Expected<void> SystemGroups::CreateSystemGroup(const std::string& group) {
  return Ran({"groupadd", "--system", group});
}

base::Expected<void> SystemGroups::AddMember(const std::string& group, const std::string& user) {
  return Ran({"usermod", "--append", "--groups", group, user});
}

IdentitySource IdentitySource::ThisProcess() {
  IdentitySource source;
  source.euid = ::geteuid();
  source.ruid = ::getuid();
  source.env = [](const char* name) -> const char* { return std::getenv(name); };
  source.account = LookUpAccount;
  return source;
}

base::Expected<Invoker> ResolveInvoker(const IdentitySource& source) {
  const char* xdg = source.env("XDG_CONFIG_HOME");
  if (source.euid == 0) {
    for (const char* variable : {"SUDO_UID", "PKEXEC_UID"}) {
      const std::optional<uid_t> uid = ParseUid(source.env(variable));
      if (!uid || *uid == 0) continue;
      base::Expected<UserAccount> account = source.account(*uid);
      if (!account) return account.error();
      Invoker invoker{*account, true, xdg ? xdg : "", account->home};
      return invoker;
    }
  }
  base::Expected<UserAccount> account = source.account(source.euid == 0 ? 0 : source.ruid);
  if (!account) return account.error();
  const char* home = source.env("HOME");
  return Invoker{*account, false, xdg ? xdg : "", home ? home : ""};
}

base::Expected<void> UserLauncher::StartDetached(const std::string& program,
                                                 const UserAccount& user) {
  if (user.uid == 0)  // the monitor never runs as root from here
    return base::Error{"the monitor is not started as root"};
  const bool root = ::geteuid() == 0;
  if (!root && user.uid != ::getuid())
    return base::Error{"only root may start the monitor as " + user.name, EPERM};

  base::DetachedOptions options;
  options.logPath = "/dev/null";  // nothing of the monitor's output on the wizard's terminal
  options.environment = UserEnvironment(user, root);
  options.workDir = user.home.empty() ? "/" : user.home;
  if (root) {
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    if (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0) {
      groups.resize(static_cast<size_t>(count));
      if (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0)
        return base::Error{"cannot list the groups of " + user.name};
    }
    groups.resize(static_cast<size_t>(count));
    options.runAs = base::DetachedOptions::User{user.uid, user.gid, std::move(groups)};
  }
  return base::SpawnDetached({program}, options);
}

}  // namespace velmo::setup
