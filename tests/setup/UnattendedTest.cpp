// kiru --unattended into a temporary root: the build's files byte for byte, the units, the
// entry, the group file, a second run, and the exit code with the messages as JSON lines.
#include "setup/install/Unattended.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <nlohmann/json.hpp>
#include <sstream>

#include "monitor/core/InstallLayout.h"
#include "tests/setup/SetupRig.h"

namespace velmo::setup {
namespace {

using test::ReadFile;
using Lines = std::vector<std::string>;

struct KiruRun {
  int exitCode = -1;
  Lines lines;  // standard output
};

// Runs kiru with exactly the environment `env` (no sudo variables from the test's own) in the
// folder `cwd`.
KiruRun RunKiru(const Lines& args, const Lines& env, const std::string& cwd = "/") {
  std::vector<std::string> argStrings = {VELMO_KIRU_PROGRAM};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings = env;
  envStrings.push_back("PATH=/usr/bin:/bin");
  std::vector<char*> argv, envp;
  for (std::string& s : argStrings)
    argv.push_back(s.data());
  argv.push_back(nullptr);
  for (std::string& s : envStrings)
    envp.push_back(s.data());
  envp.push_back(nullptr);
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
    out.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  KiruRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    run.lines.push_back(line);
  return run;
}

// The build's payload files and where kiru puts them: "file=destination|...".
std::vector<std::pair<std::string, std::string>> BuildPayloads() {
  std::vector<std::pair<std::string, std::string>> files;
  std::istringstream list(VELMO_KIRU_PAYLOAD_FILES);
  for (std::string entry; std::getline(list, entry, '|');) {
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) files.emplace_back(entry.substr(0, eq), entry.substr(eq + 1));
  }
  return files;
}

std::string MessageLine(const std::string& text) {
  return nlohmann::json{{"event", "message"}, {"text", text}}.dump();
}

TEST(Unattended, WritesTheBuildsProgramsUnitsAndEntryAndASecondRunChangesNothing) {
  test::SetupDir dir;
  const std::string root = dir / "root";
  const Lines env = {"XDG_CONFIG_HOME=" + dir / "config", "HOME=" + dir / "home"};
  const KiruRun first = RunKiru({"--unattended", "--root", root}, env);
  EXPECT_EQ(first.exitCode, 0);
  for (const std::string& line : first.lines) {
    const auto event = nlohmann::json::parse(line);
    EXPECT_EQ(event.at("event"), "notice") << line;  // no message
  }

  const auto payloads = BuildPayloads();
  ASSERT_EQ(payloads.size(), 4u);
  EXPECT_EQ(payloads[0].second, "bin/velmond");
  EXPECT_EQ(root + "/" + payloads[1].second, core::install::GuiProgramPath(root));
  for (const auto& [file, destination] : payloads) {
    const std::string written = root + "/" + destination;
    const std::string expected = ReadFile(file);
    ASSERT_FALSE(expected.empty()) << file;
    EXPECT_TRUE(ReadFile(written) == expected) << written << " differs from " << file;
    EXPECT_EQ(test::ModeOf(written), 0755u) << written;
  }
  EXPECT_EQ(core::install::ProgramPath(root), root + "/bin/velmond");
  for (const std::string name : {"portio", "mapmem"}) {
    EXPECT_EQ(ReadFile(core::install::UnitPath(root, name)),
              core::install::HelperUnitText(root, name));
  }
  const std::string entry = dir / "config/autostart/velmond.desktop";
  EXPECT_EQ(ReadFile(entry), core::install::AutostartEntryText());
  if (::access("/usr/bin/desktop-file-validate", X_OK) == 0) {
    EXPECT_EQ(std::system(("/usr/bin/desktop-file-validate " + entry).c_str()), 0);
  }
  const auto group = GroupFile(root + "/etc/group").Find("velmo");
  ASSERT_TRUE(group);
  if (::geteuid() != 0) {  // root is admitted anyway and is not added
    EXPECT_EQ(group->members.size(), 1u);
  }

  const test::Tree once = test::Snapshot(dir.Path());
  const KiruRun second = RunKiru({"--unattended", "--root", root}, env);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.lines, Lines{});
  EXPECT_TRUE(test::Snapshot(dir.Path()) == once);
}

TEST(Unattended, MessagesAreJsonLinesAndMakeTheExitCodeOne) {
  test::SetupDir dir;
  dir.Write("root/lib/systemd", "a file where the unit folder should be");
  const KiruRun run =
      RunKiru({"--unattended", "--root", dir / "root"}, {"XDG_CONFIG_HOME=" + dir / "config"});
  EXPECT_EQ(run.exitCode, 1);
  Lines messages;
  for (const std::string& line : run.lines) {
    if (nlohmann::json::parse(line).at("event") == "message") messages.push_back(line);
  }
  EXPECT_EQ(messages, (Lines{MessageLine("Could not create driver regidtry!"),
                             MessageLine("Could not create driver registry!")}));
  EXPECT_TRUE(test::fs::exists(dir / "config/autostart/velmond.desktop"));  // the rest went on
}

TEST(Unattended, NoConfigurationFolderIsReported) {
  test::SetupDir dir;
  const KiruRun run = RunKiru({"--unattended", "--root", dir / "root"}, {});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(
      std::find(run.lines.begin(), run.lines.end(), MessageLine("Query Registry String Failed")),
      run.lines.end());
  EXPECT_TRUE(test::fs::exists(dir / "root/bin/velmond"));
}

