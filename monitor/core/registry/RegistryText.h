// The `.reg` text form of the registry model: reading it (RegistryParser.cpp) and writing it
// (RegistryFormatter.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/core/registry/RegistryModel.h"

namespace velmo::core {

// Files above this size are refused on reading and never written.
inline constexpr size_t kMaxRegistryFileSize = size_t{16} << 20;
inline constexpr std::string_view kRegeditHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegeditHeader4 = "REGEDIT4";

struct RegistryError {
  uint32_t line = 0;  // 1-based; 0 for the file as a whole
  std::string message;
};

struct RegistryParse {
  // The header was recognised and the file is within bounds, so `model` holds what it says.
  bool parsed = false;
  RegistryModel model;
  // Lines that were skipped or cut short; at most kMaxKeptErrors are kept, `errorCount` counts all.
  std::vector<RegistryError> errors;
  size_t errorCount = 0;
  bool Clean() const { return parsed && errorCount == 0; }
  static constexpr size_t kMaxKeptErrors = 64;
};

// Reads `.reg` text: UTF-8/ANSI (with or without a UTF-8 BOM) or UTF-16LE with BOM, LF or CRLF,
// "Windows Registry Editor Version 5.00" or "REGEDIT4". Any input gives a result; malformed lines
// are skipped and listed. The lines are applied as an import would: later values replace earlier
// ones, "[-key]" and "name"=- remove.
RegistryParse ParseRegistryText(std::string_view bytes);

// Writes the model as version 5.00 text with CRLF line ends, wrapped like an export: pure ASCII
// when every name and string is ASCII, otherwise UTF-16LE with BOM.
std::string FormatRegistryText(const RegistryModel& model);

}  // namespace velmo::core
