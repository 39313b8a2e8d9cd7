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
  return {std::string(prefix) + "-isa-0290", prefix, name, label, kind, value, minimum};
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
      {"coretemp-isa-0000",
       "coretemp",
       "temp1",
       "Package id 0",
       FeatureKind::kTemperature,
       50.0,
       {}},
      {"coretemp-isa-0001",
       "coretemp",
       "temp1",
       "Package id 0",
       FeatureKind::kTemperature,
       60.0,
       {}},
      {"it8728-isa-0290", "it8728", "fan1", "fan1", FeatureKind::kFan, 900.0, {}},
      {"nct6798-isa-0a20", "nct6798", "fan1", "fan1", FeatureKind::kFan, 1100.0, {}},
  };
  ScriptedSource source;
  source.next = features;
  const std::string forward = Describe(hwmon::ReadMappedChannels(source));
  EXPECT_EQ(forward,
            "CPUFAN=it8728-isa-0290/fan1=900\nCHAFAN=nct6798-isa-0a20/fan1=1100\n"
            "CPUTEMP=coretemp-isa-0000/temp1=50\n");
  source.next.assign(features.rbegin(), features.rend());
  EXPECT_EQ(Describe(hwmon::ReadMappedChannels(source)), forward);
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
    } else if (const auto at = line.find("_input: "); at != std::string::npos) {
      const std::string name = line.substr(2, at - 2);
      // Fans, voltages and temperatures only; currents, power and the like feed no channel.
      if (name.rfind("fan", 0) == 0 || name.rfind("in", 0) == 0 || name.rfind("temp", 0) == 0)
        out[chip][{label, name}] = line.substr(at + 8);
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

// Reads the tree at `root` through libsensors, checks every feature read against what
// `sensors -u` prints for it (and that none is missing), and returns the mapping (Describe).
std::string MappingCheckedAgainstSensors(const fs::path& root,
                                         const std::vector<BindMount>& mounts) {
  // Every feature read, one line each, then the mapping.
  const std::string read = RunFunctionInTree(
      root,
      [] {
        hwmon::SensorsLibrary library([](const std::string&) {});
        hwmon::LibsensorsFeatureSource source(library);
        const hwmon::MappedReading r = hwmon::ReadMappedChannels(source);
        std::string text;
        for (const SensorFeature& f : r.features) {
          char value[32] = "none";
          if (f.value) std::snprintf(value, sizeof value, "%.3f", *f.value);
          text += f.chip + "\t" + f.label + "\t" + f.name + "\t" + value + "\n";
        }
        return text + "--\n" + Describe(r);
      },
      mounts);
  const size_t split = read.find("--\n");
  EXPECT_NE(split, std::string::npos) << read;
  if (split == std::string::npos) return read;

  const ProgramRun sensors = RunInTree(root, {"sensors", "-u"}, mounts);
  EXPECT_EQ(sensors.status, 0) << sensors.err;
  const SensorsOutput printed = ParseSensorsU(sensors.out);
  size_t features = 0;
  std::istringstream lines(read.substr(0, split));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string chip, label, name, value;
    std::getline(fields, chip, '\t');
    std::getline(fields, label, '\t');
    std::getline(fields, name, '\t');
    std::getline(fields, value, '\t');
    ++features;
    const auto c = printed.find(chip);
    if (c == printed.end()) {
      ADD_FAILURE() << line << " not printed by sensors:\n" << sensors.out;
      continue;
    }
    const auto it = c->second.find({label, name});
    if (it == c->second.end()) {
      ADD_FAILURE() << line << " not printed by sensors:\n" << sensors.out;
      continue;
    }
    EXPECT_EQ(it->second, value) << line;
  }
  size_t printedFeatures = 0;
  for (const auto& [chip, f] : printed)
    printedFeatures += f.size();
  EXPECT_EQ(features, printedFeatures) << sensors.out;
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

// A copy of `from` at `to`/sys: the shared trees keep their symlinks as files that hold the
// link's target ("../../devices/..."), which no attribute value begins with; those become links.
void RebuildTree(const fs::path& classDir, const fs::path& devicesDir, const fs::path& to) {
  for (const auto& [from, name] :
       {std::pair{classDir, "class"}, std::pair{devicesDir, "devices"}}) {
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(from)) {
      const fs::path target = to / "sys" / name / fs::relative(e.path(), from);
      if (e.is_directory()) {
        fs::create_directories(target);
        continue;
      }
      std::ifstream in(e.path());
      std::string first;
      std::getline(in, first);
      if (first.rfind("../", 0) == 0) {
        fs::create_symlink(first, target);
      } else {
        fs::copy_file(e.path(), target);
        fs::permissions(target,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      }
    }
  }
}

// Real machines' trees from public projects, read where they are and never copied here.
TEST(ChannelMapping, PublicTreesMapAsSensorsReadsThem) {
  // Beside the folder that holds the work trees, or where VELMO_HWMON_FIXTURES says.
  const char* env = std::getenv("VELMO_HWMON_FIXTURES");
  const fs::path shared = env ? fs::path(env)
                              : fs::weakly_canonical(fs::path(VELMO_TEST_DATA_DIR) /
                                                     "../../../../shared/hwmon-fixtures");
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

TEST(ChannelMapping, IdentifyListsEveryFeatureWithItsChannel) {
  HwmonFixture fixture;
  Desktop(fixture);
  const ProgramRun run =
      RunInTree(fixture.Root(),
                {std::string(VELMO_BINARY_DIR) + "/tools/velmo-identify", "--kernel-sensors"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream in(run.out);
  std::string line;
  std::map<std::string, std::string> channelOf;  // "chip/name" -> channel
  std::string chip;
  int features = 0;
  while (std::getline(in, line)) {
    if (line.rfind("  ", 0) != 0) {
      chip = line;
      continue;
    }
    std::istringstream fields(line);
    std::string name;
    fields >> name;
    channelOf[chip + "/" + name] = line.substr(line.find_last_of(' ') + 1);
    ++features;
  }
  EXPECT_EQ(features, 18) << run.out;
  EXPECT_EQ(channelOf["k10temp-pci-00c3/temp1"], "CPUTEMP") << run.out;
  EXPECT_EQ(channelOf["nct6798-isa-0290/fan2"], "CPUFAN") << run.out;
  EXPECT_EQ(channelOf["nct6798-isa-0290/temp3"], "-") << run.out;
  EXPECT_NE(run.out.find("\"Tctl\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("45.250 C"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace velmo::test
