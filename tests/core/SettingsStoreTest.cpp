#include "monitor/core/SettingsStore.h"

#include <gtest/gtest.h>

#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/DirectBackend.h"
#include "monitor/hw/PortAccess.h"
#include "tests/support/RecordingBus.h"

namespace velmo::core {
namespace {

const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10";

std::vector<uint8_t> Int(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}

std::vector<uint8_t> Record(const ChannelRecord& r) {
  const auto bytes = EncodeRecord(r);
  return {bytes.begin(), bytes.end()};
}

struct Rig {
  test::RecordingBus bus;  // no VIA 586: PCI reads all ones
  test::RecordingHost host;
  hw::DirectBackend backend{bus};
  hw::PortAccess ports{backend, host};
  MemoryRegistry registry;
  MonitorState state;
  explicit Rig(int32_t hmType = 2, int32_t mbModel = 9) {
    state.hmType = hmType;
    state.mbModel = mbModel;
  }
  void Put(const std::string& name, std::vector<uint8_t> data, uint32_t type = REG_BINARY) {
    registry.model.OpenKey(kKey).Set({name, type, std::move(data)});
  }
  std::vector<std::string> StoredNames() const {
    std::vector<std::string> names;
    if (const RegistryKey* key = registry.model.FindKey(kKey))
      for (const RegistryValue& v : key->Values())
        names.push_back(v.name);
    return names;
  }
};

TEST(SettingsStore, KeyPathIsBuiltFromItsResources) {
  EXPECT_EQ(SettingsKeyPath(), "Software\\Korvath\\Velmo\\Ver 3.10");
}

TEST(SettingsStore, FirstRunUsesProfileAndDefaultsAndWritesNothing) {
  Rig rig;
  EXPECT_EQ(LoadChipSettings(rig.state, rig.ports, rig.registry), 0);
  EXPECT_EQ(rig.state.readings, DefaultChipProfiles().w83782d);
  EXPECT_EQ(rig.state.params, AppParams{});
  EXPECT_EQ(rig.registry.saves, 0);
}

TEST(SettingsStore, SaveWritesTwentyValuesInOrderAsOneReplace) {
  Rig rig;
  LoadChipSettings(rig.state, rig.ports, rig.registry);
  SaveSettings(rig.state, rig.registry);
  EXPECT_EQ(rig.registry.saves, 1);
  const std::vector<std::string> order = {"SC_CPUFAN",
                                          "SC_CHAFAN",
                                          "SC_AUXFAN",
                                          "SC_VCORE",
                                          "SC_VIO",
                                          "SC_V5",
                                          "SC_V12",
                                          "SC_VN12",
                                          "SC_VN5",
                                          "SC_RESTEMP",
                                          "SC_SYSTEMP",
                                          "SC_CPUTEMP",
                                          "SC_VB",
                                          "SC_V5SB",
                                          "AutoUpdateInterval",
                                          "bAutoUpdate",
                                          "bInstallOnTaskbar",
                                          "bAlarm",
                                          "iWarningActs",
                                          "HmType"};
  EXPECT_EQ(rig.registry.writes, order);
  EXPECT_EQ(rig.StoredNames(), order);
  const RegistryValue* hm = rig.registry.model.FindKey(kKey)->Find("HmType");
  EXPECT_EQ(hm->data, Int(2));
  EXPECT_EQ(rig.registry.model.FindKey(kKey)->Find("SC_V5")->data.size(), 72u);
}

TEST(SettingsStore, RoundTripKeepsRecordsAndParameters) {
  Rig first;
  LoadChipSettings(first.state, first.ports, first.registry);
  first.state[CPUTEMP].alarm.upper = 80;
  first.state[CPUTEMP].alarm.enabled = 0;  // survives although Default would enable it
  first.state[V5].value = 5056;
  first.state.params = {30, 0, 0, 1, 3};
  SaveSettings(first.state, first.registry);

  Rig second;
  second.registry.model = first.registry.model;
  EXPECT_EQ(LoadChipSettings(second.state, second.ports, second.registry), 1);
  // A loaded record takes its channel's sentence, whatever the profile said.
  SensorReadings expected = first.state.readings;
  for (int item = VCORE; item <= V5SB; ++item)
    expected[item].messageRef = kMessageVoltage;
  for (int item = RESTEMP; item <= CPUTEMP; ++item)
    expected[item].messageRef = kMessageTemperature;
  expected[VCORE2].messageRef = first.state[VCORE2].messageRef;  // never stored
  EXPECT_EQ(second.state.readings, expected);
  EXPECT_EQ(second.state.params, first.state.params);
  EXPECT_EQ(second.registry.saves, 0);  // same chip: nothing rewritten
}

TEST(SettingsStore, ChipChangeRevertsRecordsKeepsParametersAndSavesAtOnce) {
  struct Row {
    const char* what;
    std::optional<int32_t> storedHmType;
  };
  for (const Row& row : {Row{"other chip", 1}, Row{"no HmType value", std::nullopt}}) {
    Rig rig;
    ChannelRecord changed = DefaultChipProfiles().w83782d[V5];
    changed.alarm.upper = 5999;
    rig.Put("SC_V5", Record(changed));
    rig.Put("bAlarm", Int(0));
    rig.Put("AutoUpdateInterval", Int(17));
    if (row.storedHmType) rig.Put("HmType", Int(*row.storedHmType));
    EXPECT_EQ(LoadChipSettings(rig.state, rig.ports, rig.registry), 1) << row.what;
    EXPECT_EQ(rig.state[V5].alarm.upper, 5500) << row.what;
    EXPECT_EQ(rig.state.params.bAlarm, 0) << row.what;
    EXPECT_EQ(rig.state.params.AutoUpdateInterval, 17) << row.what;
    EXPECT_EQ(rig.registry.saves, 1) << row.what;
    EXPECT_EQ(rig.registry.model.FindKey(kKey)->Find("HmType")->data, Int(2)) << row.what;
  }
}

TEST(SettingsStore, LoadRulesForIndividualValues) {
  Rig rig;
  ChannelRecord stored = DefaultChipProfiles().w83782d[CPUTEMP];
  stored.alarm.enabled = 0;
  stored.messageRef = 12345;  // never taken from stored data
  stored.value = 61;
  rig.Put("SC_CPUTEMP", Record(stored));
  rig.Put("bAlarm", Int(0), REG_DWORD);           // only binary values count
  rig.Put("sc_v5", Record(ChannelRecord{}));      // names are case-sensitive
  rig.Put("SC_VCORE2", Record(ChannelRecord{}));  // never stored, never loaded
  rig.Put("SC_V12", {1, 2, 3});                   // too short for a record: ignored
  rig.Put("iWarningActs", {4});                   // too short for an integer: ignored
  rig.Put("bAutoUpdate", {0, 0, 0, 0, 9, 9});     // first four bytes count
  rig.Put("HmType", Int(2));
  EXPECT_EQ(LoadChipSettings(rig.state, rig.ports, rig.registry), 1);
  const auto profile = DefaultChipProfiles().w83782d;
  EXPECT_EQ(rig.state[CPUTEMP].alarm.enabled, 0);
  EXPECT_EQ(rig.state[CPUTEMP].value, 61);
  EXPECT_EQ(rig.state[CPUTEMP].messageRef, kMessageTemperature);
  EXPECT_EQ(rig.state.params.bAlarm, 1);
  EXPECT_EQ(rig.state[V5], profile[V5]);
  EXPECT_EQ(rig.state[VCORE2], profile[VCORE2]);
  EXPECT_EQ(rig.state[V12], profile[V12]);
  EXPECT_EQ(rig.state.params.iWarningActs, 0);
  EXPECT_EQ(rig.state.params.bAutoUpdate, 0);
}

// A value too long for the load's buffers cannot be a setting: it is skipped with a warning and the
// load goes on, so the values after it are not lost at the next save.
TEST(SettingsStore, OverlongValueIsSkippedWithAWarningAndTheLoadGoesOn) {
  struct Row {
    const char* what;
    std::string name;
    size_t bytes;
  };
  const Row rows[] = {{"data over 260 bytes", "Padding", 261},
                      {"name over 259 characters", std::string(260, 'n'), 4}};
  for (const Row& row : rows) {
    Rig rig;
    rig.Put("bAlarm", Int(0));
    rig.Put(row.name, std::vector<uint8_t>(row.bytes, 0));
    rig.Put("iWarningActs", Int(3));
    rig.Put("HmType", Int(2));
    std::vector<std::string> warnings;
    EXPECT_EQ(LoadChipSettings(rig.state, rig.ports, rig.registry,
                               [&](const std::string& w) { warnings.push_back(w); }),
              1)
        << row.what;
    EXPECT_EQ(rig.state.params.bAlarm, 0) << row.what;
    EXPECT_EQ(rig.state.params.iWarningActs, 3) << row.what;  // read after the long value
    EXPECT_EQ(rig.registry.saves, 0) << row.what;             // same chip: nothing rewritten
    ASSERT_EQ(warnings.size(), 1u) << row.what;
    EXPECT_NE(warnings[0].find("skipped"), std::string::npos) << warnings[0];
    EXPECT_LT(warnings[0].size(), 160u) << "a long name is cut in the warning";
  }
  Rig exact;
  exact.Put("Padding", std::vector<uint8_t>(260, 0));
  exact.Put("HmType", Int(2));
  std::vector<std::string> warnings;
  EXPECT_EQ(LoadChipSettings(exact.state, exact.ports, exact.registry,
                             [&](const std::string& w) { warnings.push_back(w); }),
            1);
  EXPECT_TRUE(warnings.empty());
}

// The load takes what it always took; what it ignores under a setting's name is said, value by
// value, while other names (not settings) pass silently.
TEST(SettingsStore, IgnoredSettingsValuesAreReported) {
  Rig rig;
  rig.Put("bAlarm", Int(0), REG_DWORD);
  rig.Put("iWarningActs", {4});
  rig.Put("AutoUpdateInterval", {});
  rig.Put("SC_V12", {1, 2, 3});
  rig.Put("SC_V5", {0x41, 0, 0}, REG_SZ);
  rig.Put("Unrelated", {1}, REG_SZ);
  rig.Put("HmType", Int(2));
  std::vector<std::string> warnings;
  LoadChipSettings(rig.state, rig.ports, rig.registry,
                   [&](const std::string& w) { warnings.push_back(w); });
  const std::vector<std::string> expected = {
      "settings value \"bAlarm\" ignored: a dword, not the binary value it must be",
      "settings value \"iWarningActs\" ignored: 1 byte, not the binary value it must be",
      "settings value \"AutoUpdateInterval\" ignored: 0 bytes, not the binary value it must be",
      "settings value \"SC_V12\" ignored: 3 bytes, not the binary value it must be",
      "settings value \"SC_V5\" ignored: a string, not the binary value it must be"};
  EXPECT_EQ(warnings, expected);
  EXPECT_EQ(rig.state.params, AppParams{});  // nothing of them was taken
}

TEST(SettingsStore, NoChipLoadsNothingAndUnreadableKeyKeepsDefaults) {
  Rig none(0);
  none.Put("bAlarm", Int(0));
  EXPECT_EQ(LoadChipSettings(none.state, none.ports, none.registry), 0);
  EXPECT_EQ(none.state.params.bAlarm, 1);

  Rig unreadable;
  unreadable.Put("bAlarm", Int(0));
  unreadable.registry.failReads = true;
  EXPECT_EQ(LoadChipSettings(unreadable.state, unreadable.ports, unreadable.registry), 0);
  EXPECT_EQ(unreadable.state.params.bAlarm, 1);
}

TEST(SettingsStore, FailedWritesAreSilentAndLeaveTheStoreAsItWas) {
  Rig rig;
  rig.Put("bAlarm", Int(0));
  rig.Put("HmType", Int(2));
  const RegistryModel before = rig.registry.model;
  LoadChipSettings(rig.state, rig.ports, rig.registry);
  rig.registry.failWrites = true;
  rig.registry.writes.clear();
  rig.state.params.bAlarm = 1;
  SaveSettings(rig.state, rig.registry);
  // Every value was attempted, in order, and none of them reached the store.
  EXPECT_EQ(rig.registry.writes.size(), 20u);
  EXPECT_EQ(rig.registry.writes.front(), "SC_CPUFAN");
  EXPECT_EQ(rig.registry.writes.back(), "HmType");
  EXPECT_EQ(rig.registry.saves, 0);
  EXPECT_EQ(rig.registry.model, before);
  EXPECT_TRUE(rig.host.messages.empty());
}

}  // namespace
}  // namespace velmo::core
