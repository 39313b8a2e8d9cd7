#include "monitor/core/InstanceLock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/EnvScope.h"

namespace velmo::core {
namespace {

namespace fs = std::filesystem;

using test::EnvScope;

class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path().string() + "/velmo-lock-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Folder(const std::string& name, fs::perms perms) {
    const std::string path = dir + "/" + name;
    fs::create_directory(path);
    fs::permissions(path, perms);
    return path;
  }
  std::string dir;
  EnvScope env;
};

const std::string kFile = std::string("/") + kInstanceMutexName + ".lock";

TEST_F(InstanceLockTest, TheLockLivesOnlyInAFolderOfTheUsersOwn) {
  const std::string runtime = Folder("runtime", fs::perms::owner_all);
  const std::string open = Folder("open", fs::perms::all | fs::perms::sticky_bit);  // like /tmp
  env.Set("HOME", dir + "/home");
  env.Set("XDG_RUNTIME_DIR", runtime);
  EXPECT_EQ(InstanceLock::DefaultPath().value(), runtime + kFile);

  // A runtime folder others may write is passed over for one of the user's own.
  env.Set("XDG_RUNTIME_DIR", open);
  const std::string userRun = "/run/user/" + std::to_string(::geteuid());
  const std::string fallback =
      IsPrivateFolder(userRun, ::geteuid()) ? userRun + kFile : dir + "/home/.cache/velmo" + kFile;
  EXPECT_EQ(InstanceLock::DefaultPath().value(), fallback);
  env.Unset("XDG_RUNTIME_DIR");
  EXPECT_EQ(InstanceLock::DefaultPath().value(), fallback);
  if (!IsPrivateFolder(userRun, ::geteuid())) {
    EXPECT_EQ(fs::status(dir + "/home/.cache/velmo").permissions(), fs::perms::owner_all);
  }
  EXPECT_FALSE(IsPrivateFolder(open, ::geteuid()));
  EXPECT_FALSE(IsPrivateFolder("relative", ::geteuid()));
  if (::geteuid() == 0) {
    const std::string theirs = Folder("theirs", fs::perms::owner_all);
    ASSERT_EQ(::chown(theirs.c_str(), 4242, 4242), 0);
    EXPECT_FALSE(IsPrivateFolder(theirs, 0));
  }
}

TEST_F(InstanceLockTest, AnotherInstanceAndAFailureAreToldApart) {
  const std::string path = dir + "/velmond.lock";
  InstanceLock first(path);
  EXPECT_EQ(first.Acquire().value(), InstanceLock::Lock::kAcquired);
  InstanceLock second(path);
  EXPECT_EQ(second.Acquire().value(), InstanceLock::Lock::kHeld);
  first.Release();
  EXPECT_EQ(second.Acquire().value(), InstanceLock::Lock::kAcquired);

  struct Row {
    const char* what;
    std::string path;
    const char* reason;
  };
  std::ofstream(dir + "/plain") << "x";
  fs::create_symlink(dir + "/elsewhere", dir + "/link.lock");
  const Row rows[] = {{"folder missing", dir + "/missing/velmond.lock", "No such file"},
                      {"parent is a file", dir + "/plain/velmond.lock", "Not a directory"},
                      {"a link in its place", dir + "/link.lock", "Too many levels"}};
  for (const Row& row : rows) {
    InstanceLock lock(row.path);
    const auto acquired = lock.Acquire();
    ASSERT_FALSE(acquired) << row.what;
    const std::string& error = acquired.error().message;
    EXPECT_EQ(error.rfind(row.path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    EXPECT_NE(acquired.error().code, 0) << row.what;
  }
  EXPECT_FALSE(fs::exists(dir + "/elsewhere"));  // the link was not followed
}

}  // namespace
}  // namespace velmo::core
