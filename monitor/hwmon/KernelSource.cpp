#include "monitor/hwmon/KernelSource.h"

namespace velmo::hwmon {

std::optional<HwmonDevice> KernelOwnedChip(const std::filesystem::path& root) {
  std::vector<HwmonDevice> chips = FindKernelChips(root);
  if (chips.empty()) return std::nullopt;
  return chips.front();
}

KernelSource MakeKernelSource(hw::PortBackend& inner, HwmonDevice device,
                              KernelChipBackend::Warn warn, const std::filesystem::path& root) {
  KernelSource source;
  source.files = std::make_unique<SysfsAttributeFiles>();
  source.backend = std::make_unique<KernelChipBackend>(inner, std::move(device), root,
                                                       *source.files, std::move(warn));
  return source;
}

std::string DescribeKernelSource(const HwmonDevice& device) {
  return std::string("the kernel's ") + KernelChipName(device.key.chip) + " driver (" +
         SensorsChipName(device.key) + ", " + device.classEntry.string() + ")";
}

}  // namespace velmo::hwmon
