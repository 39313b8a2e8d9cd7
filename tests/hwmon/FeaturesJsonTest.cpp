// `--sensors-json` of the kernel's chips: the document built from the features read, on
// hand-made features and through libsensors on small trees (and, where they can be read, on real
// machines' trees), against what `sensors -j` prints for the same tree and configuration.
#include "monitor/hwmon/FeaturesJson.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "HwmonFixture.h"
#include "monitor/hwmon/SensorFeatures.h"
#include "monitor/hwmon/SensorsLibrary.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;
using hwmon::FeatureKind;
using hwmon::SensorFeature;
using nlohmann::ordered_json;

// A feature of an ISA chip, as the JSON names its adapter.
SensorFeature IsaFeature(const char* chip, const char* name, const char* label, FeatureKind kind,
                         std::optional<double> value) {
  SensorFeature f = FeatureOfChip(chip, name, label, kind, value);
  f.adapter = "ISA adapter";
  return f;
}

TEST(FeaturesJson, ChipsFeaturesAndSubkeysInSensorsOrder) {
  SensorFeature vcore =
      IsaFeature("nct6798-isa-0290", "in0", "Vcore", FeatureKind::kVoltage, 1.0246);
  vcore.minimum = 0.8;
  vcore.maximum = 1.5;
  vcore.critical = 1.6;
  SensorFeature fan = IsaFeature("nct6798-isa-0290", "fan2", "fan2", FeatureKind::kFan, 1150.0);
  fan.minimum = 300.0;
  SensorFeature tctl = IsaFeature("k10temp-pci-00c3", "temp1", "Tctl", FeatureKind::kTemperature,
                                  45.2504);  // rounds as "%.3f" does
  tctl.minimum = -5.0;
  tctl.maximum = 70.0;
  tctl.critical = 95.0;
  tctl.adapter = "PCI adapter";
  SensorFeature unreadable =
      IsaFeature("k10temp-pci-00c3", "temp3", "Tccd1", FeatureKind::kTemperature, std::nullopt);
  unreadable.adapter = "PCI adapter";
  SensorFeature unnamedBus =
      IsaFeature("acpitz-acpi-0", "temp1", "temp1", FeatureKind::kTemperature, 27.8);
  unnamedBus.adapter.clear();
  const ordered_json expected = ordered_json::parse(R"({
    "nct6798-isa-0290": {"Adapter": "ISA adapter",
      "Vcore": {"in0_input": 1.025, "in0_min": 0.8, "in0_max": 1.5, "in0_crit": 1.6},
      "fan2": {"fan2_input": 1150.0, "fan2_min": 300.0}},
    "k10temp-pci-00c3": {"Adapter": "PCI adapter",
      "Tctl": {"temp1_input": 45.25, "temp1_max": 70.0, "temp1_min": -5.0, "temp1_crit": 95.0},
      "Tccd1": {}},
    "acpitz-acpi-0": {"temp1": {"temp1_input": 27.8}}
  })");
  EXPECT_EQ(hwmon::SensorsJsonOfFeatures({vcore, fan, tctl, unreadable, unnamedBus}), expected);
  EXPECT_EQ(hwmon::SensorsJsonOfFeatures({}), ordered_json::object());
}

// `sensors -j` cut down to what a SensorFeature carries: fan, voltage and temperature features
// with their _input, _min, _max and _crit; chips left with none of those go.
ordered_json CarriedPart(const ordered_json& sensors) {
  static const std::regex kKind("(fan|in|temp)[0-9]+_.*");
  static const std::regex kCarried("(fan|in|temp)[0-9]+_(input|min|max|crit)");
  ordered_json out = ordered_json::object();
  for (const auto& [chipName, chip] : sensors.items()) {
    ordered_json kept = ordered_json::object();
    for (const auto& [key, feature] : chip.items()) {
      if (key == "Adapter") {
        kept[key] = feature;
        continue;
      }
      bool ofKind = false;
      ordered_json sub = ordered_json::object();
      for (const auto& [name, value] : feature.items()) {
        ofKind = ofKind || std::regex_match(name, kKind);
        if (std::regex_match(name, kCarried)) sub[name] = value;
      }
      if (ofKind) kept[key] = std::move(sub);
    }
    if (kept.size() > (kept.contains("Adapter") ? 1u : 0u)) out[chipName] = std::move(kept);
  }
  return out;
}

// Ours and `sensors -j`'s for the tree at `root`, as parsed documents.
std::pair<ordered_json, ordered_json> BothInTree(const fs::path& root,
                                                 const std::vector<BindMount>& mounts) {
  const std::string ours = RunFunctionInTree(
      root,
      [] {
        hwmon::SensorsLibrary library([](const std::string&) {});
        hwmon::LibsensorsFeatureSource source(library);
        return hwmon::SensorsJsonOfFeatures(source.Features()).dump();
      },
      mounts);
  const ProgramRun sensors = RunInTree(root, {"sensors", "-j"}, mounts);
  EXPECT_EQ(sensors.status, 0) << sensors.err;
  return {ordered_json::parse(ours), CarriedPart(ordered_json::parse(sensors.out))};
}

