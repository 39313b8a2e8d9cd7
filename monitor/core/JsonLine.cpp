#include "monitor/core/JsonLine.h"

#include <nlohmann/json.hpp>

namespace velmo::core {

void JsonLine::String(std::string_view s) {
  bool plain = true;
  for (const char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
      plain = false;
      break;
    }
  }
  if (plain) {
    text_ += '"';
    text_ += s;
    text_ += '"';
    return;
  }
  // Escapes and UTF-8 checks as the library has them, so that every event reads alike.
  text_ +=
      nlohmann::json(std::string(s)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace velmo::core
