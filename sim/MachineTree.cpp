#include "sim/MachineTree.h"

#include <nlohmann/json.hpp>

#include <fstream>

namespace velmo::sim {

namespace fs = std::filesystem;

namespace {

// A path from the file that stays inside the folder it is joined to.
bool Contained(const std::string& path) {
  if (path.empty() || path.front() == '/') return false;
  for (const auto& part : fs::path(path))
    if (part == "..") return false;
  return true;
}

}  // namespace

bool ExportMachineTree(const fs::path& machineFile, const fs::path& root, std::string* error) {
  std::ifstream in(machineFile);
  if (!in) {
    *error = "cannot read " + machineFile.string();
    return false;
  }
  const nlohmann::json doc = nlohmann::json::parse(in, nullptr, false, true);
  if (!doc.is_object() || !doc.contains("devices") || !doc["devices"].is_array()) {
    *error = machineFile.string() + ": not a machine file (an object with a \"devices\" list)";
    return false;
  }
  fs::create_directories(root / "sys/class/hwmon");
  int next = 0;
  for (const nlohmann::json& d : doc["devices"]) {
    if (!d.is_object() || !d.value("name", nlohmann::json()).is_string() ||
        !d.value("device", nlohmann::json()).is_string() ||
        !Contained(d["device"].get<std::string>())) {
      *error = machineFile.string() + ": a device needs a \"name\" and a relative \"device\"";
      return false;
    }
    const int index = d.value("hwmon", next);
    next = index + 1;
    const fs::path dev = root / "sys/devices" / d["device"].get<std::string>();
    const std::string hwmonN = "hwmon" + std::to_string(index);
    const fs::path hw = dev / "hwmon" / hwmonN;
    fs::create_directories(hw);
    const std::string subsystem = d.value("subsystem", std::string());
    if (!subsystem.empty()) {
      fs::create_symlink("../..", hw / "device");
      if (!fs::exists(fs::symlink_status(dev / "subsystem")))
        fs::create_symlink("/sys/bus/" + subsystem, dev / "subsystem");
    }
    fs::create_symlink(fs::relative(hw, root / "sys/class/hwmon"),
                       root / "sys/class/hwmon" / hwmonN);
    std::ofstream(hw / "name") << d["name"].get<std::string>() << '\n';
    const nlohmann::json attributes =
        d.contains("attributes") ? d["attributes"] : nlohmann::json::object();
    if (!attributes.is_object()) {
      *error = machineFile.string() + ": \"attributes\" must be an object";
      return false;
    }
    for (const auto& [file, value] : attributes.items()) {
      if (!Contained(file) || file.find('/') != std::string::npos) {
        *error = machineFile.string() + ": attribute \"" + file + "\" is not a file name";
        return false;
      }
      std::ofstream(hw / file) << (value.is_string() ? value.get<std::string>() : value.dump())
                               << '\n';
    }
  }
  return true;
}

}  // namespace velmo::sim
