// The real machine's parts that a test may use: who ran the setup, programs run and waited
// for, and the monitor started detached as its user.
#include "setup/install/LinuxMachine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "tests/setup/SetupRig.h"

namespace velmo::setup {
namespace {

struct IdentityRow {
  const char* name;
  uid_t euid;
  uid_t ruid;
  std::map<std::string, std::string> env;
  // Expected: nullopt, or uid, forAnother, home and XDG_CONFIG_HOME.
  std::optional<uid_t> uid;
  bool forAnother;
  const char* home;
  const char* xdg;
};

base::Expected<UserAccount> Accounts(uid_t uid) {
  static const std::map<uid_t, UserAccount> kAccounts = {
      {0, {0, 0, "root", "/root"}},
      {1000, {1000, 1000, "alice", "/home/alice"}},
      {1001, {1001, 100, "bob", "/home/bob"}}};
  const auto it = kAccounts.find(uid);
  if (it == kAccounts.end()) return base::Error{"no account " + std::to_string(uid)};
  return it->second;
}

class Identity : public testing::TestWithParam<IdentityRow> {};

TEST_P(Identity, TheUserTheSetupRunsFor) {
  const IdentityRow& row = GetParam();
  IdentitySource source;
  source.euid = row.euid;
  source.ruid = row.ruid;
  source.env = [&row](const char* name) -> const char* {
    const auto it = row.env.find(name);
    return it == row.env.end() ? nullptr : it->second.c_str();
  };
  source.account = Accounts;
  const base::Expected<Invoker> invoker = ResolveInvoker(source);
  ASSERT_EQ(invoker.has_value(), row.uid.has_value());
  if (!invoker) {
    EXPECT_EQ(invoker.error().message.rfind("no account ", 0), 0u);  // the database's reason
    return;
  }
  EXPECT_EQ(invoker->account.uid, *row.uid);
  EXPECT_EQ(invoker->forAnother, row.forAnother);
  EXPECT_EQ(invoker->home, row.home);
  EXPECT_EQ(invoker->xdgConfigHome, row.xdg);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Identity,
    testing::Values(
        IdentityRow{"SudoUser",
                    0,
                    0,
                    {{"SUDO_UID", "1000"}, {"HOME", "/root"}},
                    1000,
                    true,
                    "/home/alice",
                    ""},
        IdentityRow{"PkexecUser", 0, 0, {{"PKEXEC_UID", "1001"}}, 1001, true, "/home/bob", ""},
        IdentityRow{"SudoKeepsXdg",
                    0,
                    0,
                    {{"SUDO_UID", "1000"}, {"XDG_CONFIG_HOME", "/home/alice/.cfg"}},
                    1000,
                    true,
                    "/home/alice",
                    "/home/alice/.cfg"},
        IdentityRow{
            "SudoFromRoot", 0, 0, {{"SUDO_UID", "0"}, {"HOME", "/root"}}, 0, false, "/root", ""},
        IdentityRow{"GarbageUidIsIgnored",
                    0,
                    0,
                    {{"SUDO_UID", "10x"}, {"PKEXEC_UID", "1001"}},
                    1001,
                    true,
                    "/home/bob",
                    ""},
        IdentityRow{"UnknownSudoUser", 0, 0, {{"SUDO_UID", "4242"}}, std::nullopt, false, "", ""},
        IdentityRow{"RootItself", 0, 0, {{"HOME", "/root"}}, 0, false, "/root", ""},
        IdentityRow{"UserIgnoresSudoUid",
                    1000,
                    1000,
                    {{"SUDO_UID", "1001"}, {"HOME", "/tmp/h"}, {"XDG_CONFIG_HOME", "/tmp/c"}},
                    1000,
                    false,
                    "/tmp/h",
                    "/tmp/c"},
        IdentityRow{"UserWithoutHome", 1001, 1001, {}, 1001, false, "", ""}),
    [](const testing::TestParamInfo<IdentityRow>& info) { return std::string(info.param.name); });

TEST(RunProgram, ExitStatusAndNothingOnStandardOutput) {
  EXPECT_EQ(RunProgram({"sh", "-c", "exit 3"}), 3);
  EXPECT_EQ(RunProgram({"true"}), 0);
  EXPECT_EQ(RunProgram({"/nonexistent/program"}), -1);
  EXPECT_EQ(RunProgram({}), -1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunProgram({"echo", "not on our output"}), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

std::string WaitForText(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    const std::string text = test::ReadFile(path);
    if (!text.empty() && text.back() == '\n') return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return test::ReadFile(path);
}

TEST(UserLauncher, NeverStartsAnythingAsRoot) {
  UserLauncher launcher;
  EXPECT_FALSE(launcher.StartDetached("/bin/true", {0, 0, "root", "/root"}));
  if (::geteuid() != 0) {  // another user's program is out of reach without root
    EXPECT_FALSE(launcher.StartDetached("/bin/true", {::getuid() + 1, ::getgid(), "x", "/"}));
  }
}

TEST(UserLauncher, StartsAsTheUserInASessionOfItsOwn) {
  test::SetupDir dir;
  ::chmod(dir.Path().c_str(), 0777);
  const bool root = ::geteuid() == 0;
  const UserAccount user = root ? UserAccount{65534, 65534, "nobody", "/nonexistent"}
                                : UserAccount{::getuid(), ::getgid(), "me", dir.Path()};
  // The program reports who it is, its session and its parent once its starter has gone.
  const std::string script =
      dir.Write("monitor.sh",
                "#!/bin/sh\nsleep 0.2\n"
                "read -r _ _ _ ppid _ sid _ < /proc/$$/stat\n"
                "echo \"$(id -u) $(id -g) $sid $ppid $PWD $SUDO_UID.\" > " +
                    dir / "who.tmp" + "\nmv " + dir / "who.tmp" + " " + dir / "who\n");
  ::chmod(script.c_str(), 0755);
  UserLauncher launcher;
  ::setenv("SUDO_UID", "4242", 1);
  const bool started = launcher.StartDetached(script, user).has_value();
  ::unsetenv("SUDO_UID");
  ASSERT_TRUE(started);
  std::istringstream who(WaitForText(dir / "who"));
  uid_t uid = 0;
  gid_t gid = 0;
  pid_t sid = 0, ppid = 0;
  std::string cwd, rest;
  who >> uid >> gid >> sid >> ppid >> cwd >> rest;
  EXPECT_EQ(uid, user.uid);
  EXPECT_EQ(gid, user.gid);
  EXPECT_NE(sid, ::getsid(0));              // not in the setup's session
  EXPECT_NE(ppid, ::getpid());              // not the setup's child
  EXPECT_EQ(rest, ".");                     // sudo's variables do not reach it
  EXPECT_EQ(cwd, root ? "/" : dir.Path());  // its home, or / when that is missing

  const auto missing = launcher.StartDetached(dir / "missing", user);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ENOENT);
}

}  // namespace
}  // namespace velmo::setup
