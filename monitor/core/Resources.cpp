#include "monitor/core/Resources.h"

namespace velmo::core {

namespace {

constexpr MenuItem kFileMenu[] = {{"", 0}, {"E&xit", kCmdExit}};
constexpr MenuItem kSettingMenu[] = {{"Set Alarm Ranges", kCmdSetAlarmRanges},
                                     {"Set App Parameters", kCmdSetAppParams}};
constexpr MenuItem kHelpMenu[] = {{"&About Velmo...", kCmdAbout}};
constexpr MenuItem kFrameMenu[] = {
    {"&File", 0, kFileMenu}, {"Setting", 0, kSettingMenu}, {"&Help", 0, kHelpMenu}};

constexpr MenuItem kTrayItems[] = {{"Open (CPU)", kCmdOpenCpu},
                                   {"System", kCmdSystem},
                                   {"Miscellaneous", kCmdMiscellaneous},
                                   {"", 0},
                                   {"Suspend Velmo", kCmdSuspend},
                                   {"", 0},
                                   {"", 0},
                                   {"UnInstall Velmo", kCmdUninstall}};
constexpr MenuItem kTrayMenu[] = {{kTrayMenuTitle, 0, kTrayItems}};

}  // namespace

std::string LoadStringResource(uint32_t id) {
  switch (id) {
    case kStrVersion:
      return "Ver 3.10";
    case kStrProduct:
      return "Velmo";
    case kStrCompanyKey:
      return "Software\\Korvath\\";
    case kStrAppTitle:
      return kAppTitle;
    default:
      return "";
  }
}

std::span<const MenuItem> MenuResource(uint32_t id) {
  switch (id) {
    case kMenuFrame:
      return kFrameMenu;
    case kMenuTray:
      return kTrayMenu;
    default:
      return {};
  }
}

}  // namespace velmo::core
