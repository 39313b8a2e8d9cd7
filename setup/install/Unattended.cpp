#include "setup/install/Unattended.h"

#include <nlohmann/json.hpp>

namespace velmo::setup {

namespace {

void EmitLine(std::ostream& out, const char* event, const std::string& text) {
  // Texts are shown as they stand; bytes that are not UTF-8 become U+FFFD instead of an error.
  out << nlohmann::json{{"event", event}, {"text", text}}.dump(
             -1, ' ', false, nlohmann::json::error_handler_t::replace)
      << '\n'
      << std::flush;
}

}  // namespace

void JsonLinesHost::ShowMessage(const std::string& text) {
  ++messages_;
  EmitLine(out_, "message", text);
}

void JsonLinesHost::ShowNotice(const std::string& text) {
  EmitLine(out_, "notice", text);
}

int RunUnattended(const PlatformCheck& platform, const SetupContext& context, JsonLinesHost& host) {
  if (!platform.helperServices && !platform.directPorts) {
    host.ShowMessage(kRefusedHint);
  } else {
    RunInstallation(context);
  }
  return host.Messages() == 0 ? 0 : 1;
}

}  // namespace velmo::setup
