// The namespace harness: inside, /sys/class/hwmon and /sys/devices are the exported tree and
// /sys is still sysfs; outside nothing changes; a failure to set up is an error, never a pass.
#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/statfs.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "sim/KernelTree.h"
#include "sim/SimulatedBoard.h"
#include "tests/support/Golden.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;

constexpr long kSysfsMagic = 0x62656572;

fs::path ExportBoard(const std::string& board, const std::string& name, unsigned index) {
  std::string error;
  auto b = sim::SimulatedBoard::Load(std::string(VELMO_BOARD_DIR) + "/" + board + ".json", &error);
  if (!b) throw std::runtime_error(error);
  const fs::path root = fs::path(testing::TempDir()) /
                        ("ns-" + name + "-" + std::to_string(::getpid()));  // one name per test
  fs::remove_all(root);
  sim::KernelTreeOptions options;
  options.hwmonIndex = index;
  sim::ExportKernelTree(*b, root, options);
  return root;
}

std::string SortedNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& n : names)
    text += n + " ";
  return text;
}

TEST(KernelTreeNamespace, InsideTheMachineHwmonIsTheTree) {
  const fs::path root = ExportBoard("w83627hf", "inside", 3);
  const std::string seen = RunFunctionInTree(root, [] {
    struct statfs fs {};
    ::statfs("/sys", &fs);
    return SortedNames("/sys/class/hwmon") + "| " +
           ReadFile("/sys/class/hwmon/hwmon3/device/name") + "| " +
           ReadFile("/sys/devices/platform/w83627hf.656/temp2_input") + "| " +
           (static_cast<long>(fs.f_type) == kSysfsMagic ? "sysfs" : "not sysfs");
  });
  EXPECT_EQ(seen, "hwmon3 | w83627hf\n| 45000\n| sysfs");
  // The parent's /sys is untouched.
  EXPECT_FALSE(fs::exists("/sys/devices/platform/w83627hf.656/temp2_input"));
}

TEST(KernelTreeNamespace, ProgramsRunInsideWithTheirOutputAndStatus) {
  const fs::path root = ExportBoard("w83782d", "program", 0);
  const ProgramRun cat =
      RunInTree(root, {"cat", "/sys/class/hwmon/hwmon0/device/name", "/sys/class/nope"});
  EXPECT_EQ(cat.out, "w83782d\n");
  EXPECT_NE(cat.err.find("/sys/class/nope"), std::string::npos) << cat.err;
  EXPECT_EQ(cat.status, 1);
  const ProgramRun killed = RunInTree(root, {"sh", "-c", "kill -9 $$"});
  EXPECT_EQ(killed.status, 128 + 9);

  // A further mount: a folder over /etc (where a test puts its sensors configuration).
  const fs::path etc = root / "etc-over";
  fs::create_directories(etc);
  std::ofstream(etc / "marker") << "mounted\n";
  const ProgramRun extra = RunInTree(root, {"cat", "/etc/marker"}, {{etc, "/etc"}});
  EXPECT_EQ(extra.out, "mounted\n");
}

TEST(KernelTreeNamespace, FailuresToSetUpAreErrorsNotPasses) {
  const fs::path missing =
      fs::path(testing::TempDir()) / ("ns-no-such-tree-" + std::to_string(::getpid()));
  fs::remove_all(missing);
  EXPECT_THROW(RunInTree(missing, {"true"}), std::runtime_error);
  EXPECT_THROW(RunFunctionInTree(missing, [] { return std::string("ran"); }), std::runtime_error);
  const fs::path root = ExportBoard("sis5595", "failures", 0);
  EXPECT_THROW(RunInTree(root, {"/no/such/program"}), std::runtime_error);
  try {
    RunFunctionInTree(root, []() -> std::string { throw std::runtime_error("bad reading"); });
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("bad reading"), std::string::npos) << e.what();
  }
  EXPECT_THROW(RunFunctionInTree(root, []() -> std::string { ::_exit(3); }), std::runtime_error);
}

}  // namespace
}  // namespace velmo::test
