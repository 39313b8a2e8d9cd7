// libFuzzer target: the `.reg` text parser and formatter. Whatever the input, parsing ends, and
// what was understood is written in a form that reads back cleanly as the same model and formats
// to the same bytes again (the property every save relies on).
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/core/registry/RegistryText.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmo::core;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const RegistryParse parse = ParseRegistryText(text);
  Check(parse.errors.size() <= RegistryParse::kMaxKeptErrors);
  Check(parse.errorCount >= parse.errors.size());
  if (!parse.parsed) return 0;
  const std::string written = FormatRegistryText(parse.model);
  const RegistryParse again = ParseRegistryText(written);
  Check(again.Clean());
  Check(again.model == parse.model);
  Check(FormatRegistryText(again.model) == written);
  return 0;
}
