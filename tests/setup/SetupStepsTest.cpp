// The installation into a temporary root: files, modes and bytes, unit texts, the autostart
// entry, the group, a second run, and each failure with its message.
#include "setup/install/SetupSteps.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "monitor/core/InstallLayout.h"
#include "monitor/service/HelperUnit.h"
#include "tests/setup/SetupRig.h"

namespace velmo::setup {
namespace {

using test::ModeOf;
using test::ReadFile;
using test::SetupRig;
using Lines = std::vector<std::string>;

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(Installation, WritesProgramsUnitsEntryAndGroupInOneRun) {
  SetupRig rig;
  ASSERT_TRUE(rig.groups.CreateSystemGroup("users"));  // the group file holds other groups
  RunInstallation(rig.Context());
  const std::string root = rig.Root();

  EXPECT_EQ(rig.host.messages, Lines{});
  EXPECT_EQ(rig.host.notices,
            Lines{"Created the group velmo and added alice to it. Log out and in again, then "
                  "Velmo reaches the hardware through its helper services."});

  // The payloads, byte for byte, as programs anyone may run.
  EXPECT_EQ(ReadFile(root + "/bin/velmond"), Text(rig.velmond));
  EXPECT_EQ(ReadFile(root + "/lib/velmo/velmond-gui"), Text(rig.gui));
  EXPECT_EQ(ReadFile(root + "/lib/velmo/drivers/portio"), Text(rig.portio));
  EXPECT_EQ(ReadFile(root + "/lib/velmo/drivers/mapmem"), Text(rig.mapmem));
  for (const char* file : {"/bin/velmond", "/lib/velmo/velmond-gui", "/lib/velmo/drivers/portio",
                           "/lib/velmo/drivers/mapmem"})
    EXPECT_EQ(ModeOf(root + file), 0755u) << file;
  for (const char* folder : {"/bin", "/lib", "/lib/velmo", "/lib/velmo/drivers"})
    EXPECT_EQ(ModeOf(root + folder), 0755u) << folder;

  // The units: the shipped text, starting the helpers deployed under this root.
  for (const std::string name : {"portio", "mapmem"}) {
    const std::string unit = ReadFile(root + "/lib/systemd/system/" + name + ".service");
    EXPECT_EQ(unit, service::UnitFileText(name, root + "/lib/velmo/drivers/" + name)) << name;
    EXPECT_NE(unit.find("\nExecStart=" + root + "/lib/velmo/drivers/" + name + "\n"),
              std::string::npos);
    EXPECT_EQ(ModeOf(root + "/lib/systemd/system/" + name + ".service"), 0644u);
    EXPECT_EQ(ReadFile(root + "/lib/systemd/system/" + name + ".socket"),
              service::SocketUnitText(name));
    EXPECT_EQ(ModeOf(root + "/lib/systemd/system/" + name + ".socket"), 0644u);
    // Enabled as systemctl --root would do it: a link naming the unit inside the root.
    const std::string link = root + "/etc/systemd/system/sockets.target.wants/" + name + ".socket";
    std::error_code ec;
    EXPECT_EQ(std::filesystem::read_symlink(link, ec).string(),
              "/lib/systemd/system/" + name + ".socket");
  }

  // The autostart entry in the user's configuration folder, private to the user.
  EXPECT_EQ(ReadFile(rig.dir / "config/autostart/velmond.desktop"),
            "[Desktop Entry]\nType=Application\nName=Velmond\n"
            "Comment=Velmo hardware-health monitor in the notification area\n"
            "Exec=velmond\nIcon=velmo\nTerminal=false\n");
  EXPECT_EQ(ModeOf(rig.dir / "config/autostart"), 0700u);

  EXPECT_EQ(ReadFile(root + "/etc/group"), "users:x:999:\nvelmo:x:998:alice\n");
  EXPECT_EQ(rig.systemd.calls, Lines{});  // systemd does not run here
}

TEST(Installation, SecondRunLeavesWhatTheFirstLeftAndSaysNothing) {
  SetupRig rig;
  RunInstallation(rig.Context());
  const test::Tree once = test::Snapshot(rig.dir.Path());
  rig.host.notices.clear();
  RunInstallation(rig.Context());
  const test::Tree twice = test::Snapshot(rig.dir.Path());
  EXPECT_EQ(test::Paths(twice), test::Paths(once));  // no temporary file left behind
  EXPECT_TRUE(twice == once);
  EXPECT_EQ(rig.host.messages, Lines{});
  EXPECT_EQ(rig.host.notices, Lines{});
}

TEST(Installation, ReplacesExistingFilesAndFolderModesStay) {
  SetupRig rig;
  rig.dir.Write("root/bin/velmond", "an older monitor, longer than the new one will be........");
  ::chmod((rig.dir / "root/bin/velmond").c_str(), 0600);
  rig.dir.Write("root/lib/systemd/system/portio.service", "[Unit]\nDescription=old\n");
  rig.velmond = {'n', 'e', 'w'};
  rig.payloads[0].bytes = rig.velmond;
  RunInstallation(rig.Context());
  EXPECT_EQ(ReadFile(rig.Root() + "/bin/velmond"), "new");
  EXPECT_EQ(ModeOf(rig.Root() + "/bin/velmond"), 0755u);
  EXPECT_EQ(ReadFile(rig.Root() + "/lib/systemd/system/portio.service"),
            core::install::HelperUnitText(rig.Root(), "portio"));
}

TEST(Installation, RunningSystemdReloadsAfterEachUnitAndRestartsHelpersForANewGroup) {
  SetupRig rig;
  rig.systemd.running = true;
  RunInstallation(rig.Context());
  // The sockets start once the group they belong to exists; running helpers take them over.
  const Lines units = {"daemon-reload", "enable portio.socket", "daemon-reload",
                       "enable mapmem.socket"};
  const Lines sockets = {"start portio.socket mapmem.socket",
                         "try-restart portio.service mapmem.service"};
  Lines first = units;
  first.push_back("try-restart portio.service mapmem.service");
  first.insert(first.end(), sockets.begin(), sockets.end());
  EXPECT_EQ(rig.systemd.calls, first);
  rig.systemd.calls.clear();
  RunInstallation(rig.Context());  // the group exists now: no restart for its sake
  Lines second = units;
  second.insert(second.end(), sockets.begin(), sockets.end());
  EXPECT_EQ(rig.systemd.calls, second);
  // systemd links nothing itself here: systemctl does.
  EXPECT_FALSE(std::filesystem::exists(rig.Root() + "/etc/systemd"));
}

TEST(Installation, LinkInTheSocketsPlaceIsReplacedButNothingElse) {
  SetupRig rig;
  const std::string wants = rig.Root() + "/etc/systemd/system/sockets.target.wants/";
  std::filesystem::create_directories(wants);
  std::filesystem::create_symlink("/elsewhere/portio.socket", wants + "portio.socket");
  rig.dir.Write("root/etc/systemd/system/sockets.target.wants/mapmem.socket", "a file");
  RunInstallation(rig.Context());
  EXPECT_EQ(std::filesystem::read_symlink(wants + "portio.socket").string(),
            "/lib/systemd/system/portio.socket");
  EXPECT_EQ(ReadFile(wants + "mapmem.socket"), "a file");
  EXPECT_EQ(rig.host.messages, Lines{"Could not enable mapmem.socket!"});
}

// Ways to break one step, and what the user is told.
struct FailureRow {
  const char* name;
  std::function<void(SetupRig&)> arrange;
  Lines messages;
};

const std::string kPortioKey = "Could not create driver regidtry!";
const std::string kMapmemKey = "Could not create driver registry!";

class InstallationFailure : public testing::TestWithParam<FailureRow> {};

TEST_P(InstallationFailure, ShowsItsMessagesAndGoesOn) {
  const FailureRow& row = GetParam();
  SetupRig rig;
  row.arrange(rig);
  RunInstallation(rig.Context());
  Lines expected = row.messages;
  for (std::string& line : expected) {
    if (const size_t at = line.find("{root}"); at != std::string::npos)
      line.replace(at, 6, rig.Root());
  }
  EXPECT_EQ(rig.host.messages, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstallationFailure,
    testing::Values(
        FailureRow{"UnitFolderCannotBeCreated",
                   [](SetupRig& r) { r.dir.Write("root/lib/systemd", "a file, not a folder"); },
                   {kPortioKey, kMapmemKey}},
        FailureRow{"UnitNameTakenByAFolder",
                   [](SetupRig& r) { r.dir.Write("root/lib/systemd/system/mapmem.service/x", ""); },
                   {"Could create registry Type value"}},
        FailureRow{
            "SystemdCannotReload",
            [](SetupRig& r) {
              r.systemd.running = true;
              r.systemd.reloadWorks = false;
            },
            {"Could create registry DisplayName value", "Could create registry DisplayName value"}},
        FailureRow{"HelperNotDeployed",
                   [](SetupRig& r) { r.payloads.pop_back(); },
                   {"Could create registry ImagePath value"}},
        FailureRow{"ProgramCannotBeWritten",
                   [](SetupRig& r) { r.dir.Write("root/bin/velmond/x", ""); },
                   {"Could not write {root}/bin/velmond"}},
        FailureRow{"NoConfigurationFolder",
                   [](SetupRig& r) {
                     r.user->xdgConfigHome.clear();
                     r.user->home.clear();
                   },
                   {"Query Registry String Failed"}},
        FailureRow{"RelativeConfigurationFolders",
                   [](SetupRig& r) {
                     r.user->xdgConfigHome = "config";
                     r.user->home = "home";
                   },
                   {"Query Registry String Failed"}},
        FailureRow{"AutostartFolderCannotBeCreated",
                   [](SetupRig& r) { r.dir.Write("config/autostart", "a file, not a folder"); },
                   {}},
        FailureRow{
            "UnknownUser",
            [](SetupRig& r) { r.user.reset(); },
            {"Query Registry String Failed", "Could not find the user to add to the group velmo!"}},
        FailureRow{"GroupFileCannotBeWritten",
                   [](SetupRig& r) { r.dir.Write("root/etc", "a file, not a folder"); },
                   {"Could not enable portio.socket!", "Could not enable mapmem.socket!",
                    "Could not create the group velmo!"}},
        FailureRow{"SocketCannotBeEnabled",
                   [](SetupRig& r) {
                     r.systemd.running = true;
                     r.systemd.enableWorks = false;
                   },
                   {"Could not enable portio.socket!", "Could not enable mapmem.socket!"}},
        FailureRow{"SocketsCannotStart",
                   [](SetupRig& r) {
                     r.systemd.running = true;
                     r.systemd.startWorks = false;
                   },
                   {"Could not start the Velmo helper sockets!"}},
        FailureRow{"SocketNameTakenByAFolder",
                   [](SetupRig& r) { r.dir.Write("root/lib/systemd/system/portio.socket/x", ""); },
                   {"Could create registry Type value"}},
        FailureRow{"HelpersCannotRestart",
                   [](SetupRig& r) {
                     r.systemd.running = true;
                     r.systemd.restartWorks = false;
                   },
                   {"Could not restart the Velmo helper services!",
                    "Could not start the Velmo helper sockets!"}}),
    [](const testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

TEST(Installation, TheReasonBehindAMessageIsLogged) {
  SetupRig rig;
  rig.dir.Write("root/etc", "a file, not a folder");
  RunInstallation(rig.Context());
  ASSERT_FALSE(rig.host.messages.empty());
  EXPECT_EQ(rig.host.messages.back(), "Could not create the group velmo!");
  const std::string wants = rig.Root() + "/etc/systemd/system/sockets.target.wants";
  const std::string notAFolder = std::strerror(ENOTDIR);
  EXPECT_EQ(rig.reasons, (Lines{"cannot make " + wants + ": " + notAFolder,
                                "cannot make " + wants + ": " + notAFolder,
                                "cannot read " + rig.Root() + "/etc/group: " + notAFolder}));

  SetupRig member;
  ASSERT_TRUE(member.groups.CreateSystemGroup("velmo"));
  member.user->account.name = "a:b";  // cannot be written into the group file
  RunInstallation(member.Context());
  EXPECT_EQ(member.host.messages, Lines{"Could not add a:b to the group velmo!"});
  EXPECT_EQ(member.reasons, Lines{"\"a:b\" cannot stand in a group file"});

  SetupRig systemd;
  systemd.systemd.running = true;
  systemd.systemd.enableWorks = false;
  RunInstallation(systemd.Context());
  EXPECT_EQ(systemd.reasons, (Lines{"enable portio.socket failed", "enable mapmem.socket failed"}));

  SetupRig link;  // no systemd: the socket's link is made by hand
  link.dir.Write("root/etc/systemd/system/sockets.target.wants/portio.socket/x", "");
  RunInstallation(link.Context());
  EXPECT_EQ(link.host.messages, Lines{"Could not enable portio.socket!"});
  EXPECT_EQ(link.reasons,
            Lines{link.Root() + "/etc/systemd/system/sockets.target.wants/portio.socket is there "
                                "and is no link"});
}

TEST(Installation, UnitThatCannotBeWrittenOutLeavesTheOldOneWhole) {
  SetupRig rig;
  const std::string old = "[Unit]\nDescription=the unit of an earlier installation\n";
  rig.dir.Write("root/lib/systemd/system/portio.service", old);
  // A disk that fills up: writes beyond 64 bytes fail (EFBIG, the signal ignored).
  struct rlimit saved {};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const bool registered = RegisterPortioService(rig.Context());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_FALSE(registered);
  EXPECT_EQ(rig.host.messages, Lines{"Could create registry ErrorControl value"});
  EXPECT_EQ(ReadFile(rig.Root() + "/lib/systemd/system/portio.service"), old);
  EXPECT_EQ(test::Paths(test::Snapshot(rig.Root() + "/lib/systemd/system")),
            Lines{"/portio.service"});
}

TEST(Installation, NoEntryWhereTheAutostartFolderCannotBeMade) {
  SetupRig rig;
  rig.dir.Write("config", "a file where the configuration folder should be");
  EXPECT_FALSE(CreateStartupShortcut(rig.Context()));
  EXPECT_EQ(rig.host.messages, Lines{});
  EXPECT_EQ(ReadFile(rig.dir / "config"), "a file where the configuration folder should be");
}

TEST(Installation, AutostartFolderFromHomeWithoutXdgConfigHome) {
  SetupRig rig;
  rig.user->xdgConfigHome.clear();
  EXPECT_TRUE(CreateStartupShortcut(rig.Context()));
  EXPECT_EQ(ReadFile(rig.dir / "home/.config/autostart/velmond.desktop"),
            core::install::AutostartEntryText());
  EXPECT_EQ(ModeOf(rig.dir / "home/.config"), 0700u);
}

// The group step for users in every relation to the group.
struct GroupRow {
  const char* name;
  const char* groupFile;  // nullptr: no file yet
  setup::UserAccount user;
  const char* groupFileAfter;
  Lines notices;
};

const char* const kAddedNotice =
    ". Log out and in again, then Velmo reaches the hardware through its helper services.";

class GroupStep : public testing::TestWithParam<GroupRow> {};

TEST_P(GroupStep, CreatesAddsAndSaysSo) {
  const GroupRow& row = GetParam();
  SetupRig rig;
  if (row.groupFile) rig.dir.Write("root/etc/group", row.groupFile);
  rig.user->account = row.user;
  EXPECT_TRUE(GrantHelperAccess(rig.Context()));
  EXPECT_EQ(ReadFile(rig.Root() + "/etc/group"), row.groupFileAfter);
  EXPECT_EQ(rig.host.notices, row.notices);
  EXPECT_EQ(rig.host.messages, Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Table, GroupStep,
    testing::Values(
        GroupRow{"NoGroupFile",
                 nullptr,
                 {1000, 1000, "alice", "/home/alice"},
                 "velmo:x:999:alice\n",
                 {std::string("Created the group velmo and added alice to it") + kAddedNotice}},
        GroupRow{"GroupWithOthers",
                 "root:x:0:\nvelmo:x:990:bob\n",
                 {1000, 1000, "alice", "/home/alice"},
                 "root:x:0:\nvelmo:x:990:bob,alice\n",
                 {std::string("Added alice to the group velmo") + kAddedNotice}},
        GroupRow{"AlreadyAMember",
                 "velmo:x:990:bob,alice\n",
                 {1000, 1000, "alice", ""},
                 "velmo:x:990:bob,alice\n",
                 {}},
        GroupRow{"PrimaryGroup", "velmo:x:990:\n", {1000, 990, "alice", ""}, "velmo:x:990:\n", {}},
        GroupRow{"RootNeedsNoGroup",
                 "root:x:0:\n",
                 {0, 0, "root", "/root"},
                 "root:x:0:\nvelmo:x:999:\n",
                 {"Created the group velmo."}},
        GroupRow{"NumbersTakenFromTheTop",
                 "a:x:999:\nb:x:998:\nc:x:5000:\n",
                 {0, 0, "root", "/root"},
                 "a:x:999:\nb:x:998:\nc:x:5000:\nvelmo:x:997:\n",
                 {"Created the group velmo."}}),
    [](const testing::TestParamInfo<GroupRow>& info) { return std::string(info.param.name); });

TEST(Installation, GroupThatCannotTakeTheUserIsReported) {
  SetupRig rig;
  rig.dir.Write("root/etc/group", "velmo:x:990:\n");
  rig.user->account.name = "bad:name";  // would break the file's format
  EXPECT_FALSE(GrantHelperAccess(rig.Context()));
  EXPECT_EQ(rig.host.messages, Lines{"Could not add bad:name to the group velmo!"});
  EXPECT_EQ(ReadFile(rig.Root() + "/etc/group"), "velmo:x:990:\n");
}

// Run as root for another user, the entry is written with that user's rights only.
TEST(Installation, EntryForAnotherUserIsWrittenWithThatUsersRights) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  constexpr uid_t kNobody = 65534;
  SetupRig rig;
  rig.user = Invoker{{kNobody, kNobody, "nobody", rig.dir / "home"}, true, "", rig.dir / "home"};
  // A home the user owns: the entry and its folders are the user's.
  ::chmod(rig.dir.Path().c_str(), 0755);
  ::mkdir((rig.dir / "home").c_str(), 0755);
  ASSERT_EQ(::chown((rig.dir / "home").c_str(), kNobody, kNobody), 0);
  EXPECT_TRUE(CreateStartupShortcut(rig.Context()));
  struct stat st {};
  ASSERT_EQ(::stat((rig.dir / "home/.config/autostart/velmond.desktop").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);
  ASSERT_EQ(::stat((rig.dir / "home/.config").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);

  // A folder root owns: root could write there, the user cannot, so nothing is written.
  SetupRig other;
  ::chmod(other.dir.Path().c_str(), 0755);
  other.user = Invoker{{kNobody, kNobody, "nobody", ""}, true, other.dir / "config", ""};
  EXPECT_FALSE(CreateStartupShortcut(other.Context()));
  EXPECT_FALSE(test::fs::exists(other.dir / "config"));
  EXPECT_EQ(other.host.messages, Lines{});
  // And the setup's own rights are back afterwards (the folder is root's, mode 0700).
  other.dir.Write("after", "x");
  EXPECT_EQ(ReadFile(other.dir / "after"), "x");
}

}  // namespace
}  // namespace velmo::setup
