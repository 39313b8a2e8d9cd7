#include "monitor/hwmon/HwmonScan.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <system_error>

namespace velmo::hwmon {
namespace {

namespace fs = std::filesystem;

// The first line of a small sysfs file; empty when it cannot be read.
std::string ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The basename of the `subsystem` link: "platform", "i2c", "pci", ...
std::string Subsystem(const fs::path& device) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(device / "subsystem", ec);
  return ec ? std::string() : target.filename().string();
}

bool ParseI2cClient(const std::string& name, int32_t* bus, uint32_t* address) {
  int b = 0;
  unsigned a = 0;
  char tail = 0;
  if (std::sscanf(name.c_str(), "%d-%x%c", &b, &a, &tail) != 2 || b < 0) return false;
  *bus = b;
  *address = a;
  return true;
}

// "w83627hf.656": the number after the last dot, in decimal (the ISA base of these drivers).
uint32_t PlatformId(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return 0;
  unsigned long id = 0;
  char tail = 0;
  if (std::sscanf(name.c_str() + dot + 1, "%lu%c", &id, &tail) != 1 || id > UINT32_MAX) return 0;
  return static_cast<uint32_t>(id);
}

bool ParsePci(const std::string& name, uint32_t* address) {
  unsigned domain = 0, bus = 0, slot = 0, fn = 0;
  if (std::sscanf(name.c_str(), "%x:%x:%x.%x", &domain, &bus, &slot, &fn) != 4) return false;
  *address = (domain << 16) + (bus << 8) + (slot << 3) + fn;
  return true;
}

}  // namespace

std::string ChipName(const std::string& prefix, BusKind bus, int32_t busNumber, uint32_t address) {
  char text[64];
  switch (bus) {
    case BusKind::Isa:
    case BusKind::Platform:
      std::snprintf(text, sizeof text, "-isa-%04x", address);
      break;
    case BusKind::I2c:
      std::snprintf(text, sizeof text, "-i2c-%d-%02x", busNumber, address);
      break;
    case BusKind::Pci:
      std::snprintf(text, sizeof text, "-pci-%04x", address);
      break;
    case BusKind::Other:
      std::snprintf(text, sizeof text, "-virtual-0");
      break;
  }
  return prefix + text;
}

std::vector<KernelChip> ScanHwmonDevices(const fs::path& sysRoot,
                                         const std::function<bool(std::string_view)>& wanted) {
  std::vector<KernelChip> chips;
  std::error_code walk;
  for (fs::directory_iterator it(sysRoot / "class/hwmon", walk), end; !walk && it != end;
       it.increment(walk)) {
    const fs::path classDevice = it->path();
    KernelChip chip;
    fs::path device;
    bool deviceResolved = false;
    auto resolveDevice = [&] {
      std::error_code ec;
      if (fs::is_symlink(fs::symlink_status(classDevice / "device", ec)))
        device = fs::canonical(classDevice / "device", ec);
      if (ec) device.clear();
      deviceResolved = true;
    };
    chip.prefix = ReadLine(classDevice / "name");
    chip.path = classDevice;  // as libsensors keeps it
    if (chip.prefix.empty()) {
      resolveDevice();
      if (!device.empty()) {
        chip.prefix = ReadLine(device / "name");
        chip.path = device;
      }
    }
    if (chip.prefix.empty() || (wanted && !wanted(chip.prefix))) continue;
    if (!deviceResolved) resolveDevice();

    const std::string subsystem = device.empty() ? std::string() : Subsystem(device);
    const std::string deviceName = device.filename().string();
    if (subsystem == "i2c" && ParseI2cClient(deviceName, &chip.busNumber, &chip.address)) {
      chip.bus = BusKind::I2c;
    } else if (subsystem == "pci" && ParsePci(deviceName, &chip.address)) {
      chip.bus = BusKind::Pci;
    } else if (subsystem == "platform") {
      chip.bus = BusKind::Platform;
      chip.address = PlatformId(deviceName);
    } else {
      chip.bus = BusKind::Other;
    }
    chip.name = ChipName(chip.prefix, chip.bus, chip.busNumber, chip.address);
    chips.push_back(std::move(chip));
  }
  return chips;
}

}  // namespace velmo::hwmon
