// Replacing a file atomically, and leaving it alone when a save would change nothing.
#include "monitor/base/AtomicFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

}  // namespace
}  // namespace velmo::base
