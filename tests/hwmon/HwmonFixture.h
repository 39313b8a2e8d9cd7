// Small hwmon trees of today's machines, written in a temporary folder: each device in the
// current layout (attributes and `name` in <device>/hwmon/hwmonN, a `device` link to the device
// with its `subsystem` link), or a virtual device with no `device` link, as thermal zones are.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "monitor/hwmon/SensorFeatures.h"

namespace velmo::test {

class HwmonFixture {
 public:
  HwmonFixture() {
    char pattern[] = "/tmp/velmo-fixture-XXXXXX";
    root_ = mkdtemp(pattern);
    std::filesystem::permissions(root_, std::filesystem::perms(0755));
    std::filesystem::create_directories(root_ / "sys/class/hwmon");
  }
  ~HwmonFixture() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  HwmonFixture(const HwmonFixture&) = delete;
  HwmonFixture& operator=(const HwmonFixture&) = delete;
  const std::filesystem::path& Root() const { return root_; }

  // `device` relative to sys/devices ("platform/nct6775.656", "pci0000:00/0000:00:18.3");
  // `subsystem` "platform", "pci" or "" for a virtual device (then `device` is its folder).
  void Add(const std::string& name, const std::string& device, const std::string& subsystem,
           const std::map<std::string, std::string>& attributes) {
    namespace fs = std::filesystem;
    const fs::path dev = root_ / "sys/devices" / device;
    const std::string hwmonN = "hwmon" + std::to_string(count_++);
    const fs::path hw = dev / "hwmon" / hwmonN;
    fs::create_directories(hw);
    if (!subsystem.empty()) {
      fs::create_symlink("../..", hw / "device");
      if (!fs::exists(fs::symlink_status(dev / "subsystem")))
        fs::create_symlink("/sys/bus/" + subsystem, dev / "subsystem");
    }
    fs::create_symlink(fs::relative(hw, root_ / "sys/class/hwmon"),
                       root_ / "sys/class/hwmon" / hwmonN);
    std::ofstream(hw / "name") << name << '\n';
    for (const auto& [file, value] : attributes)
      std::ofstream(hw / file) << value << '\n';
  }

 private:
  std::filesystem::path root_;
  int count_ = 0;
};

// A feature of the chip named as `sensors` names it ("nct6798-isa-0290"); its driver's name is
// the name's first part.
inline hwmon::SensorFeature FeatureOfChip(const char* chip, const char* name, const char* label,
                                          hwmon::FeatureKind kind, std::optional<double> value) {
  hwmon::SensorFeature f;
  f.chip = chip;
  f.prefix = std::string(chip).substr(0, std::string(chip).find('-'));
  f.name = name;
  f.label = label;
  f.kind = kind;
  f.value = value;
  return f;
}

// The public projects' real trees: in the shared folder beside the checkout, or where
// VELMO_HWMON_FIXTURES says. Read there, never copied into the project.
inline std::filesystem::path PublicFixturesDir() {
  const char* env = std::getenv("VELMO_HWMON_FIXTURES");
  return env ? std::filesystem::path(env)
             : std::filesystem::weakly_canonical(std::filesystem::path(VELMO_TEST_DATA_DIR) /
                                                 "../../../shared/hwmon-fixtures");
}

// A copy of `from` at `to`/sys: the shared trees keep their symlinks as files that hold the
// link's target ("../../devices/..."), which no attribute value begins with; those become links.
inline void RebuildTree(const std::filesystem::path& classDir,
                        const std::filesystem::path& devicesDir, const std::filesystem::path& to) {
  namespace fs = std::filesystem;
  for (const auto& [from, name] :
       {std::pair{classDir, "class"}, std::pair{devicesDir, "devices"}}) {
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(from)) {
      const fs::path target = to / "sys" / name / fs::relative(e.path(), from);
      if (e.is_directory()) {
        fs::create_directories(target);
        continue;
      }
      std::ifstream in(e.path());
      std::string first;
      std::getline(in, first);
      if (first.rfind("../", 0) == 0) {
        fs::create_symlink(first, target);
      } else {
        fs::copy_file(e.path(), target);
        fs::permissions(target,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      }
    }
  }
}

}  // namespace velmo::test
