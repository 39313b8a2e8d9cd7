// One JSON object written straight into text, byte for byte as nlohmann's dump() writes it
// (no spaces, UTF-8 kept, invalid bytes replaced): the tick event goes out at every tick for as
// long as the monitor runs, and building it as a tree first cost ten times its writing.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace velmo::core {

class JsonLine {
 public:
  JsonLine() { text_ += '{'; }

  template <typename Int>
  requires std::is_integral_v<Int> &&
      (!std::is_same_v<Int, bool>)JsonLine& Field(std::string_view key, Int value) {
    Key(key);
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text_.append(digits, end);
    return *this;
  }
  JsonLine& Field(std::string_view key, std::string_view value) {
    Key(key);
    String(value);
    return *this;
  }
  JsonLine& Field(std::string_view key, const char* value) {
    return Field(key, std::string_view(value));
  }
  JsonLine& Null(std::string_view key) {
    Key(key);
    text_ += "null";
    return *this;
  }
  // A nested object under `key`, up to the matching Close().
  JsonLine& Open(std::string_view key) {
    Key(key);
    text_ += '{';
    first_ = true;
    return *this;
  }
  JsonLine& Close() {
    text_ += '}';
    first_ = false;
    return *this;
  }
  // The object closed; the caller has closed every nested one.
  std::string Finish() && {
    text_ += '}';
    return std::move(text_);
  }

 private:
  void Key(std::string_view key) {
    if (!first_) text_ += ',';
    first_ = false;
    String(key);
    text_ += ':';
  }
  void String(std::string_view s);

  std::string text_;
  bool first_ = true;
};

}  // namespace velmo::core
