// The monitor's resources in one place: the string table, the menus and their command ids, the
// window messages it numbers itself, the icon and bitmap numbers, and the names of the settings
// key and its values. The core and the Qt host both take them from here.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmo::core {

// ---- Strings ------------------------------------------------------------------------------
inline constexpr uint32_t kStrVersion = 129;     // "Ver 3.10"
inline constexpr uint32_t kStrProduct = 130;     // "Velmo"
inline constexpr uint32_t kStrCompanyKey = 131;  // "Software\\Korvath\\"
inline constexpr uint32_t kStrAppTitle = 57344;  // "Velmond"
// The string resource of this number; empty for a number that has none.
std::string LoadStringResource(uint32_t id);

inline constexpr const char* kAppTitle = "Velmond";  // caption of the program's own messages
inline constexpr const char* kFrameCaption = "Velmo(v3.10)";
inline constexpr const char* kVersionText = "Version 3.10";

// ---- Commands -----------------------------------------------------------------------------
inline constexpr uint32_t kCmdOpenCpu = 32771;
inline constexpr uint32_t kCmdSystem = 32772;
inline constexpr uint32_t kCmdSuspend = 32773;
inline constexpr uint32_t kCmdSetAlarmRanges = 32774;
inline constexpr uint32_t kCmdSetAppParams = 32775;
inline constexpr uint32_t kCmdMiscellaneous = 32781;
inline constexpr uint32_t kCmdUninstall = 32782;
inline constexpr uint32_t kCmdAbout = 57664;
inline constexpr uint32_t kCmdExit = 57665;

// ---- Menus --------------------------------------------------------------------------------
// One menu entry: a command, a separator (id 0, no text) or a popup (id 0, its items below).
struct MenuItem {
  const char* text;
  uint32_t id;
  std::span<const MenuItem> popup = {};
  bool IsSeparator() const { return id == 0 && popup.empty(); }
};
inline constexpr uint32_t kMenuFrame = 128;  // the frame's menu bar
inline constexpr uint32_t kMenuTray = 131;   // the tray icon's popup; its first item is the default
// The entries of a menu resource (the bar of 128, the single popup "Velmo" of 131); empty for a
// number that has none.
std::span<const MenuItem> MenuResource(uint32_t id);
// The tray popup's title.
inline constexpr const char* kTrayMenuTitle = "Velmo";

// ---- Window messages ------------------------------------------------------------------------
inline constexpr uint32_t kWmUser = 0x400;
inline constexpr uint32_t kWmAlarmAction = kWmUser + 11;  // 1035: the alarm dialog's choice

// ---- Icons and bitmaps --------------------------------------------------------------------
inline constexpr int32_t kIconNormal = 132;           // the tray in the normal state
inline constexpr int32_t kIconAlarmAtCreation = 133;  // the alarm icon until the first tick
inline constexpr int32_t kIconAlarm = 137;            // the alarm icon from the first tick on
inline constexpr int32_t kBitmapAlarmDialog = 140;    // the alarm dialog's picture
inline constexpr int32_t kIconWatch = 145;
inline constexpr int32_t kIconCpu = 151;
inline constexpr int32_t kIconBattery = 152;
inline constexpr int32_t kIconBoard = 153;
inline constexpr int32_t kIconTelephone = 154;  // the About box's contact lines
inline constexpr int32_t kIconMail = 155;
inline constexpr int32_t kIconFan = 157;
inline constexpr int32_t kIconThermometer = 158;
inline constexpr int32_t kIconCase = 159;
inline constexpr int32_t kIconWeb = 160;

// ---- The tray icon ------------------------------------------------------------------------
inline constexpr size_t kTooltipChars = 63;

// ---- Settings -----------------------------------------------------------------------------
inline constexpr const char* kRegistryRoot = "HKEY_LOCAL_MACHINE";
// Names of the stored values besides the channel records ("SC_" + channel name).
inline constexpr const char* kValueRecordPrefix = "SC_";
inline constexpr const char* kValueAutoUpdateInterval = "AutoUpdateInterval";
inline constexpr const char* kValueAutoUpdate = "bAutoUpdate";
inline constexpr const char* kValueInstallOnTaskbar = "bInstallOnTaskbar";
inline constexpr const char* kValueAlarm = "bAlarm";
inline constexpr const char* kValueWarningActs = "iWarningActs";
inline constexpr const char* kValueHmType = "HmType";

}  // namespace velmo::core
