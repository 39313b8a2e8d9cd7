#include "monitor/core/PageSlotsJson.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "monitor/core/boards/BoardTable.h"

namespace velmo::core {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;
// A value slot holds a reading, which may be kNoValue (null in JSON); the others are numbers
// and flags.
struct Field {
  const char* key;
  int32_t* slot;
  bool reading = false;
};
using Fields = std::vector<Field>;
constexpr bool kReading = true;

// The key of every slot, in event order.
Fields CpuFields(CpuPageSlots& s) {
  return {{"mbModel", &s.mbModel},         {"alarm", &s.alarm},
          {"fan", &s.fan, kReading},       {"temp", &s.temp, kReading},
          {"vcore", &s.vcore, kReading},   {"vio", &s.vio, kReading},
          {"tempEnabled", &s.tempEnabled}, {"tempOutOfRange", &s.tempOutOfRange},
          {"vioEnabled", &s.vioEnabled},   {"vioOutOfRange", &s.vioOutOfRange}};
}

Fields SysFields(SysPageSlots& s) {
  return {{"mbModel", &s.mbModel},
          {"alarm", &s.alarm},
          {"chassisFan", &s.chassisFan, kReading},
          {"auxFan", &s.auxFan, kReading},
          {"temp", &s.temp, kReading},
          {"v5", &s.v5, kReading},
          {"v12", &s.v12, kReading},
          {"vn5", &s.vn5, kReading},
          {"vn12", &s.vn12, kReading}};
}

Fields RailFields(RailFlags& f) {
  return {{"v5", &f.v5}, {"v12", &f.v12}, {"vn5", &f.vn5}, {"vn12", &f.vn12}};
}

Fields AlarmFields(SysAlarmFlags& f) {
  return {{"temp", &f.temp}, {"v5", &f.v5}, {"v12", &f.v12}, {"vn5", &f.vn5}, {"vn12", &f.vn12}};
}

Fields MiscFields(MiscPageSlots& s) {
  return {{"mbModel", &s.mbModel}, {"alarm", &s.alarm}, {"agp", &s.agp, kReading}};
}

// The fields into the object open in `line`.
void Write(JsonLine& line, const Fields& fields) {
  for (const Field& field : fields) {
    if (field.reading && *field.slot == kNoValue) {
      line.Null(field.key);
    } else {
      line.Field(field.key, *field.slot);
    }
  }
}

void WriteObject(JsonLine& line, const char* key, const Fields& fields) {
  line.Open(key);
  Write(line, fields);
  line.Close();
}

bool ReadInt(const json& value, int32_t& out) {
  if (value.is_boolean()) {
    out = value.get<bool>() ? 1 : 0;
    return true;
  }
  if (value.is_number_unsigned()) {
    const uint64_t v = value.get<uint64_t>();
    if (v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return false;
    out = static_cast<int32_t>(v);
    return true;
  }
  if (value.is_number_integer()) {
    const int64_t v = value.get<int64_t>();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
      return false;
    }
    out = static_cast<int32_t>(v);
    return true;
  }
  return false;
}

// Reads `fields` from parent[key] when that key is present.
base::Expected<void> Read(const json& parent, const char* key, const std::string& path,
                          const Fields& fields) {
  const auto found = parent.find(key);
  if (found == parent.end()) return {};
  if (!found->is_object()) return base::Error{path + ": not an object"};
  for (const Field& field : fields) {
    const auto it = found->find(field.key);
    if (it == found->end()) continue;
    if (field.reading && it->is_null()) {
      *field.slot = kNoValue;
      continue;
    }
    if (!ReadInt(*it, *field.slot))
      return base::Error{path + "." + field.key + ": not an int32 integer or boolean"};
  }
  return {};
}

}  // namespace

void WritePageSlots(JsonLine& line, const char* key, const PageSlots& pageSlots, int32_t mbModel) {
  PageSlots s = pageSlots;  // the field tables point into a slot set they may also fill
  line.Open(key);
  WriteObject(line, "cpu", CpuFields(s.cpu));
  if (BoardFor(mbModel).hasCpu2) WriteObject(line, "cpu2", CpuFields(s.cpu2));
  line.Open("system");
  Write(line, SysFields(s.system));
  WriteObject(line, "present", RailFields(s.system.present));
  WriteObject(line, "enabled", AlarmFields(s.system.enabled));
  WriteObject(line, "outOfRange", AlarmFields(s.system.outOfRange));
  line.Close();
  WriteObject(line, "misc", MiscFields(s.misc));
  line.Close();
}

ordered_json PageSlotsToJson(const PageSlots& pageSlots, int32_t mbModel) {
  JsonLine line;
  WritePageSlots(line, "pages", pageSlots, mbModel);
  return ordered_json::parse(std::move(line).Finish())["pages"];
}

base::Expected<PageSlots> PageSlotsFromJson(const json& pages, PageSlots start) {
  if (!pages.is_object()) return base::Error{"pages: not an object"};
  PageSlots& read = start;
  // In this order: the first bad entry is the one named. The rail and alarm flags sit inside
  // "system" and are read only when it is an object.
  const json* system =
      pages.contains("system") && pages["system"].is_object() ? &pages["system"] : nullptr;
  const struct {
    const json* parent;
    const char* key;
    const char* path;
    Fields fields;
  } parts[] = {
      {&pages, "cpu", "cpu", CpuFields(read.cpu)},
      {&pages, "cpu2", "cpu2", CpuFields(read.cpu2)},
      {&pages, "system", "system", SysFields(read.system)},
      {system, "present", "system.present", RailFields(read.system.present)},
      {system, "enabled", "system.enabled", AlarmFields(read.system.enabled)},
      {system, "outOfRange", "system.outOfRange", AlarmFields(read.system.outOfRange)},
      {&pages, "misc", "misc", MiscFields(read.misc)},
  };
  for (const auto& part : parts) {
    if (!part.parent) continue;
    if (auto done = Read(*part.parent, part.key, part.path, part.fields); !done)
      return done.error();
  }
  return read;
}

}  // namespace velmo::core
