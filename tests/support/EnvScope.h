// Environment variables set or removed for one test and put back as they were afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmo::test {

class EnvScope {
 public:
  EnvScope() = default;
  explicit EnvScope(const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [name, value] : values)
      Set(name.c_str(), value);
  }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;
  ~EnvScope() {
    // Last change first: a variable set twice ends as it was before the first.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        ::unsetenv(it->first.c_str());
    }
  }

  void Set(const char* name, const std::string& value) {
    Keep(name);
    ::setenv(name, value.c_str(), 1);
  }
  void Unset(const char* name) {
    Keep(name);
    ::unsetenv(name);
  }

 private:
  void Keep(const char* name) {
    const char* v = std::getenv(name);
    saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace velmo::test
