// The group file: other lines kept as they are, numbers from the top of the system range,
// members appended once, and files it cannot understand left alone.
#include "setup/install/GroupFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/setup/SetupRig.h"

namespace velmo::setup {
namespace {

using test::ReadFile;

TEST(GroupFile, FindsGroupsWithTheirMembers) {
  test::SetupDir dir;
  GroupFile file(dir.Write("group",
                           "# a comment line\nroot:x:0:\nvelmo:x:990:bob,alice\nbroken:x:abc:\n"
                           "short:x\n"));
  const auto velmo = file.Find("velmo");
  ASSERT_TRUE(velmo);
  EXPECT_EQ(velmo->gid, 990u);
  EXPECT_EQ(velmo->members, (std::vector<std::string>{"bob", "alice"}));
  EXPECT_TRUE(file.Find("root") && file.Find("root")->members.empty());
  EXPECT_FALSE(file.Find("broken"));  // no number: not a group
  EXPECT_FALSE(file.Find("short"));
  EXPECT_FALSE(file.Find("nobody"));
  EXPECT_FALSE(GroupFile(dir / "missing").Find("velmo"));
}

TEST(GroupFile, CreatesAndAddsWithoutTouchingOtherLines) {
  test::SetupDir dir;
  const std::string original = "# a comment line\nroot:x:0:\nodd line without fields\n";
  GroupFile file(dir.Write("group", original));
  ::chmod((dir / "group").c_str(), 0640);
  ASSERT_TRUE(file.CreateSystemGroup("velmo"));
  ASSERT_TRUE(file.AddMember("velmo", "alice"));
  ASSERT_TRUE(file.AddMember("velmo", "bob"));
  ASSERT_TRUE(file.AddMember("velmo", "alice"));  // once is enough
  ASSERT_TRUE(file.CreateSystemGroup("velmo"));   // exists: nothing changes
  EXPECT_EQ(ReadFile(dir / "group"), original + "velmo:x:999:alice,bob\n");
  EXPECT_EQ(test::ModeOf(dir / "group"), 0640u);
  EXPECT_FALSE(file.AddMember("missing", "alice"));
}

TEST(GroupFile, RefusesNamesThatWouldBreakTheFormat) {
  test::SetupDir dir;
  GroupFile file(dir.Write("group", "velmo:x:990:\n"));
  for (const char* name : {"", "a:b", "a,b", "a\nb"}) {
    EXPECT_FALSE(file.AddMember("velmo", name)) << name;
    EXPECT_FALSE(file.CreateSystemGroup(name)) << name;
  }
  EXPECT_EQ(ReadFile(dir / "group"), "velmo:x:990:\n");
}

TEST(GroupFile, FullSystemRangeLeavesNoNumber) {
  test::SetupDir dir;
  std::string text;
  for (int gid = 100; gid <= 999; ++gid)
    text += "g" + std::to_string(gid) + ":x:" + std::to_string(gid) + ":\n";
  GroupFile file(dir.Write("group", text));
  const auto made = file.CreateSystemGroup("velmo");
  ASSERT_FALSE(made);
  EXPECT_EQ(made.error().message,
            "no group number from 999 down to 100 is free in " + dir / "group");
  EXPECT_EQ(ReadFile(dir / "group"), text);
}

TEST(GroupFile, EachFailureSaysWhy) {
  test::SetupDir dir;
  const std::string path = dir.Write("group", "velmo:x:990:\n");
  GroupFile file(path);
  std::filesystem::create_directories(dir / "folder");
  struct Row {
    const char* what;
    base::Expected<void> result;
    std::string reason;
  };
  auto find = [](GroupFile f, const std::string& group) -> base::Expected<void> {
    const auto found = f.Find(group);
    if (!found) return found.error();
    return {};
  };
  const Row rows[] = {
      {"missing file", find(GroupFile(dir / "missing"), "velmo"),
       "cannot read " + dir / "missing" + ": " + std::strerror(ENOENT)},
      {"a folder", find(GroupFile(dir / "folder"), "velmo"),
       "cannot read " + dir / "folder" + ": not a regular file"},
      {"missing group", find(file, "nobody"), "no group nobody in " + path},
      {"member of a missing group", file.AddMember("nobody", "alice"),
       "no group nobody in " + path},
      {"name that breaks the format", file.CreateSystemGroup("a,b"),
       "\"a,b\" cannot stand in a group file"},
  };
  for (const Row& row : rows) {
    ASSERT_FALSE(row.result) << row.what;
    EXPECT_EQ(row.result.error().message, row.reason) << row.what;
  }
}

}  // namespace
}  // namespace velmo::setup
