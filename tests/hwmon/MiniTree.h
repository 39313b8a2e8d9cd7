// A small hand-made hwmon tree in a temporary folder: one device of one driver in the old layout
// (attributes and name in the device folder, hwmonN a link to <device>/hwmon/hwmonN with a
// `device` link back), so tests can delete, rewrite and renumber it between reads.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace velmo::test {

class MiniTree {
 public:
  // `deviceDir` relative to sys/devices, e.g. "platform/w83627hf.656" or
  // "pci0000:00/0000:00:07.3/i2c-0/0-002d".
  MiniTree(std::string name, std::string deviceDir) : name_(std::move(name)), dev_(deviceDir) {
    char pattern[] = "/tmp/velmo-hwmon-XXXXXX";
    root_ = mkdtemp(pattern);
    std::filesystem::permissions(root_, std::filesystem::perms(0755));
  }
  ~MiniTree() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path DeviceDir() const { return root_ / "sys/devices" / dev_; }

  // Writes the device with these attributes as hwmon<index>, replacing what was there.
  void Write(const std::map<std::string, std::string>& attributes, unsigned index = 0) {
    Remove();
    namespace fs = std::filesystem;
    const fs::path hw = DeviceDir() / "hwmon" / ("hwmon" + std::to_string(index));
    fs::create_directories(hw);
    fs::create_directories(root_ / "sys/class/hwmon");
    fs::create_symlink("../..", hw / "device");
    fs::create_symlink(fs::relative(hw, root_ / "sys/class/hwmon"),
                       root_ / "sys/class/hwmon" / ("hwmon" + std::to_string(index)));
    Set("name", name_);
    for (const auto& [file, value] : attributes)
      Set(file, value);
  }
  void Set(const std::string& file, const std::string& value) {
    std::ofstream(DeviceDir() / file) << value << '\n';
  }
  std::string Get(const std::string& file) const {
    std::ifstream in(DeviceDir() / file);
    std::string line;
    std::getline(in, line);
    return line;
  }
  // The device and its class entry vanish, as on a driver unload.
  void Remove() {
    std::error_code ec;
    std::filesystem::remove_all(root_ / "sys", ec);
  }

 private:
  std::filesystem::path root_;
  std::string name_;
  std::string dev_;
};

}  // namespace velmo::test
