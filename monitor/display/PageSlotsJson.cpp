#include "monitor/display/PageSlotsJson.h"

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <utility>

namespace velmo::display {
namespace {

using nlohmann::json;
using Field = std::pair<const char*, int32_t*>;

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

bool ReadObject(const json& parent, const std::string& path, std::initializer_list<Field> fields,
                std::string& error) {
  if (!parent.is_object()) {
    error = path + ": not an object";
    return false;
  }
  for (const auto& [key, target] : fields) {
    const auto it = parent.find(key);
    if (it == parent.end()) continue;
    if (!ReadInt(*it, *target)) {
      error = path + "." + key + ": not an int32 integer or boolean";
      return false;
    }
  }
  return true;
}

bool ReadCpu(const json& object, const std::string& path, core::CpuPageSlots& s,
             std::string& error) {
  return ReadObject(object, path,
                    {{"mbModel", &s.mbModel},
                     {"alarm", &s.alarm},
                     {"fan", &s.fan},
                     {"temp", &s.temp},
                     {"vcore", &s.vcore},
                     {"vio", &s.vio},
                     {"tempEnabled", &s.tempEnabled},
                     {"tempOutOfRange", &s.tempOutOfRange},
                     {"vioEnabled", &s.vioEnabled},
                     {"vioOutOfRange", &s.vioOutOfRange}},
                    error);
}

bool ReadSystem(const json& object, core::SysPageSlots& s, std::string& error) {
  if (!ReadObject(object, "system",
                  {{"mbModel", &s.mbModel},
                   {"alarm", &s.alarm},
                   {"chassisFan", &s.chassisFan},
                   {"auxFan", &s.auxFan},
                   {"temp", &s.temp},
                   {"v5", &s.v5},
                   {"v12", &s.v12},
                   {"vn5", &s.vn5},
                   {"vn12", &s.vn12}},
                  error)) {
    return false;
  }
  if (const auto it = object.find("present"); it != object.end()) {
    if (!ReadObject(*it, "system.present",
                    {{"v5", &s.present.v5},
                     {"v12", &s.present.v12},
                     {"vn5", &s.present.vn5},
                     {"vn12", &s.present.vn12}},
                    error)) {
      return false;
    }
  }
  for (const auto& [key, flags] :
       {std::pair{"enabled", &s.enabled}, std::pair{"outOfRange", &s.outOfRange}}) {
    const auto it = object.find(key);
    if (it == object.end()) continue;
    if (!ReadObject(*it, std::string("system.") + key,
                    {{"temp", &flags->temp},
                     {"v5", &flags->v5},
                     {"v12", &flags->v12},
                     {"vn5", &flags->vn5},
                     {"vn12", &flags->vn12}},
                    error)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool PageSlotsFromJson(const json& pages, core::PageSlots& pageSlots, std::string& error) {
  // Read into a copy so a bad entry leaves slots untouched.
  if (!pages.is_object()) {
    error = "pages: not an object";
    return false;
  }
  core::PageSlots read = pageSlots;
  if (const auto it = pages.find("cpu"); it != pages.end()) {
    if (!ReadCpu(*it, "cpu", read.cpu, error)) return false;
  }
  if (const auto it = pages.find("cpu2"); it != pages.end()) {
    if (!ReadCpu(*it, "cpu2", read.cpu2, error)) return false;
  }
  if (const auto it = pages.find("system"); it != pages.end()) {
    if (!ReadSystem(*it, read.system, error)) return false;
  }
  if (const auto it = pages.find("misc"); it != pages.end()) {
    if (!ReadObject(
            *it, "misc",
            {{"mbModel", &read.misc.mbModel}, {"alarm", &read.misc.alarm}, {"agp", &read.misc.agp}},
            error)) {
      return false;
    }
  }
  pageSlots = read;
  return true;
}

}  // namespace velmo::display
