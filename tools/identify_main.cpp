// velmo-identify: identifies the board and the monitor chip (of a simulated board or of this
// machine) and prints what it found; a quick check before running the monitor.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "monitor/core/Acquisition.h"
#include "monitor/core/ChannelTable.h"
#include "monitor/core/ExtensionSettings.h"
#include "monitor/core/Identification.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/SensorsJson.h"
#include "monitor/core/boards/ChipTable.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/LinuxBus.h"
#include "monitor/hw/PortAccess.h"
#include "monitor/hwmon/ChannelMapping.h"
#include "monitor/hwmon/FeaturesJson.h"
#include "monitor/hwmon/KernelSource.h"
#include "monitor/hwmon/SensorFeatures.h"
#include "monitor/hwmon/SensorsLibrary.h"
#include "monitor/hwmon/UserMapping.h"
#include "sim/SimulatedBoard.h"

namespace {

class ConsoleHost : public velmo::hw::HwHost {
 public:
  void ShowMessage(const std::string& text, const std::string& caption) override {
    std::cerr << caption << ": " << text << '\n';
  }
  void EndProgram(int exitCode) override { throw velmo::hw::ProgramEnd{exitCode}; }
};

void Warn(const std::string& line) {
  std::cerr << "velmo-identify: " << line << '\n';
}

// The user's Sensor_<CHANNEL> choices from the settings file (read only; a missing file or key
// leaves every channel to the default mapping).
velmo::hwmon::UserMapping LoadUserMapping(const std::string& registryPath) {
  velmo::core::RegistryFile registry(registryPath.empty() ? velmo::core::RegistryFile::DefaultPath()
                                                          : registryPath);
  // Only the sensor choices matter here: the other settings' warnings are the monitor's to give.
  const velmo::core::ExtensionSettings settings =
      velmo::core::LoadExtensionSettings(registry, [](const std::string& line) {
        if (line.find("\"Sensor_") != std::string::npos) Warn(line);
      });
  return velmo::hwmon::ParseUserMapping(settings.channelSensors, Warn);
}

// Every chip and feature libsensors finds, with its label, value and the channel it feeds under
// the user's mapping.
int ListKernelSensors(const std::string& registryPath) {
  namespace hwmon = velmo::hwmon;
  const hwmon::UserMapping user = LoadUserMapping(registryPath);
  hwmon::SensorsLibrary library(Warn);
  hwmon::LibsensorsFeatureSource source(library);
  const std::vector<hwmon::SensorFeature> features = source.Features();
  std::vector<int> unmatched;
  const hwmon::ChannelAssignment assignment = hwmon::MapChannels(features, user, &unmatched);
  for (const int c : unmatched) {
    Warn(std::string("Sensor_") + hwmon::MappedChannelName(c) + ": \"" +
         hwmon::DescribeChoice(*user[c]) + "\" matches no sensor; the channel is absent");
  }
  std::string chip;
  for (size_t i = 0; i < features.size(); ++i) {
    const hwmon::SensorFeature& f = features[i];
    if (f.chip != chip) {
      chip = f.chip;
      std::printf("%s\n", chip.c_str());
    }
    const char* unit = f.kind == hwmon::FeatureKind::kFan       ? "RPM"
                       : f.kind == hwmon::FeatureKind::kVoltage ? "V"
                                                                : "C";
    std::string value = "no value";
    if (f.value) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.3f %s", *f.value, unit);
      value = buffer;
    }
    std::string channel = "-";
    for (int c = 0; c < hwmon::kMappedChannels; ++c) {
      if (assignment[c] == i) channel = velmo::core::ChannelName(c);
    }
    std::printf("  %-8s %-20s %-16s %s\n", f.name.c_str(), ("\"" + f.label + "\"").c_str(),
                value.c_str(), channel.c_str());
  }
  if (features.empty()) std::printf("no kernel sensors\n");
  return 0;
}

