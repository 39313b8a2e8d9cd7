// Small hwmon trees of today's machines, written in a temporary folder: each device in the
// current layout (attributes and `name` in <device>/hwmon/hwmonN, a `device` link to the device
// with its `subsystem` link), or a virtual device with no `device` link, as thermal zones are.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

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

}  // namespace velmo::test
