// The default channel mapping: on hand-made features (bogus inputs, fallbacks, unreadable
// values), and through libsensors on small trees of today's machines, checked against what
// `sensors -u` prints for the same tree and configuration.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "HwmonFixture.h"
#include "monitor/core/ChannelTable.h"
#include "monitor/hwmon/ChannelMapping.h"
#include "monitor/hwmon/SensorFeatures.h"
#include "monitor/hwmon/SensorsLibrary.h"
#include "sim/MachineTree.h"
#include "tests/support/KernelTreeNamespace.h"

namespace velmo::test {
namespace {

namespace fs = std::filesystem;
using hwmon::FeatureKind;
using hwmon::SensorFeature;

// The channels mapped, as "CHANNEL=chip/name=value" lines in channel order.
std::string Describe(const hwmon::MappedReading& r) {
  std::string text;
  for (int c = 0; c < hwmon::kMappedChannels; ++c) {
    if (!r.assignment[c]) continue;
    const SensorFeature& f = r.features[*r.assignment[c]];
    text += std::string(core::ChannelName(c)) + "=" + f.chip + "/" + f.name + "=" +
            (r.values[c] ? std::to_string(*r.values[c]) : "none") + "\n";
  }
  return text;
}

class ScriptedSource : public hwmon::SensorFeatureSource {
 public:
  std::vector<SensorFeature> next;
  std::vector<SensorFeature> Features() override { return next; }
};

SensorFeature Feature(const char* prefix, const char* name, const char* label, FeatureKind kind,
                      std::optional<double> value, std::optional<double> minimum = std::nullopt) {
  SensorFeature f;
  f.chip = std::string(prefix) + "-isa-0290";
  f.prefix = prefix;
  f.name = name;
  f.label = label;
  f.kind = kind;
  f.value = value;
  f.minimum = minimum;
  return f;
}

TEST(ChannelMapping, BogusInputsAreNotMappedAndUnreadableIsNoValue) {
  constexpr auto T = FeatureKind::kTemperature;
  constexpr auto F = FeatureKind::kFan;
  constexpr auto V = FeatureKind::kVoltage;
  struct Row {
    const char* name;
    std::vector<SensorFeature> features;
    const char* expected;
  };
  const Row rows[] = {
      {"floating -128 falls through to the next rule",
       {Feature("nct6798", "temp1", "SYSTIN", T, -128.0),
        Feature("acpitz", "temp1", "temp1", T, 30.5)},
       "SYSTEMP=acpitz-isa-0290/temp1=31\n"},
      {"floating -62 and +127 are not mapped",
       {Feature("nct6798", "temp1", "SYSTIN", T, -62.0),
        Feature("k10temp", "temp1", "Tctl", T, 127.0)},
       ""},
      {"a fan at 0 RPM or unreadable is not wired; the next wired fans fill in order",
       {Feature("nct6798", "fan1", "fan1", F, 0.0),
        Feature("nct6798", "fan2", "fan2", F, std::nullopt),
        Feature("nct6798", "fan3", "fan3", F, 1200.0),
        Feature("nct6798", "fan4", "fan4", F, 800.0)},
       "CPUFAN=nct6798-isa-0290/fan3=1200\nCHAFAN=nct6798-isa-0290/fan4=800\n"},
      {"a stopped fan with a minimum set is watched",
       {Feature("nct6798", "fan1", "fan1", F, 0.0, 600.0)},
       "CPUFAN=nct6798-isa-0290/fan1=0\n"},
      {"a fan named for a role is kept for it",
       {Feature("it8728", "fan1", "fan1", F, 900.0),
        Feature("it8728", "fan2", "CPU Fan", F, 1500.0)},
       "CPUFAN=it8728-isa-0290/fan2=1500\nCHAFAN=it8728-isa-0290/fan1=900\n"},
      {"an unreadable temperature is mapped but has no value",
       {Feature("k10temp", "temp1", "Tctl", T, std::nullopt)},
       "CPUTEMP=k10temp-isa-0290/temp1=none\n"},
      {"volts to millivolts, labels in any case, negative rails",
       {Feature("it8728", "in0", "VCORE", V, 1.2345), Feature("it8728", "in5", "-12V", V, -11.904),
        Feature("it8728", "in6", "+5VSB", V, 5.016)},
       "VCORE=it8728-isa-0290/in0=1235\nVN12=it8728-isa-0290/in5=-11904\n"
       "V5SB=it8728-isa-0290/in6=5016\n"},
      {"a kind mismatch is never mapped", {Feature("it8728", "in0", "SYSTIN", V, 1.0)}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedSource source;
    source.next = row.features;
    EXPECT_EQ(Describe(hwmon::ReadMappedChannels(source)), row.expected);
  }
}

TEST(ChannelMapping, AValueThatCannotBeReadIsNeverTheLastOne) {
  ScriptedSource source;
  source.next = {Feature("coretemp", "temp1", "Package id 0", FeatureKind::kTemperature, 61.0)};
  EXPECT_EQ(hwmon::ReadMappedChannels(source).values[core::CPUTEMP], 61);
  source.next[0].value.reset();
  EXPECT_EQ(hwmon::ReadMappedChannels(source).values[core::CPUTEMP], std::nullopt);
}

TEST(ChannelMapping, ChipOrderDoesNotChangeTheMapping) {
  // Two CPUs' sensors and two fan chips, found in either order (hwmonN numbering follows probe
  // order, which changes between boots).
  std::vector<SensorFeature> features = {
      Feature("coretemp", "temp1", "Package id 0", FeatureKind::kTemperature, 50.0),
      Feature("coretemp", "temp1", "Package id 0", FeatureKind::kTemperature, 60.0),
      Feature("it8728", "fan1", "fan1", FeatureKind::kFan, 900.0),
      Feature("nct6798", "fan1", "fan1", FeatureKind::kFan, 1100.0),
  };
  features[0].chip = "coretemp-isa-0000";
  features[1].chip = "coretemp-isa-0001";
  features[3].chip = "nct6798-isa-0a20";
  ScriptedSource source;
  source.next = features;
  const std::string forward = Describe(hwmon::ReadMappedChannels(source));
  EXPECT_EQ(forward,
            "CPUFAN=it8728-isa-0290/fan1=900\nCHAFAN=nct6798-isa-0a20/fan1=1100\n"
            "CPUTEMP=coretemp-isa-0000/temp1=50\n");
  source.next.assign(features.rbegin(), features.rend());
  EXPECT_EQ(Describe(hwmon::ReadMappedChannels(source)), forward);
}

TEST(ChannelMapping, KernelLimitsInChannelUnits) {
  struct Row {
    FeatureKind kind;
    std::optional<double> min, max, crit;
    hwmon::KernelLimits expected;
  };
  constexpr auto T = FeatureKind::kTemperature;
  constexpr auto F = FeatureKind::kFan;
  constexpr auto V = FeatureKind::kVoltage;
  const Row rows[] = {
      {V, 1.1, 1.5045, 2.0, {1100, 1505}},  // volts to millivolts, rounded
      {V, std::nullopt, -11.4, std::nullopt, {std::nullopt, -11400}},
      {F, 600.0, 5000.0, std::nullopt, {600, std::nullopt}},  // a fan has a lower limit only
      {F, 0.0, std::nullopt, std::nullopt, {}},               // 0: no minimum set
      {T, 5.0, 80.0, 100.0, {std::nullopt, 80}},              // max before crit
      {T, std::nullopt, std::nullopt, 99.6, {std::nullopt, 100}},
      {T, std::nullopt, std::nullopt, std::nullopt, {}},
  };
  for (const Row& row : rows) {
    SensorFeature f = Feature("nct6798", "x1", "x1", row.kind, 1.0, row.min);
    f.maximum = row.max;
    f.critical = row.crit;
    EXPECT_EQ(hwmon::LimitsOf(f), row.expected) << static_cast<int>(row.kind) << " row";
  }
}

// `sensors -u` as chip -> (label, feature name) -> value text.
using SensorsOutput =
    std::map<std::string, std::map<std::pair<std::string, std::string>, std::string>>;

SensorsOutput ParseSensorsU(const std::string& text) {
  SensorsOutput out;
  std::istringstream in(text);
  std::string line, chip, label;
  bool chipNext = true;
  while (std::getline(in, line)) {
    if (line.empty()) {
      chipNext = true;
      continue;
    }
    if (chipNext) {
      chip = line;
      chipNext = false;
    } else if (line.rfind("Adapter:", 0) == 0) {
    } else if (line[0] != ' ' && line.back() == ':') {
      label = line.substr(0, line.size() - 1);
    } else if (const auto colon = line.find(": "); line[0] == ' ' && colon != std::string::npos) {
      const std::string key = line.substr(2, colon - 2);
      const std::string name = key.substr(0, key.find('_'));
      const std::string suffix = key.substr(name.size());
      // Fans, voltages and temperatures only; currents, power and the like feed no channel.
      const bool kind =
          name.rfind("fan", 0) == 0 || name.rfind("in", 0) == 0 || name.rfind("temp", 0) == 0;
      if (kind && (suffix == "_input" || suffix == "_min" || suffix == "_max" || suffix == "_crit"))
        out[chip][{label, key}] = line.substr(colon + 2);
    }
  }
  return out;
}

struct TreeCase {
  const char* name;
  void (*build)(HwmonFixture&);
  const char* config;  // a file for /etc/sensors.d, or nullptr
  const char* expected;
};

void Desktop(HwmonFixture& t) {
  t.Add("nct6798", "platform/nct6775.656", "platform",
        {{"in0_input", "1024"},
         {"in0_min", "800"},
         {"in0_max", "1500"},
         {"in1_input", "1008"},
         {"in3_input", "3360"},
         {"in4_input", "1000"},
         {"in8_input", "3216"},
         {"fan1_input", "0"},
         {"fan2_input", "1150"},
         {"fan3_input", "0"},
         {"fan4_input", "780"},
         {"temp1_input", "34000"},
         {"temp1_label", "SYSTIN"},
         {"temp2_input", "40500"},
         {"temp2_label", "CPUTIN"},
         {"temp3_input", "-62000"},
         {"temp3_label", "AUXTIN0"}});
  t.Add("k10temp", "pci0000:00/0000:00:18.3", "pci",
        {{"temp1_input", "45250"},
         {"temp1_max", "70000"},
         {"temp1_crit", "95000"},
         {"temp1_label", "Tctl"},
         {"temp3_input", "38000"},
         {"temp3_label", "Tccd1"}});
  t.Add("amdgpu", "pci0000:00/0000:00:03.1/0000:0a:00.0", "pci",
        {{"temp1_input", "51000"},
         {"temp1_label", "edge"},
         {"temp2_input", "53000"},
         {"temp2_label", "junction"},
         {"in0_input", "800"},
         {"in0_label", "vddgfx"},
         {"fan1_input", "0"}});
}

void Laptop(HwmonFixture& t) {
  t.Add("coretemp", "platform/coretemp.0", "platform",
        {{"temp1_input", "52000"},
         {"temp1_label", "Package id 0"},
         {"temp2_input", "50000"},
         {"temp2_label", "Core 0"}});
  t.Add("acpitz", "virtual/thermal/thermal_zone0", "", {{"temp1_input", "27800"}});
}

const TreeCase kTrees[] = {
    {"desktop", Desktop, nullptr,
     "CPUFAN=nct6798-isa-0290/fan2=1150\nCHAFAN=nct6798-isa-0290/fan4=780\n"
     "VCORE=nct6798-isa-0290/in0=1024\nVIO=nct6798-isa-0290/in3=3360\n"
     "VB=nct6798-isa-0290/in8=3216\nRESTEMP=amdgpu-pci-0a00/temp1=51\n"
     "SYSTEMP=nct6798-isa-0290/temp1=34\nCPUTEMP=k10temp-pci-00c3/temp1=45\n"},
    {"desktop with sensors.conf labels, compute and ignore", Desktop,
     "chip \"nct6798-*\"\n"
     "  label in1 \"+5V\"\n  compute in1 @*5, @/5\n"
     "  label in4 \"+12V\"\n  compute in4 @*12, @/12\n"
     "  label temp2 \"SYSTIN\"\n  ignore temp1\n",
     "CPUFAN=nct6798-isa-0290/fan2=1150\nCHAFAN=nct6798-isa-0290/fan4=780\n"
     "VCORE=nct6798-isa-0290/in0=1024\nVIO=nct6798-isa-0290/in3=3360\n"
     "V5=nct6798-isa-0290/in1=5040\nV12=nct6798-isa-0290/in4=12000\n"
     "VB=nct6798-isa-0290/in8=3216\nRESTEMP=amdgpu-pci-0a00/temp1=51\n"
     "SYSTEMP=nct6798-isa-0290/temp2=41\nCPUTEMP=k10temp-pci-00c3/temp1=45\n"},
    {"laptop", Laptop, nullptr,
     "SYSTEMP=acpitz-virtual-0/temp1=28\nCPUTEMP=coretemp-isa-0000/temp1=52\n"},
};

// Reads the tree at `root` through libsensors, checks every value and limit read against what
// `sensors -u` prints (and that none is missing), and returns the mapping (Describe).
std::string MappingCheckedAgainstSensors(const fs::path& root,
                                         const std::vector<BindMount>& mounts) {
  // Every value read as "chip<TAB>label<TAB>temp1_input<TAB>value" lines, then the mapping.
  const std::string read = RunFunctionInTree(
      root,
      [] {
        hwmon::SensorsLibrary library([](const std::string&) {});
        hwmon::LibsensorsFeatureSource source(library);
        const hwmon::MappedReading r = hwmon::ReadMappedChannels(source);
        std::string text;
        for (const SensorFeature& f : r.features) {
          const std::pair<const char*, std::optional<double>> values[] = {
              {"_input", f.value}, {"_min", f.minimum}, {"_max", f.maximum}, {"_crit", f.critical}};
          for (const auto& [suffix, value] : values) {
            if (!value) continue;
            char number[32];
            std::snprintf(number, sizeof number, "%.3f", *value);
            text += f.chip + "\t" + f.label + "\t" + f.name + suffix + "\t" + number + "\n";
          }
        }
        return text + "--\n" + Describe(r);
      },
      mounts);
  const size_t split = read.find("--\n");
  EXPECT_NE(split, std::string::npos) << read;
  if (split == std::string::npos) return read;

  SensorsOutput ours;
  std::istringstream lines(read.substr(0, split));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string chip, label, key, value;
    std::getline(fields, chip, '\t');
    std::getline(fields, label, '\t');
    std::getline(fields, key, '\t');
    std::getline(fields, value, '\t');
    ours[chip][{label, key}] = value;
  }
  const ProgramRun sensors = RunInTree(root, {"sensors", "-u"}, mounts);
  EXPECT_EQ(sensors.status, 0) << sensors.err;
  EXPECT_EQ(ours, ParseSensorsU(sensors.out)) << sensors.out;
  return read.substr(split + 3);
}

TEST(ChannelMapping, TreesMapAsExpectedWithTheValuesSensorsPrints) {
  for (const TreeCase& tree : kTrees) {
    SCOPED_TRACE(tree.name);
    HwmonFixture fixture;
    tree.build(fixture);
    const fs::path sensorsD = fixture.Root() / "sensors.d";
    fs::create_directories(sensorsD);
    if (tree.config) std::ofstream(sensorsD / "tree.conf") << tree.config;
    EXPECT_EQ(MappingCheckedAgainstSensors(fixture.Root(), {{sensorsD, "/etc/sensors.d"}}),
              tree.expected);
  }
}

// The machine files the golden runs and the benchmark use: their mapping, and every value and
// limit read against `sensors -u`.
TEST(ChannelMapping, MachineFilesMapAsSensorsReadsThem) {
  struct Machine {
    const char* file;
    const char* expected;
  };
  const Machine machines[] = {
      {"desktop.json",
       "CPUFAN=nct6798-isa-0290/fan2=1151\nCHAFAN=nct6798-isa-0290/fan4=782\n"
       "VCORE=nct6798-isa-0290/in0=1032\nVIO=nct6798-isa-0290/in3=3360\n"
       "VB=nct6798-isa-0290/in8=3216\nRESTEMP=amdgpu-pci-0a00/temp1=51\n"
       "SYSTEMP=nct6798-isa-0290/temp1=34\nCPUTEMP=k10temp-pci-00c3/temp1=45\n"},
      {"laptop.json",
       "CPUFAN=thinkpad-isa-0000/fan1=2390\nSYSTEMP=acpitz-virtual-0/temp1=28\n"
       "CPUTEMP=coretemp-isa-0000/temp1=52\n"},
  };
  for (const Machine& m : machines) {
    SCOPED_TRACE(m.file);
    HwmonFixture fixture;
    std::string error;
    ASSERT_TRUE(sim::ExportMachineTree(fs::path(VELMO_BOARD_DIR) / "machines" / m.file,
                                       fixture.Root(), &error))
        << error;
    const fs::path sensorsD = fixture.Root() / "sensors.d";
    fs::create_directories(sensorsD);
    EXPECT_EQ(MappingCheckedAgainstSensors(fixture.Root(), {{sensorsD, "/etc/sensors.d"}}),
              m.expected);
  }
}

// Real machines' trees from public projects, read where they are and never copied here.
TEST(ChannelMapping, PublicTreesMapAsSensorsReadsThem) {
  const fs::path shared = PublicFixturesDir();
  if (!fs::is_directory(shared)) GTEST_SKIP() << "no " << shared;
  HwmonFixture empty;  // an empty /etc/sensors.d and a root for the laptop's tree
  const fs::path sensorsD = empty.Root() / "sensors.d";
  fs::create_directories(sensorsD);
  const fs::path node = empty.Root() / "node_exporter";
  RebuildTree(shared / "node_exporter/tree/sys/class", shared / "node_exporter/tree/sys/devices",
              node);
  const fs::path laptop = empty.Root() / "laptop";
  RebuildTree(shared / "lm-sensors-laptop/laptop/class",
              shared / "lm-sensors-laptop/laptop/devices", laptop);
  struct Row {
    fs::path root;
    const char* expected;
  };
  const Row rows[] = {
      {node,
       // applesmc's left fan is stopped but has a minimum: watched, so it is the first fan.
       "CPUFAN=applesmc-isa-0300/fan1=0\nCHAFAN=applesmc-isa-0300/fan2=1998\n"
       "AUXFAN=nct6779-virtual-0/fan2=1098\nVCORE=nct6779-virtual-0/in0=792\n"
       "CPUTEMP=coretemp-isa-0000/temp1=55\n"},
      {laptop, "SYSTEMP=acpitz-isa-0000/temp1=44\nCPUTEMP=coretemp-isa-0000/temp1=42\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.root);
    EXPECT_EQ(MappingCheckedAgainstSensors(row.root, {{sensorsD, "/etc/sensors.d"}}), row.expected);
  }
}

// velmo-identify's listing as "chip/name" -> the channel it feeds ("-" for none).
std::map<std::string, std::string> ChannelsListed(const std::string& out, int* features) {
  std::istringstream in(out);
  std::string line;
  std::map<std::string, std::string> channelOf;
  std::string chip;
  *features = 0;
  while (std::getline(in, line)) {
    if (line.rfind("  ", 0) != 0) {
      chip = line;
      continue;
    }
    std::istringstream fields(line);
    std::string name;
    fields >> name;
    channelOf[chip + "/" + name] = line.substr(line.find_last_of(' ') + 1);
    ++*features;
  }
  return channelOf;
}

TEST(ChannelMapping, IdentifyListsEveryFeatureWithItsChannel) {
  HwmonFixture fixture;
  Desktop(fixture);
  const ProgramRun run =
      RunInTree(fixture.Root(),
                {std::string(VELMO_BINARY_DIR) + "/tools/velmo-identify", "--kernel-sensors"});
  ASSERT_EQ(run.status, 0) << run.err;
  int features = 0;
  std::map<std::string, std::string> channelOf = ChannelsListed(run.out, &features);
  EXPECT_EQ(features, 18) << run.out;
  EXPECT_EQ(channelOf["k10temp-pci-00c3/temp1"], "CPUTEMP") << run.out;
  EXPECT_EQ(channelOf["nct6798-isa-0290/fan2"], "CPUFAN") << run.out;
  EXPECT_EQ(channelOf["nct6798-isa-0290/temp3"], "-") << run.out;
  EXPECT_NE(run.out.find("\"Tctl\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("45.250 C"), std::string::npos) << run.out;
}

// A settings file whose Extensions subkey holds these REG_SZ values.
std::string ExtensionsFile(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions]\r\n";
  for (const auto& [name, value] : values) {
    std::string hex;
    for (const char c : value) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
      hex += byte;
    }
    text += "\"" + name + "\"=hex(1):" + hex + "00,00\r\n";
  }
  return text;
}

TEST(ChannelMapping, IdentifyListsTheUsersMappingFromTheSettingsFile) {
  HwmonFixture fixture;
  Desktop(fixture);
  const fs::path registry = fixture.Root() / "registry.reg";
  std::ofstream(registry) << ExtensionsFile({{"Sensor_CPUTEMP", "k10temp-* Tccd1"},
                                             {"Sensor_SYSTEMP", "none"},
                                             {"Sensor_RESTEMP", "nct6798-* AUXTIN0"},
                                             {"Sensor_VIO", "it87-* in3"},
                                             {"Sensor_V5", "in1"}});
  const ProgramRun run =
      RunInTree(fixture.Root(), {std::string(VELMO_BINARY_DIR) + "/tools/velmo-identify",
                                 "--kernel-sensors", "--registry", registry.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  int features = 0;
  std::map<std::string, std::string> channelOf = ChannelsListed(run.out, &features);
  EXPECT_EQ(features, 18) << run.out;
  EXPECT_EQ(channelOf["k10temp-pci-00c3/temp3"], "CPUTEMP") << run.out;
  EXPECT_EQ(channelOf["k10temp-pci-00c3/temp1"], "-") << run.out;
  EXPECT_EQ(channelOf["nct6798-isa-0290/temp1"], "-") << run.out;        // SYSTEMP: none
  EXPECT_EQ(channelOf["nct6798-isa-0290/temp3"], "RESTEMP") << run.out;  // floating, but asked
  EXPECT_EQ(channelOf["amdgpu-pci-0a00/temp1"], "-") << run.out;
  EXPECT_EQ(channelOf["nct6798-isa-0290/in3"], "-") << run.out;  // VIO: matches nothing
  EXPECT_EQ(channelOf["nct6798-isa-0290/fan2"], "CPUFAN") << run.out;
  EXPECT_EQ(run.err,
            "velmo-identify: Sensor_V5: \"in1\" names no feature: write \"<chip-pattern> "
            "<feature>\" or \"none\"; the default mapping is used\n"
            "velmo-identify: Sensor_VIO: \"it87-* in3\" matches no sensor; the channel is "
            "absent\n");
}

}  // namespace
}  // namespace velmo::test
