// A detached start says why it failed: the exec's errno and its text, or that no process could
// be made; a started program runs on its own.
#include "monitor/base/Subprocess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace velmo::base {
namespace {

TEST(SpawnDetached, AFailedStartCarriesTheReason) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velmo-spawn-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  struct Row {
    const char* what;
    std::vector<std::string> args;
    int code;
    std::string message;
  };
  const Row rows[] = {
      {"missing program", {(dir / "missing").string()}, ENOENT, std::strerror(ENOENT)},
      {"a folder", {dir.string()}, EACCES, std::strerror(EACCES)},
      {"nothing to run", {}, 0, "cannot start a process"},
  };
  for (const Row& row : rows) {
    const Expected<void> started = SpawnDetached(row.args, std::string());
    ASSERT_FALSE(started) << row.what;
    EXPECT_EQ(started.error().code, row.code) << row.what;
    EXPECT_EQ(started.error().message, row.message) << row.what;
  }

  const std::filesystem::path marker = dir / "ran";
  DetachedOptions options;
  options.logPath = (dir / "log").string();
  ASSERT_TRUE(SpawnDetached({"sh", "-c", "echo ran > " + marker.string()}, options));
  for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(std::filesystem::exists(marker));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmo::base
