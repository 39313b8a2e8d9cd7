#include "monitor/hwmon/KernelSource.h"

#include <algorithm>
#include <fstream>

#include "monitor/hwmon/HwmonScan.h"
#include "monitor/hwmon/KernelOwnership.h"
#include "monitor/hwmon/SensorsLibrary.h"

namespace velmo::hwmon {

std::optional<HwmonDevice> KernelOwnedChip(const std::filesystem::path& root) {
  // The devices the ownership guard counts (KernelOwnership.h), so the ports a guard refuses and
  // the chip this source reads are always the same one.
  return FirstOwnedChip(ScanHwmonDevices(root / "sys", MayClaim), root);
}

std::optional<HwmonDevice> KernelOwnedChipOnMachine(const base::WarningSink& warn) {
  const SensorsLibrary library(warn);
  return KernelOwnedChipOnMachine(library);
}

std::optional<HwmonDevice> KernelOwnedChipOnMachine(const SensorsLibrary& library) {
  std::vector<KernelChip> chips = library.Chips();
  for (const KernelChip& chip : ScanHwmonDevices("/sys", MayClaim)) {
    if (std::find(chips.begin(), chips.end(), chip) == chips.end()) chips.push_back(chip);
  }
  return FirstOwnedChip(chips, "/");
}

std::optional<HwmonDevice> FirstOwnedChip(const std::vector<KernelChip>& chips,
                                          const std::filesystem::path& root) {
  for (const KernelChip& chip : chips) {
    if (!OwnershipClaim(chip)) continue;
    const std::optional<ChipDriver> driver = ChipDriverFromName(chip.prefix);
    if (!driver) continue;
    KernelChipKey key;
    key.chip = *driver;
    key.i2c = chip.bus == BusKind::I2c;
    key.busNumber = static_cast<uint32_t>(chip.busNumber);
    key.address = chip.address;
    if (std::optional<HwmonDevice> device = FindKernelChip(root, key)) return device;
  }
  return std::nullopt;
}

KernelSource MakeKernelSource(hw::PortBackend& inner, HwmonDevice device, base::WarningSink warn,
                              const std::filesystem::path& root) {
  KernelSource source;
  source.files = std::make_unique<SysfsAttributeFiles>();
  source.backend = std::make_unique<KernelChipBackend>(inner, std::move(device), root,
                                                       *source.files, std::move(warn));
  return source;
}

std::string DescribeKernelSource(const HwmonDevice& device) {
  return std::string("the kernel's ") + ChipDriverName(device.key.chip) + " driver (" +
         SensorsChipName(device.key) + ", " + device.classEntry.string() + ")";
}

nlohmann::ordered_json SensorsJsonForKernelChip(nlohmann::ordered_json json,
                                                const HwmonDevice& device,
                                                const std::filesystem::path& root) {
  std::string adapter = "ISA adapter";
  if (device.key.i2c) {
    // lm-sensors names an I2C chip's adapter by the adapter's own name.
    std::ifstream in(root / "sys/class/i2c-adapter" /
                     ("i2c-" + std::to_string(device.key.busNumber)) / "name");
    if (!in || !std::getline(in, adapter) || adapter.empty()) adapter = "Unknown adapter";
  }
  nlohmann::ordered_json out;
  for (auto& [name, chip] : json.items()) {
    nlohmann::ordered_json renamed;
    renamed["Adapter"] = adapter;
    for (auto& [feature, value] : chip.items())
      if (feature != "Adapter") renamed[feature] = value;
    out[SensorsChipName(device.key)] = std::move(renamed);
  }
  return out;
}

}  // namespace velmo::hwmon
