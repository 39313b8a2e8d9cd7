// The platform check: which machines are supported, and the name the first page shows.
#include "setup/install/Platform.h"

#include <gtest/gtest.h>

#include "tests/setup/SetupRig.h"

namespace velmo::setup {
namespace {

struct MachineRow {
  const char* machine;
  bool supported;
};

class PlatformMachine : public testing::TestWithParam<MachineRow> {};

TEST_P(PlatformMachine, SupportedOnlyOnX86) {
  const MachineRow& row = GetParam();
  const PlatformCheck check = CheckPlatform({row.machine, "6.1.0-18-amd64", "Debian 12"});
  EXPECT_EQ(check.helperServices, row.supported);
  EXPECT_FALSE(check.directPorts);
  EXPECT_EQ(check.name, row.supported ? "Debian 12" : "");
  EXPECT_EQ(check.kernelRelease, row.supported ? "6.1.0-18-amd64" : "");
}

INSTANTIATE_TEST_SUITE_P(Table, PlatformMachine,
                         testing::Values(MachineRow{"x86_64", true}, MachineRow{"i386", true},
                                         MachineRow{"i486", true}, MachineRow{"i586", true},
                                         MachineRow{"i686", true}, MachineRow{"i786", false},
                                         MachineRow{"i86", false}, MachineRow{"x86", false},
                                         MachineRow{"aarch64", false}, MachineRow{"armv7l", false},
                                         MachineRow{"riscv64", false}, MachineRow{"", false}));

struct OsReleaseRow {
  const char* text;
  const char* name;
};

class PrettyName : public testing::TestWithParam<OsReleaseRow> {};

TEST_P(PrettyName, ShellQuotingUndone) {
  EXPECT_EQ(PrettyNameOf(GetParam().text), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrettyName,
    testing::Values(
        OsReleaseRow{"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
                     "Debian GNU/Linux 12 (bookworm)"},
        OsReleaseRow{"PRETTY_NAME='Single quoted \\ stays'\n", "Single quoted \\ stays"},
        OsReleaseRow{"PRETTY_NAME=\"Say \\\"hi\\\" for \\$5 \\\\ \\n\"\n",
                     "Say \"hi\" for $5 \\ \\n"},
        OsReleaseRow{"PRETTY_NAME=Bare\r\n", "Bare"},
        OsReleaseRow{"NAME=Fedora\n# PRETTY_NAME=\"commented out\"\n", "Linux"},
        OsReleaseRow{"", "Linux"}, OsReleaseRow{"PRETTY_NAME=\"\"\n", ""}));

TEST(Platform, ReadsTheFirstOsReleaseFileThatExists) {
  test::SetupDir dir;
  dir.Write("fallback", "PRETTY_NAME=\"From the fallback\"\n");
  EXPECT_EQ(LinuxPlatformSource(dir / "missing", dir / "fallback").Read().prettyName,
            "From the fallback");
  dir.Write("first", "PRETTY_NAME=\"From the first\"\n");
  EXPECT_EQ(LinuxPlatformSource(dir / "first", dir / "fallback").Read().prettyName,
            "From the first");
  const PlatformFacts facts = LinuxPlatformSource(dir / "missing", dir / "missing").Read();
  EXPECT_EQ(facts.prettyName, "Linux");
  EXPECT_FALSE(facts.machine.empty());
  EXPECT_FALSE(facts.kernelRelease.empty());
}

}  // namespace
}  // namespace velmo::setup