// The kernel's chips as `sensors -j` prints them; 3 when the kernel has no sensors either.
int PrintKernelSensorsJson() {
  namespace hwmon = velmo::hwmon;
  hwmon::SensorsLibrary library(
      [](const std::string& line) { std::cerr << "velmo-identify: " << line << '\n'; });
  hwmon::LibsensorsFeatureSource source(library);
  const std::vector<hwmon::SensorFeature> features = source.Features();
  if (features.empty()) {
    std::cerr << "velmo-identify: no supported monitor chip and no kernel sensors\n";
    return 3;
  }
  std::printf("%s\n", hwmon::SensorsJsonOfFeatures(features).dump(3).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string boardPath;
  bool sensorsJson = false;
  CLI::App cli{"Identifies the main board and its hardware-monitor chip", "velmo-identify"};
  cli.add_option("--board", boardPath, "simulated board file instead of this machine");
  cli.add_flag("--sensors-json", sensorsJson,
               "read every channel once and print it as `sensors -j` does");
  bool kernelSensors = false;
  cli.add_flag("--kernel-sensors", kernelSensors,
               "list the kernel's sensors and the channel each one feeds");
  std::string registryPath;
  cli.add_option("--registry", registryPath,
                 "settings file whose Sensor_<CHANNEL> values choose sensors (--kernel-sensors)");
  CLI11_PARSE(cli, argc, argv);
  if (kernelSensors) return ListKernelSensors(registryPath);

  std::unique_ptr<velmo::hw::Bus> bus;
  std::string error;
  // The machine's hwmon counts for this machine, and for a board whose file hands it over.
  bool machineHwmon = boardPath.empty();
  std::vector<velmo::hw::PortClaim> claims;
  if (!boardPath.empty()) {
    auto board = velmo::sim::SimulatedBoard::Load(boardPath, &error);
    machineHwmon = board && board->UsesMachineHwmon();
    bus = std::move(board);
  } else if (auto machine = velmo::hw::OpenMachineBus(&error)) {
    if (!machine->Kernel().reason.empty())
      std::cerr << "velmo-identify: " << machine->Kernel().reason << '\n';
    claims = machine->Claims();
    bus = std::move(machine);
  }
  if (!bus) {
    std::cerr << "velmo-identify: " << error << '\n';
    return 1;
  }
  ConsoleHost host;
  velmo::hw::DirectBackend direct(*bus);
  velmo::hw::PortBackend* backend = &direct;
  std::optional<velmo::hwmon::HwmonDevice> kernelChip;
  if (machineHwmon) {
    kernelChip = velmo::hwmon::KernelOwnedChipOnMachine(
        [](const std::string& line) { std::cerr << "velmo-identify: " << line << '\n'; });
  }
  velmo::hwmon::KernelSource kernel;
  if (kernelChip) {
    kernel = velmo::hwmon::MakeKernelSource(direct, *kernelChip, [](const std::string& line) {
      std::cerr << "velmo-identify: " << line << '\n';
    });
    backend = kernel.backend.get();
    std::cerr << "velmo-identify: reading the chip through "
              << velmo::hwmon::DescribeKernelSource(*kernelChip) << '\n';
  } else {
    for (const velmo::hw::PortClaim& claim : claims)
      std::cerr << "velmo-identify: " << velmo::hw::DescribeClaim(claim) << '\n';
    std::cerr << "velmo-identify: reading the chip through the ports\n";
  }
  velmo::hw::PortAccess ports(*backend, host);
  std::string text;
  velmo::core::MonitorState state;
  try {
    velmo::core::IdentifyHardware(state, ports, &text);
    if (sensorsJson) {
      if (!velmo::core::FindChip(state.hmType)) {
        // Without a chip of the maker, the kernel's sensors are what the monitor runs on.
        if (machineHwmon) return PrintKernelSensorsJson();
        std::cerr << "velmo-identify: no supported monitor chip\n";
        return 3;
      }
      // The chip profile's limits: this tool does not read the monitor's settings.
      velmo::core::PrepareChannelTable(state, ports, nullptr);
      velmo::core::AcquireReadings(state, ports);
      nlohmann::ordered_json json = velmo::core::SensorsJson(state, ports.ChipIoBase());
      // Under the kernel's driver the chip is named as lm-sensors names that device.
      if (kernelChip) json = velmo::hwmon::SensorsJsonForKernelChip(std::move(json), *kernelChip);
      std::printf("%s\n", json.dump(3).c_str());
      return 0;
    }
  } catch (const velmo::hw::ProgramEnd& end) {
    return end.exitCode;
  }
  const int32_t mbModel = state.mbModel, hmType = state.hmType;
  std::printf("board text: \"%s\"\nMBModel:    %d\nHmType:     %d  %s\nChipIoBase: 0x%x\n",
              text.c_str(), mbModel, hmType, velmo::core::ChipDescription(hmType),
              ports.ChipIoBase());
  if (velmo::core::FindChip(hmType)) return 0;
  if (machineHwmon) {
    const velmo::hwmon::SensorsLibrary library([](const std::string&) {});
    if (!library.Chips().empty()) {
      std::cerr << "velmo-identify: no supported monitor chip; velmond runs on the kernel's "
                   "sensors ("
                << library.Chips().size() << " chips; --kernel-sensors lists them)\n";
    }
  }
  return 3;
}