TEST(Unattended, RelativeRootBecomesAbsoluteInTheUnits) {
  test::SetupDir dir;
  const KiruRun run = RunKiru({"--unattended", "--root", "staging/"},
                              {"XDG_CONFIG_HOME=" + dir / "config"}, dir.Path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "staging/lib/systemd/system/portio.service"),
            core::install::HelperUnitText(dir / "staging", "portio"));
}

// kiru as root on folders another user has had a hand in: a root or prefix that user can change
// is refused with one message and nothing is written; below a trusted root no link is followed
// and no folder another user can change is written into.
TEST(Unattended, AsRootNothingAnotherUserControlsIsFollowedOrTrusted) {
  ASSERT_EQ(::geteuid(), 0u) << "plays another user: run as root";
  struct Row {
    const char* what;
    std::function<void(const test::SetupDir&)> plant;  // as root, with `chown` for the user
    bool useRoot;                                      // --root DIR, else VELMO_PREFIX=DIR
    std::string refusal;  // the one message, or "" when the installation goes on
    Lines missing;        // files below DIR that must not be written
  };
  auto own = [](const std::string& path) { ::chown(path.c_str(), 1000, 1000); };
  const Row rows[] = {
      {"DIR in a folder everyone can write",
       [](const test::SetupDir& d) {
         test::fs::create_directories(d / "open");
         ::chmod((d / "open").c_str(), 0777);
       },
       true,
       "open can be written by other users",
       {}},
      {"DIR another user owns",
       [&](const test::SetupDir& d) {
         test::fs::create_directories(d / "open");
         own(d / "open");
       },
       true,
       "belongs to another user (uid 1000)",
       {}},
      {"VELMO_PREFIX another user owns",
       [&](const test::SetupDir& d) {
         test::fs::create_directories(d / "open");
         own(d / "open");
       },
       false,
       "belongs to another user (uid 1000)",
       {}},
      {"links planted below DIR",
       [](const test::SetupDir& d) {
         test::fs::create_directories(d / "open/lib");
         test::fs::create_directories(d / "elsewhere");
         d.Write("elsewhere/group", "velmo:x:990:\n");
         test::fs::create_directory_symlink(d / "elsewhere", d / "open/lib/velmo");
         test::fs::create_directory_symlink(d / "elsewhere", d / "open/etc");
       },
       true,
       "",
       {"lib/velmo/velmond-gui", "lib/velmo/drivers/portio"}},
      {"a folder below DIR everyone can write",
       [](const test::SetupDir& d) {
         test::fs::create_directories(d / "open/bin");
         ::chmod((d / "open/bin").c_str(), 0777);
       },
       true,
       "",
       {"bin/velmond"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SetupDir dir;
    row.plant(dir);
    const std::string target = dir / "open";
    Lines env = {"XDG_CONFIG_HOME=" + dir / "config"};
    if (!row.useRoot) env.push_back("VELMO_PREFIX=" + target);
    const test::Tree before = test::Snapshot(dir.Path());
    const KiruRun run =
        RunKiru(row.useRoot ? Lines{"--unattended", "--root", target} : Lines{"--unattended"}, env);
    EXPECT_EQ(run.exitCode, 1);
    if (!row.refusal.empty()) {
      ASSERT_EQ(run.lines.size(), 1u);
      EXPECT_NE(run.lines[0].find(row.refusal), std::string::npos) << run.lines[0];
      EXPECT_NE(run.lines[0].find("Velmo is not installed under"), std::string::npos);
      EXPECT_TRUE(test::Snapshot(dir.Path()) == before) << "something was written";
      continue;
    }
    for (const std::string& file : row.missing)
      EXPECT_FALSE(test::fs::exists(target + "/" + file)) << file;
    EXPECT_EQ(ReadFile(dir / "elsewhere/group"),
              test::fs::exists(dir / "elsewhere") ? "velmo:x:990:\n" : "");
    if (test::fs::exists(dir / "elsewhere")) {
      Lines names;
      for (const auto& e : test::fs::directory_iterator(dir / "elsewhere"))
        names.push_back(e.path().filename().string());
      EXPECT_EQ(names, Lines{"group"}) << "written through a planted link";
    }
  }
}

TEST(Unattended, WrongCommandLineIsExitCodeTwo) {
  EXPECT_EQ(RunKiru({"--no-such-option"}, {}).exitCode, 2);
  EXPECT_EQ(RunKiru({"--root"}, {}).exitCode, 2);
  const KiruRun help = RunKiru({"--help"}, {});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_FALSE(help.lines.empty());
}

TEST(Unattended, RefusedPlatformInstallsNothing) {
  test::SetupRig rig;
  std::ostringstream out;
  JsonLinesHost host(out);
  const SetupContext context{rig.Root(), rig.payloads, rig.systemd, rig.groups, rig.user, host};
  EXPECT_EQ(RunUnattended(CheckPlatform({"aarch64", "6.1", "Debian"}), context, host), 1);
  EXPECT_EQ(out.str(), MessageLine(kRefusedHint) + "\n");
  EXPECT_FALSE(test::fs::exists(rig.Root()));
}

TEST(Unattended, TextsThatAreNotUtf8StillMakeOneLine) {
  std::ostringstream out;
  JsonLinesHost host(out);
  host.ShowMessage("Could not write /tmp/\xff\xfe/velmond");
  host.ShowNotice("Added \xc3\xa9milie to the group velmo.");
  EXPECT_EQ(out.str(),
            "{\"event\":\"message\",\"text\":\"Could not write /tmp/\xef\xbf\xbd\xef\xbf\xbd/"
            "velmond\"}\n{\"event\":\"notice\",\"text\":\"Added \xc3\xa9milie to the group "
            "velmo.\"}\n");
  EXPECT_EQ(host.Messages(), 1);
}

}  // namespace
}  // namespace velmo::setup
