#include "monitor/hwmon/HwmonDevice.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace velmo::hwmon {

namespace fs = std::filesystem;

namespace {

struct NamedChip {
  const char* name;
  ChipDriver chip;
};
constexpr NamedChip kChips[] = {{"w83781d", ChipDriver::kW83781d},
                                {"w83782d", ChipDriver::kW83782d},
                                {"w83627hf", ChipDriver::kW83627hf},
                                {"via686a", ChipDriver::kVia686a},
                                {"sis5595", ChipDriver::kSis5595}};

std::optional<std::string> FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

bool ParseNumber(std::string_view text, int base, uint32_t* out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
  return ec == std::errc() && end == text.data() + text.size();
}

// "0-002d" (I2C adapter 0, address 0x2d) or "w83627hf.656" (platform id = ISA base, decimal).
bool ParseBusAddress(const std::string& deviceName, KernelChipKey* key) {
  const size_t dash = deviceName.find('-');
  if (dash != std::string::npos && deviceName.size() - dash - 1 == 4) {
    uint32_t bus = 0, address = 0;
    if (ParseNumber(std::string_view(deviceName).substr(0, dash), 10, &bus) &&
        ParseNumber(std::string_view(deviceName).substr(dash + 1), 16, &address)) {
      key->i2c = true;
      key->busNumber = bus;
      key->address = address;
      return true;
    }
  }
  const size_t dot = deviceName.rfind('.');
  uint32_t address = 0;
  if (dot != std::string::npos &&
      ParseNumber(std::string_view(deviceName).substr(dot + 1), 10, &address)) {
    key->i2c = false;
    key->address = address;
    return true;
  }
  return false;
}

uint32_t HwmonNumber(const fs::path& entry) {
  uint32_t n = 0;
  const std::string name = entry.filename().string();
  if (name.rfind("hwmon", 0) == 0) ParseNumber(std::string_view(name).substr(5), 10, &n);
  return n;
}

std::optional<HwmonDevice> ReadDevice(const fs::path& entry) {
  std::error_code ec;
  const fs::path device = entry / "device";
  // The old drivers keep their attributes and name in the parent device's folder.
  fs::path attributes = entry;
  std::optional<std::string> name = FirstLine(entry / "name");
  if (!name) {
    attributes = device;
    name = FirstLine(device / "name");
  }
  if (!name) return std::nullopt;
  const std::optional<ChipDriver> chip = ChipDriverFromName(*name);
  if (!chip) return std::nullopt;
  const fs::path deviceDir = fs::canonical(device, ec);
  if (ec) return std::nullopt;
  HwmonDevice found;
  found.key.chip = *chip;
  if (!ParseBusAddress(deviceDir.filename().string(), &found.key)) return std::nullopt;
  // Kept resolved: the attributes then no longer depend on the hwmonN link.
  found.attributes = fs::canonical(attributes, ec);
  if (ec) return std::nullopt;
  found.classEntry = entry;
  return found;
}

}  // namespace

std::optional<ChipDriver> ChipDriverFromName(const std::string& name) {
  for (const NamedChip& c : kChips)
    if (name == c.name) return c.chip;
  return std::nullopt;
}

const char* ChipDriverName(ChipDriver chip) {
  for (const NamedChip& c : kChips)
    if (chip == c.chip) return c.name;
  return "";
}

std::string SensorsChipName(const KernelChipKey& key) {
  char text[64];
  if (key.i2c)
    std::snprintf(text, sizeof text, "%s-i2c-%u-%02x", ChipDriverName(key.chip), key.busNumber,
                  key.address);
  else
    std::snprintf(text, sizeof text, "%s-isa-%04x", ChipDriverName(key.chip), key.address);
  return text;
}

std::vector<HwmonDevice> FindKernelChips(const fs::path& root) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::directory_iterator it(root / "sys/class/hwmon", ec), end; !ec && it != end;
       it.increment(ec))
    entries.push_back(it->path());
  std::sort(entries.begin(), entries.end(),
            [](const fs::path& a, const fs::path& b) { return HwmonNumber(a) < HwmonNumber(b); });
  std::vector<HwmonDevice> found;
  for (const fs::path& entry : entries)
    if (std::optional<HwmonDevice> device = ReadDevice(entry)) found.push_back(*device);
  return found;
}

std::optional<HwmonDevice> FindKernelChip(const fs::path& root, const KernelChipKey& key) {
  for (HwmonDevice& device : FindKernelChips(root))
    if (device.key == key) return device;
  return std::nullopt;
}

}  // namespace velmo::hwmon
