#include "monitor/core/SettingsStore.h"

#include <array>
#include <cstring>
#include <optional>

#include "monitor/core/ChipProfiles.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/RegistryFile.h"

namespace velmo::core {

namespace {

constexpr uint32_t kTypeBinary = 3;  // REG_BINARY
// The enumeration buffers of a load: a longer name or more data stops the load.
constexpr size_t kMaxNameChars = 259;
constexpr size_t kMaxDataBytes = 260;

// Stored channels in the order they are written; VCORE2 is never stored.
constexpr std::array<int, 14> kStoredChannels = {
    CPUFAN, CHAFAN, AUXFAN, VCORE, VIO, V5, V12, VN12, VN5, RESTEMP, SYSTEMP, CPUTEMP, VB, V5SB};

const std::string kRoot = "HKEY_LOCAL_MACHINE\\";

std::string StoredName(int item) {
  return std::string("SC_") + ChannelName(item);
}

int32_t ChannelMessageRef(int item) {
  if (IsTemperature(item)) return kMessageTemperature;
  if (IsVoltage(item)) return kMessageVoltage;
  return kMessageNone;
}

int32_t* ParamByName(AppParams& p, const std::string& name) {
  if (name == "AutoUpdateInterval") return &p.AutoUpdateInterval;
  if (name == "bAutoUpdate") return &p.bAutoUpdate;
  if (name == "bInstallOnTaskbar") return &p.bInstallOnTaskbar;
  if (name == "bAlarm") return &p.bAlarm;
  if (name == "iWarningActs") return &p.iWarningActs;
  return nullptr;
}

std::optional<int32_t> Int32At(const std::vector<uint8_t>& data) {
  if (data.size() < 4) return std::nullopt;  // too short to hold the value: ignored
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= uint32_t{data[static_cast<size_t>(i)]} << (8 * i);
  return static_cast<int32_t>(v);
}

std::array<uint8_t, 4> Int32Bytes(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

}  // namespace

std::string SettingsKeyPath() {
  const std::string res129 = "Ver 3.10";
  const std::string res130 = "Velmo";
  const std::string res131 = "Software\\Korvath\\";
  return res131 + res130 + "\\" + res129;
}

bool WriteBinaryRegistryValue(RegistryStore& registry, const std::string& subkey,
                              const std::string& valueName, const uint8_t* data, uint32_t size) {
  RegistryValue value{valueName, kTypeBinary, std::vector<uint8_t>(data, data + size)};
  return registry.WriteValue(kRoot + subkey, value);
}

int LoadSettings(MonitorState& state, hw::PortAccess& ports, RegistryStore& registry) {
  if (state.hmType == 0) return 0;
  SelectChipProfile(state, ports);

  std::vector<RegistryValue> values;
  if (!registry.ReadKey(kRoot + SettingsKeyPath(), &values)) return 0;

  int32_t storedHmType = 0;
  for (const RegistryValue& v : values) {
    if (v.name.size() > kMaxNameChars || v.data.size() > kMaxDataBytes) return 0;
    if (v.type != kTypeBinary) continue;
    bool matched = false;
    for (int item : kStoredChannels) {
      if (v.name != StoredName(item)) continue;
      matched = true;
      if (auto record = DecodeRecord(v.data)) {
        state[item] = *record;
        state[item].messageRef = ChannelMessageRef(item);
      }
      break;
    }
    if (matched) continue;
    if (int32_t* param = ParamByName(state.params, v.name)) {
      if (auto x = Int32At(v.data)) *param = *x;
    } else if (v.name == "HmType") {
      if (auto x = Int32At(v.data)) storedHmType = *x;
    }
  }

  if (storedHmType == state.hmType) return 1;
  // The records belong to another chip: start again from this chip's profile, keep the
  // parameters, and store the result at once.
  SelectChipProfile(state, ports);
  SaveSettings(state, registry);
  return 1;
}

void SaveSettings(const MonitorState& state, RegistryStore& registry) {
  const std::string key = SettingsKeyPath();
  registry.BeginBatch();
  for (int item : kStoredChannels) {
    const auto bytes = EncodeRecord(state[item]);
    WriteBinaryRegistryValue(registry, key, StoredName(item), bytes.data(),
                             static_cast<uint32_t>(bytes.size()));
  }
  const AppParams& p = state.params;
  const std::pair<const char*, int32_t> ints[] = {{"AutoUpdateInterval", p.AutoUpdateInterval},
                                                  {"bAutoUpdate", p.bAutoUpdate},
                                                  {"bInstallOnTaskbar", p.bInstallOnTaskbar},
                                                  {"bAlarm", p.bAlarm},
                                                  {"iWarningActs", p.iWarningActs},
                                                  {"HmType", state.hmType}};
  for (const auto& [name, value] : ints) {
    const auto bytes = Int32Bytes(value);
    WriteBinaryRegistryValue(registry, key, name, bytes.data(), 4);
  }
  registry.CommitBatch();
}

}  // namespace velmo::core