void Desktop(HwmonFixture& t) {
  t.Add("nct6798", "platform/nct6775.656", "platform",
        {{"in0_input", "1024"},
         {"in0_min", "800"},
         {"in0_max", "1500"},
         {"in1_input", "1008"},
         {"in1_crit", "1800"},
         {"fan1_input", "0"},
         {"fan2_input", "1150"},
         {"fan2_min", "300"},
         {"temp1_input", "34000"},
         {"temp1_label", "SYSTIN"},
         {"temp1_max", "80000"},
         {"temp1_max_hyst", "75000"},
         {"temp1_alarm", "0"},
         {"temp2_input", "40500"},
         {"temp2_label", "CPUTIN"},
         {"temp2_min", "-5000"},
         {"temp2_crit", "100000"},
         {"intrusion0_alarm", "1"}});
  t.Add("k10temp", "pci0000:00/0000:00:18.3", "pci",
        {{"temp1_input", "45250"},
         {"temp1_max", "70000"},
         {"temp1_crit", "95000"},
         {"temp1_label", "Tctl"},
         {"temp3_input", "38125"},
         {"temp3_label", "Tccd1"}});
  t.Add("amdgpu", "pci0000:00/0000:00:03.1/0000:0a:00.0", "pci",
        {{"temp1_input", "51000"},
         {"temp1_label", "edge"},
         {"in0_input", "800"},
         {"in0_label", "vddgfx"},
         {"power1_average", "25000000"},
         {"fan1_input", "0"}});
  t.Add("acpitz", "virtual/thermal/thermal_zone0", "", {{"temp1_input", "27800"}});
  t.Add("bat", "virtual/power_supply/BAT0", "", {{"curr1_input", "1200"}});  // no carried kind
}

TEST(FeaturesJson, TreesAsSensorsPrintsThem) {
  const struct {
    const char* name;
    const char* config;  // a file for /etc/sensors.d, or nullptr
  } rows[] = {
      {"desktop", nullptr},
      {"desktop with labels, compute and ignore",
       "chip \"nct6798-*\"\n  label in1 \"+5V\"\n  compute in1 @*5, @/5\n  ignore temp2\n"
       "chip \"k10temp-*\"\n  label temp3 \"CCD 1\"\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HwmonFixture fixture;
    Desktop(fixture);
    const fs::path sensorsD = fixture.Root() / "sensors.d";
    fs::create_directories(sensorsD);
    if (row.config) std::ofstream(sensorsD / "tree.conf") << row.config;
    const auto [ours, sensors] = BothInTree(fixture.Root(), {{sensorsD, "/etc/sensors.d"}});
    EXPECT_EQ(ours.dump(2), sensors.dump(2));
    // What the comparison rests on is there: four chips, their adapters, a configured label.
    EXPECT_EQ(ours.size(), 4u) << ours.dump(2);
    EXPECT_EQ(ours.value("k10temp-pci-00c3", ordered_json::object()).value("Adapter", ""),
              "PCI adapter");
    EXPECT_EQ(ours.value("nct6798-isa-0290", ordered_json::object()).value("Adapter", ""),
              "ISA adapter");
    EXPECT_EQ(ours.value("acpitz-virtual-0", ordered_json::object()).value("Adapter", ""),
              "Virtual device");
    if (row.config) {
      EXPECT_EQ(ours["nct6798-isa-0290"]["+5V"]["in1_input"], 5.04) << ours.dump(2);
      EXPECT_TRUE(ours["k10temp-pci-00c3"].contains("CCD 1")) << ours.dump(2);
      EXPECT_FALSE(ours["nct6798-isa-0290"].contains("CPUTIN")) << ours.dump(2);
    }
  }
}

TEST(FeaturesJson, IdentifyPrintsTheKernelsChipsWhereNoChipOfTheMakerIsFound) {
  HwmonFixture fixture;
  Desktop(fixture);
  const fs::path sensorsD = fixture.Root() / "sensors.d";
  fs::create_directories(sensorsD);
  // A board without a monitor chip that hands the machine's hwmon over.
  std::ifstream in(std::string(VELMO_BOARD_DIR) + "/none.json");
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_NE(body.rfind('}'), std::string::npos);
  body.insert(body.rfind('}'), ", \"hwmon\": true\n");
  const fs::path board = fixture.Root() / "none-hwmon.json";
  std::ofstream(board) << body;
  const std::string identify = std::string(VELMO_BINARY_DIR) + "/tools/velmo-identify";
  const std::vector<BindMount> mounts = {{sensorsD, "/etc/sensors.d"}};
  const ProgramRun run =
      RunInTree(fixture.Root(), {identify, "--sensors-json", "--board", board.string()}, mounts);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto [ours, sensors] = BothInTree(fixture.Root(), mounts);
  EXPECT_EQ(ordered_json::parse(run.out).dump(2), sensors.dump(2));

  // The same board without "hwmon" never looks at the machine's sensors.
  const ProgramRun without = RunInTree(
      fixture.Root(),
      {identify, "--sensors-json", "--board", std::string(VELMO_BOARD_DIR) + "/none.json"}, mounts);
  EXPECT_EQ(without.status, 3) << without.out;
  EXPECT_EQ(without.out, "");
}

// Real machines' trees from public projects, read where they are and never copied here.
TEST(FeaturesJson, PublicTreesAsSensorsPrintsThem) {
  const fs::path shared = PublicFixturesDir();
  if (!fs::is_directory(shared)) GTEST_SKIP() << "no " << shared;
  HwmonFixture empty;
  const fs::path sensorsD = empty.Root() / "sensors.d";
  fs::create_directories(sensorsD);
  const fs::path node = empty.Root() / "node_exporter";
  RebuildTree(shared / "node_exporter/tree/sys/class", shared / "node_exporter/tree/sys/devices",
              node);
  const fs::path laptop = empty.Root() / "laptop";
  RebuildTree(shared / "lm-sensors-laptop/laptop/class",
              shared / "lm-sensors-laptop/laptop/devices", laptop);
  for (const fs::path& root : {node, laptop}) {
    SCOPED_TRACE(root);
    const auto [ours, sensors] = BothInTree(root, {{sensorsD, "/etc/sensors.d"}});
    EXPECT_EQ(ours.dump(2), sensors.dump(2));
    EXPECT_GE(ours.size(), 2u) << ours.dump(2);
  }
}

}  // namespace
}  // namespace velmo::test
