// The OEM information file beside the program (its path with the extension replaced by ".ini")
// and the four contact lines of the About box read from its section "OEM", the way Windows reads
// initialisation files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmo::core {

inline constexpr const char* kOemSection = "OEM";
inline constexpr const char* kOemUnknown = "Unknown";
// A value is read into a 260-character buffer: at most 259 characters of it are used.
inline constexpr size_t kProfileValueChars = 259;

// The program's path with the extension of its file name replaced by ".ini" ("velmond.ini" beside
// "velmond", "a.ini" for "a.exe"); dots in the folders do not count.
std::string OemFilePath(std::string_view programPath);

// The value of `key` in `section` of an initialisation file's text, or `fallback` when the section
// or the key is missing. Section and key names match without regard to ASCII case; the first
// match in the file wins. Whitespace around names and values is dropped, a value wholly in
// matching quotes loses them, lines starting with ';' are comments, and the value is cut to
// kProfileValueChars characters. The text may be UTF-8 (with or without BOM), Windows-1252 or
// UTF-16LE with BOM; the result is UTF-8.
std::string ProfileString(std::string_view fileText, std::string_view section, std::string_view key,
                          std::string_view fallback);

// The contact lines in the box's order, top to bottom.
struct OemInfo {
  std::string web;    // key "WEB"
  std::string tel;    // key "Tel"
  std::string email;  // key "EMAIL"
  std::string name;   // key "Name"
  bool operator==(const OemInfo&) const = default;
};
// Reads the file afresh; every line is "Unknown" when the file cannot be read.
OemInfo ReadOemInfo(const std::string& iniPath);

}  // namespace velmo::core
