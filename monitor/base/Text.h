// Small text helpers shared by the parsers of the project's files and of what the system prints.
#pragma once

#include <string_view>

namespace velmo::base {

// Blanks of a line in the files the monitor reads (a CR is what is left of a CRLF ending).
inline constexpr std::string_view kLineBlanks = " \t\r";

// `s` without the characters of `blanks` at either end.
constexpr std::string_view Trim(std::string_view s, std::string_view blanks = kLineBlanks) {
  while (!s.empty() && blanks.find(s.front()) != std::string_view::npos)
    s.remove_prefix(1);
  while (!s.empty() && blanks.find(s.back()) != std::string_view::npos)
    s.remove_suffix(1);
  return s;
}

}  // namespace velmo::base
