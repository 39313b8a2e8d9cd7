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
// code goes to `storedHmType`; any other name is ignored. Returns false for a value under one of
// those names that cannot be taken: not REG_BINARY, or too short.
bool TakeValue(MonitorState& state, const RegistryValue& v, int32_t& storedHmType) {
  for (int item : kStoredChannels) {
    if (v.name != StoredName(item)) continue;
    const auto record = v.type == REG_BINARY ? DecodeRecord(v.data) : std::nullopt;
    if (!record) return false;
    state[item] = *record;
    state[item].messageRef = ChannelMessageRef(item);
    return true;
  }
  int32_t* target = v.name == kValueHmType ? &storedHmType : nullptr;
  for (const ParamField& field : kParamFields)
    if (v.name == field.name) target = &(state.params.*field.member);
  if (target == nullptr) return true;  // not one of the settings
  const auto x = v.type == REG_BINARY ? Int32At(v.data) : std::nullopt;
  if (!x) return false;
  *target = *x;
  return true;
}

const char* TypeName(uint32_t type) {
  switch (type) {
    case REG_SZ:
      return "a string";
    case REG_EXPAND_SZ:
      return "an expandable string";
    case REG_DWORD:
      return "a dword";
    case REG_MULTI_SZ:
      return "a multi-string";
    case REG_BINARY:
      return "binary";
    default:
      return "of another type";
  }
}

std::string Ignored(const RegistryValue& v) {
  const size_t n = v.data.size();
  const std::string what = v.type != REG_BINARY ? std::string(TypeName(v.type))
                           : n == 1             ? std::string("1 byte")
                                                : std::to_string(n) + " bytes";
  return "settings value \"" + v.name + "\" ignored: " + what + ", not the binary value it must be";
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

SettingsLoad LoadSettings(MonitorState& state, RegistryStore& registry,
                          const base::WarningSink& warn) {
  auto say = [&warn](const std::string& text) {
    if (warn) warn(text);
  };
  std::vector<RegistryValue> values;
  if (!registry.ReadKey(RootKey(SettingsKeyPath()), &values)) return SettingsLoad::kNotRead;
  int32_t storedHmType = 0;
  for (const RegistryValue& v : values) {
    // Too long for the enumeration buffers, so never one of the settings: skipped, and the load
    // goes on (stopping here would put the defaults over the user's values at the next save).
    if (v.name.size() > kMaxNameChars || v.data.size() > kMaxDataBytes) {
      say("settings value \"" + v.name.substr(0, 40) + (v.name.size() > 40 ? "..." : "") +
          "\" skipped: " + std::to_string(v.name.size()) + "-character name, " +
          std::to_string(v.data.size()) + " bytes of data; longer than a setting can be");
      continue;
    }
    if (!TakeValue(state, v, storedHmType)) say(Ignored(v));
  }
  return storedHmType == state.hmType ? SettingsLoad::kSameChip : SettingsLoad::kOtherChip;
}

bool SaveSettings(const MonitorState& state, RegistryStore& registry) {
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
  return registry.CommitBatch();
}

}  // namespace velmo::core
