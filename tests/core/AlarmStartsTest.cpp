// The desktop notification's settings value and its alarm starts, and the subkey the
// extensions keep beside the settings key.
#include "monitor/core/AlarmStarts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/core/ExtensionSettings.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/SettingsStore.h"
#include "monitor/core/registry/RegistryFile.h"

namespace velmo::core {
namespace {

const std::string kExtensionsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions";

TEST(ExtensionsKey, KeyIsTheSettingsKeysSubkey) {
  EXPECT_EQ(ExtensionsKeyPath(), kExtensionsKey);
}

TEST(ExtensionsKey, DesktopNotificationIsOffOnlyForAStoredZero) {
  const struct {
    const char* what;
    bool store;
    uint32_t type;
    std::vector<uint8_t> data;
    bool expected;
  } rows[] = {
      {"no value", false, REG_DWORD, {}, true},
      {"zero", true, REG_DWORD, {0, 0, 0, 0}, false},
      {"one", true, REG_DWORD, {1, 0, 0, 0}, true},
      {"any other number", true, REG_DWORD, {0, 0, 0, 0x80}, true},
      {"binary zero is not a dword", true, REG_BINARY, {0, 0, 0, 0}, true},
      {"short dword", true, REG_DWORD, {0, 0}, true},
  };
  for (const auto& row : rows) {
    MemoryRegistry registry;
    registry.model.OpenKey(kExtensionsKey).Set({"Unrelated", REG_DWORD, {0, 0, 0, 0}});
    if (row.store)
      registry.model.OpenKey(kExtensionsKey).Set({"DesktopNotification", row.type, row.data});
    EXPECT_EQ((LoadExtensionSettings(registry).desktopNotification != 0), row.expected) << row.what;
  }
  MemoryRegistry unreadable;
  unreadable.failReads = true;
  EXPECT_TRUE((LoadExtensionSettings(unreadable).desktopNotification != 0));
}

TEST(ExtensionsKey, ValueInTheSettingsKeyItselfIsNotTheExtensions) {
  MemoryRegistry registry;
  registry.model.OpenKey("HKEY_LOCAL_MACHINE\\" + SettingsKeyPath())
      .Set({"DesktopNotification", REG_DWORD, {0, 0, 0, 0}});
  EXPECT_TRUE((LoadExtensionSettings(registry).desktopNotification != 0));
}

TEST(ExtensionsKey, SavingTheSettingsKeepsTheSubkeyAndTheLoadIgnoresIt) {
  const auto dir = std::filesystem::path(testing::TempDir()) / "velmo-extensions";
  std::filesystem::create_directories(dir);
  const auto path = (dir / "registry.reg").string();
  std::ofstream(path) << "Windows Registry Editor Version 5.00\r\n\r\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\Korvath\\Velmo\\Ver 3.10\\Extensions]\r\n"
                         "\"DesktopNotification\"=dword:00000000\r\n";
  RegistryFile registry(path);
  MonitorState state;
  state.hmType = 2;
  LoadSettings(state, registry);  // the key exists as the subkey's parent, without values
  EXPECT_EQ(state.params, AppParams{});
  SaveSettings(state, registry);
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_NE(text.str().find("\"DesktopNotification\"=dword:00000000"), std::string::npos);
  EXPECT_NE(text.str().find("\"HmType\""), std::string::npos);
  EXPECT_FALSE((LoadExtensionSettings(registry).desktopNotification != 0));
  std::filesystem::remove_all(dir);
}

// One watch over the alarm episodes, as the frame keeps it, and the starts it announces.
struct Starts {
  AlarmEpisodes episodes;
  std::vector<AlarmStart> Check(const MonitorState& state) {
    return StartsOf(state, episodes.Update(state));
  }
};

TEST(AlarmStarts, AnnouncesEachStartOnceUntilTheChannelRecovers) {
  MonitorState state;
  state[CPUTEMP].alarm.enabled = 1;
  state[CPUTEMP].value = 97;
  state[CPUTEMP].alarm.upper = 95;
  state[V5].alarm.enabled = 1;
  state[V5].value = 4200;
  Starts starts;
  const auto check = [&] {
    std::vector<int> channels;
    for (const AlarmStart& s : starts.Check(state))
      channels.push_back(s.channel);
    return channels;
  };
  EXPECT_EQ(check(), std::vector<int>{});
  state[CPUTEMP].outOfRange = 1;
  const auto first = starts.Check(state);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].channel, CPUTEMP);
  EXPECT_EQ(first[0].sentence, "The CPU  Temperature has exceeded Normal Operating Tolerance.");
  EXPECT_EQ(check(), std::vector<int>{}) << "still in alarm: quiet";
  state[V5].outOfRange = 1;
  EXPECT_EQ(check(), std::vector<int>{V5});
  state[CPUTEMP].outOfRange = 0;
  EXPECT_EQ(check(), std::vector<int>{});
  state[CPUTEMP].outOfRange = 1;
  EXPECT_EQ(check(), std::vector<int>{CPUTEMP}) << "recovered, then a new start";
}

TEST(AlarmStarts, DisabledChannelsAndTheAlarmSwitchKeepItQuiet) {
  MonitorState state;
  state[SYSTEMP].outOfRange = 1;  // out of range, alarm not enabled
  Starts starts;
  EXPECT_TRUE(starts.Check(state).empty());
  state.params.bAlarm = 0;
  state[SYSTEMP].alarm.enabled = 1;
  EXPECT_TRUE(starts.Check(state).empty()) << "started while the switch is off";
  state.params.bAlarm = 1;
  EXPECT_TRUE(starts.Check(state).empty()) << "the same alarm, already noted";
  state[SYSTEMP].alarm.enabled = 0;
  EXPECT_TRUE(starts.Check(state).empty());
  state[SYSTEMP].alarm.enabled = 1;
  EXPECT_EQ(starts.Check(state).size(), 1u) << "enabled again while out of range";
}

}  // namespace
}  // namespace velmo::core
