// libsensors through SensorsLibrary, inside a namespace whose /sys holds an exported tree: each
// driver's chip under the name `sensors` prints, the same as the direct sysfs scan finds; a
// broken configuration costs one warning and no chip; a fatal error ends nothing.
#include <unistd.h>

#include <gtest/gtest.h>

#include <sensors/error.h>
#include <sensors/sensors.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "DriverTrees.h"
#include "monitor/hwmon/HwmonScan.h"
#include "monitor/hwmon/KernelOwnership.h"
#include "monitor/hwmon/SensorsLibrary.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;
using hwmon::SensorsLibrary;

// The chips and the warnings of a library made inside the tree, as text.
std::string ChipsAndWarnings(const fs::path& root, const std::vector<BindMount>& extra = {}) {
  return RunFunctionInTree(
      root,
      [] {
        std::string warnings;
        SensorsLibrary library([&](const std::string& w) { warnings += "warning: " + w + "\n"; });
        std::string text = Describe(library.Chips());
        library.Rescan();
        text += "rescan\n" + Describe(library.Chips());
        for (const hwmon::KernelChip& c : library.Chips()) {
          if (library.Native(c) == nullptr) text += "no native record for " + c.name + "\n";
        }
        return text + warnings;
      },
      extra);
}

TEST(SensorsLibrary, EachDriverIsNamedAsSensorsNamesIt) {
  for (const DriverTree& t : DriverTrees()) {
    SCOPED_TRACE(t.chip.name);
    const fs::path root = ExportTree(t.board, t.options, "names");
    const std::string expected = Describe(t.chip);
    EXPECT_EQ(ChipsAndWarnings(root), expected + "rescan\n" + expected);
    // The direct scan (what the ownership check uses) agrees with libsensors field by field.
    EXPECT_EQ(RunFunctionInTree(root, [] { return Describe(hwmon::ScanHwmonDevices()); }),
              expected);
    // Every one of these drivers may claim the ports: a scan for the claimers finds it alike,
    // one for nothing finds nothing.
    EXPECT_EQ(RunFunctionInTree(
                  root, [] { return Describe(hwmon::ScanHwmonDevices("/sys", hwmon::MayClaim)); }),
              expected);
    EXPECT_EQ(RunFunctionInTree(root,
                                [] {
                                  return Describe(hwmon::ScanHwmonDevices(
                                      "/sys", [](std::string_view) { return false; }));
                                }),
              "");
  }
}

TEST(SensorsLibrary, NoHwmonAtAllIsNoChipAndNoWarning) {
  std::string error;
  auto none = sim::SimulatedBoard::Parse(R"({"chip": "none"})", "none.json", &error);
  ASSERT_NE(none, nullptr) << error;
  const fs::path root =
      fs::path(testing::TempDir()) / ("hwmon-empty-" + std::to_string(::getpid()));
  fs::remove_all(root);
  sim::ExportKernelTree(*none, root);
  EXPECT_EQ(ChipsAndWarnings(root), "rescan\n");
}

TEST(SensorsLibrary, BrokenConfigurationCostsOneWarningAndNoChip) {
  const DriverTree tree = DriverTrees()[0];
  const fs::path root = ExportTree(tree.board, tree.options, "broken-config");
  const fs::path sensorsD = root / "etc-sensors.d";
  fs::create_directories(sensorsD);
  std::ofstream(sensorsD / "board.conf") << "chip \"w83782d-*\"\n    label in0 \"VCore\n";
  const fs::path conf = root / "sensors3.conf";
  std::ofstream(conf) << "chip \"w83782d-*\"\n  compute in3 @*,\n";
  struct Row {
    const char* name;
    std::vector<BindMount> mounts;
    const char* file;  // named in the warning
  };
  const Row rows[] = {
      {"sensors.d", {{sensorsD, "/etc/sensors.d"}}, "/etc/sensors.d/board.conf"},
      {"sensors3.conf", {{conf, "/etc/sensors3.conf"}}, "/etc/sensors3.conf"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string expected = Describe(tree.chip);
    const std::string seen = ChipsAndWarnings(root, row.mounts);
    ASSERT_EQ(seen.substr(0, (expected + "rescan\n" + expected).size()),
              expected + "rescan\n" + expected);
    const std::string warnings = seen.substr((expected + "rescan\n" + expected).size());
    EXPECT_EQ(warnings.find("warning: the sensors configuration has an error ("), 0u) << warnings;
    EXPECT_NE(warnings.find(row.file), std::string::npos) << warnings;
    EXPECT_EQ(warnings.find('\n'), warnings.size() - 1) << "one warning only: " << warnings;
  }
}

TEST(SensorsLibrary, FatalErrorReturnsToTheCallerAndStopsTheLibrary) {
  const DriverTree tree = DriverTrees()[3];
  const fs::path root = ExportTree(tree.board, tree.options, "fatal");
  // In a child: the failure is for the whole process.
  const std::string seen = RunFunctionInTree(root, [] {
    std::string text, warnings;
    SensorsLibrary library([&](const std::string& w) { warnings += w + "\n"; });
    text += std::to_string(library.Chips().size()) + " chip\n";
    try {
      SensorsLibrary second(nullptr);
      text += "a second owner was allowed\n";
    } catch (const std::logic_error&) {
      text += "one owner\n";
    }
    // What libsensors does when memory runs out.
    auto outOfMemory = +[](int) -> int {
      sensors_fatal_error("sensors_read_dynamic_chip", "Out of memory");
      return 1;
    };
    int result = 0;
    text += hwmon::GuardedCall(&result, outOfMemory, 0) ? "returned\n" : "guarded\n";
    text += hwmon::LibsensorsFailure() + "\n";
    library.Rescan();
    text += std::to_string(library.Chips().size()) + " chips after\n";
    library.Rescan();
    return text + warnings;
  });
  EXPECT_EQ(seen,
            "1 chip\none owner\nguarded\nsensors_read_dynamic_chip: Out of memory\n"
            "0 chips after\n"
            "libsensors failed (sensors_read_dynamic_chip: Out of memory); the kernel's sensors "
            "are not read\n");
}

}  // namespace
}  // namespace velmo::test
