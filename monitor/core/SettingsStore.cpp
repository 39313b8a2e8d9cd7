#include "monitor/core/SettingsStore.h"

#include <array>
#include <optional>

#include "monitor/base/LittleEndian.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/Resources.h"
#include "monitor/core/registry/RegistryFile.h"

namespace velmo::core {

namespace {

// The enumeration buffers of a load: a longer name or more data stops the load.
constexpr size_t kMaxNameChars = 259;
constexpr size_t kMaxDataBytes = 260;

// Stored channels in the order they are written; VCORE2 is never stored.
constexpr std::array<int, 14> kStoredChannels = {
    CPUFAN, CHAFAN, AUXFAN, VCORE, VIO, V5, V12, VN12, VN5, RESTEMP, SYSTEMP, CPUTEMP, VB, V5SB};

// The application parameters as stored, in the order they are written; the chip code follows.
struct ParamField {
  const char* name;
  int32_t AppParams::*member;
};
constexpr ParamField kParamFields[] = {
    {kValueAutoUpdateInterval, &AppParams::AutoUpdateInterval},
    {kValueAutoUpdate, &AppParams::bAutoUpdate},
    {kValueInstallOnTaskbar, &AppParams::bInstallOnTaskbar},
    {kValueAlarm, &AppParams::bAlarm},
    {kValueWarningActs, &AppParams::iWarningActs},
};

std::string RootKey(const std::string& subkey) {
  return std::string(kRegistryRoot) + "\\" + subkey;
}

std::string StoredName(int item) {
  return std::string(kValueRecordPrefix) + ChannelName(item);
}

int32_t ChannelMessageRef(int item) {
  if (IsTemperature(item)) return kMessageTemperature;
  if (IsVoltage(item)) return kMessageVoltage;
  return kMessageNone;
}

std::optional<int32_t> Int32At(const std::vector<uint8_t>& data) {
  if (data.size() < 4) return std::nullopt;  // too short to hold the value: ignored
  return static_cast<int32_t>(base::LoadLe32(data.data()));
}

// Takes one stored value into the state when it is a channel record or a parameter; the chip
// code goes to `storedHmType`; any other name is ignored.
void TakeValue(MonitorState& state, const RegistryValue& v, int32_t& storedHmType) {
  for (int item : kStoredChannels) {
    if (v.name != StoredName(item)) continue;
    if (auto record = DecodeRecord(v.data)) {
      state[item] = *record;
      state[item].messageRef = ChannelMessageRef(item);
    }
    return;
  }
  for (const ParamField& field : kParamFields) {
    if (v.name != field.name) continue;
    if (auto x = Int32At(v.data)) state.params.*field.member = *x;
    return;
  }
  if (v.name == kValueHmType) {
    if (auto x = Int32At(v.data)) storedHmType = *x;
  }
}

void WriteInt(RegistryStore& registry, const std::string& key, const char* name, int32_t value) {
  uint8_t bytes[4];
  base::StoreLe32(bytes, static_cast<uint32_t>(value));
  WriteBinaryRegistryValue(registry, key, name, bytes, 4);
}

}  // namespace

std::string SettingsKeyPath() {
  return LoadStringResource(kStrCompanyKey) + LoadStringResource(kStrProduct) + "\\" +
         LoadStringResource(kStrVersion);
}

bool WriteBinaryRegistryValue(RegistryStore& registry, const std::string& subkey,
                              const std::string& valueName, const uint8_t* data, uint32_t size) {
  RegistryValue value{valueName, REG_BINARY, std::vector<uint8_t>(data, data + size)};
  return registry.WriteValue(RootKey(subkey), value);
}

SettingsLoad LoadSettings(MonitorState& state, RegistryStore& registry) {
  std::vector<RegistryValue> values;
  if (!registry.ReadKey(RootKey(SettingsKeyPath()), &values)) return SettingsLoad::kNotRead;
  int32_t storedHmType = 0;
  for (const RegistryValue& v : values) {
    if (v.name.size() > kMaxNameChars || v.data.size() > kMaxDataBytes)
      return SettingsLoad::kNotRead;
    if (v.type == REG_BINARY) TakeValue(state, v, storedHmType);
  }
  return storedHmType == state.hmType ? SettingsLoad::kSameChip : SettingsLoad::kOtherChip;
}

void SaveSettings(const MonitorState& state, RegistryStore& registry) {
  const std::string key = SettingsKeyPath();
  registry.BeginBatch();
  for (int item : kStoredChannels) {
    const auto bytes = EncodeRecord(state[item]);
    WriteBinaryRegistryValue(registry, key, StoredName(item), bytes.data(),
                             static_cast<uint32_t>(bytes.size()));
  }
  for (const ParamField& field : kParamFields)
    WriteInt(registry, key, field.name, state.params.*field.member);
  WriteInt(registry, key, kValueHmType, state.hmType);
  registry.CommitBatch();
}

}  // namespace velmo::core
