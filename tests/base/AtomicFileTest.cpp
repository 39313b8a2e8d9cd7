// Replacing a file atomically, and leaving it alone when a save would change nothing.
#include "monitor/base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/base/SafePath.h"
#include "tests/support/AsUser.h"

namespace velmo::base {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

TEST(AtomicFile, AnUnchangedSaveLeavesTheFileAlone) {
  const std::string dir = testing::TempDir() + "/atomic-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/registry.reg";
  struct Row {
    const char* what;
    bool skip;
    std::string contents;
    bool replaced;
  };
  const Row rows[] = {
      {"same bytes", true, "settings\n", false},
      {"other bytes", true, "settings 2\n", true},
      {"a prefix of them", true, "settings", true},
      {"same bytes, not asked to skip", false, "settings\n", true},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(WriteFileAtomically(path, "settings\n")) << row.what;
    const ino_t before = Inode(path);
    AtomicWriteOptions options;
    options.skipWhenUnchanged = row.skip;
    ASSERT_TRUE(WriteFileAtomically(path, row.contents, options)) << row.what;
    EXPECT_EQ(Read(path), row.contents) << row.what;
    EXPECT_EQ(Inode(path) != before, row.replaced) << row.what;
  }
  // Something other than a regular file in its place is replaced, never read as one.
  std::filesystem::remove(path);
  std::filesystem::create_symlink(dir + "/elsewhere", path);
  std::ofstream(dir + "/elsewhere") << "settings\n";
  AtomicWriteOptions options;
  options.skipWhenUnchanged = true;
  ASSERT_TRUE(WriteFileAtomically(path, "settings\n", options));
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  std::filesystem::remove_all(dir);
}

struct stat Lstat(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

std::string FreshDir(const std::string& name, mode_t mode = 0755) {
  const std::string dir = testing::TempDir() + "/" + name + "-" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  ::chmod(dir.c_str(), mode);
  return dir;
}

// What another user plants at the name a writer of this process would have used before the
// names were random: whatever it is, the write goes to a file of its own, leaves the planted
// thing as it was, and never waits on it.
TEST(AtomicFile, WhatAnotherUserPlantsAtTheTemporaryNameIsNeverUsed) {
  ASSERT_EQ(::geteuid(), 0u) << "plays another user: run as root";
  const std::string dir = FreshDir("atomic-planted", 01777);  // a shared folder, like /tmp
  const std::string target = dir + "/velmo.prom";
  const std::string victim = dir + "/victim";
  const std::string planted = target + ".tmp." + std::to_string(::getpid());
  struct Row {
    const char* what;
    std::function<bool()> plant;  // run as the other user
  };
  const Row rows[] = {
      {"a file the planter keeps writable",
       [&] { return ::close(::open(planted.c_str(), O_CREAT | O_WRONLY, 0666)) == 0; }},
      {"a FIFO", [&] { return ::mkfifo(planted.c_str(), 0666) == 0; }},
      {"a link to root's file", [&] { return ::symlink(victim.c_str(), planted.c_str()) == 0; }},
  };
  for (const Row& row : rows) {
    std::filesystem::remove(planted);
    std::ofstream(victim) << "root's own\n";
    ASSERT_TRUE(test::RunAs(row.plant)) << row.what;
    const struct stat before = Lstat(planted);
    const bool wrote = test::FinishesWithin(std::chrono::seconds(5), [&] {
      return static_cast<bool>(WriteFileAtomically(target, "velmo_alarm_enabled 1\n"));
    });
    ASSERT_TRUE(wrote) << row.what << ": the write failed or hung";
    EXPECT_EQ(Read(target), "velmo_alarm_enabled 1\n") << row.what;
    EXPECT_EQ(Read(victim), "root's own\n") << row.what;
    const struct stat after = Lstat(planted);
    EXPECT_EQ(after.st_ino, before.st_ino) << row.what;
    EXPECT_EQ(after.st_uid, test::kOtherUid) << row.what;
    if (S_ISREG(after.st_mode)) {
      EXPECT_EQ(after.st_size, 0) << row.what;
    }
    EXPECT_EQ(Lstat(target).st_uid, 0u) << row.what;
  }
  std::filesystem::remove_all(dir);
}

// Run as root, the owner a replaced file keeps is that of the name itself, and the cleanup of
// killed writers' files removes ours only.
TEST(AtomicFile, OwnerFromTheNameItselfAndOnlyOurStaleFilesRemoved) {
  ASSERT_EQ(::geteuid(), 0u) << "plays another user: run as root";
  const std::string dir = FreshDir("atomic-owner", 01777);
  const std::string rootFile = dir + "/root-file";
  std::ofstream(rootFile) << "root\n";
  const std::string link = dir + "/settings.reg";
  ASSERT_TRUE(test::RunAs([&] { return ::symlink(rootFile.c_str(), link.c_str()) == 0; }));
  ASSERT_TRUE(WriteFileAtomically(link, "new\n"));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Lstat(link).st_uid, test::kOtherUid) << "the link's owner, not its target's";
  EXPECT_EQ(Read(rootFile), "root\n");

  const std::string target = dir + "/velmo.prom";
  const pid_t dead = test::DeadPid();
  const std::string theirs = target + ".tmp." + std::to_string(dead);
  const std::string ours = target + ".tmp." + std::to_string(dead) + ".0123456789abcdef";
  ASSERT_TRUE(test::RunAs([&] { return ::close(::open(theirs.c_str(), O_CREAT, 0644)) == 0; }));
  std::ofstream(ours) << "half";
  ASSERT_TRUE(WriteFileAtomically(target, "x\n"));
  EXPECT_TRUE(std::filesystem::exists(theirs)) << "another user's file was removed";
  EXPECT_FALSE(std::filesystem::exists(ours)) << "our killed writer's file stayed";
  std::filesystem::remove_all(dir);
}

// Folders below a trusted one are walked without following links, and one that another user
// can change is not used; the trusted folder itself is checked on the way from /.
TEST(AtomicFile, ConfinedWritesFollowNoLinkAndEnterNoOtherUsersFolder) {
  ASSERT_EQ(::geteuid(), 0u) << "plays another user: run as root";
  const std::string root = FreshDir("atomic-confined");
  const std::string elsewhere = FreshDir("atomic-elsewhere");
  std::filesystem::create_directories(root + "/lib");
  std::filesystem::create_directory_symlink(elsewhere, root + "/lib/velmo");
  std::filesystem::create_directories(root + "/open");
  ::chmod((root + "/open").c_str(), 0777);
  std::filesystem::create_directories(root + "/theirs");
  ::chown((root + "/theirs").c_str(), test::kOtherUid, test::kOtherGid);
  struct Row {
    const char* path;
    bool written;
  };
  const Row rows[] = {
      {"/bin/velmond", true},                // made on the way
      {"/lib/velmo/drivers/portio", false},  // through the planted link
      {"/open/velmond", false},              // world-writable, no sticky bit
      {"/theirs/velmond", false},            // another user's folder
  };
  for (const Row& row : rows) {
    AtomicWriteOptions options;
    options.confinedTo = root;
    const std::string path = root + row.path;
    const bool made = MakeDirs(ParentDir(path), 0755, root) &&
                      static_cast<bool>(WriteFileAtomically(path, "program", options));
    EXPECT_EQ(made, row.written) << row.path;
  }
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
  EXPECT_EQ(Lstat(root + "/bin").st_mode & 07777, 0755u);

  struct Trust {
    std::string path;
    bool others;
  };
  const Trust trust[] = {
      {root, false},          {root + "/not/yet/made", false},  // judged by the folder that exists
      {root + "/open", true}, {root + "/open/below", true},    {root + "/theirs", true},
      {"/tmp", false},  // sticky
  };
  for (const Trust& t : trust)
    EXPECT_EQ(!WritableByOthers(t.path).empty(), t.others)
        << t.path << ": " << WritableByOthers(t.path);
  std::filesystem::remove_all(root);
  std::filesystem::remove_all(elsewhere);
}

}  // namespace
}  // namespace velmo::base
