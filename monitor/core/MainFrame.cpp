#include "monitor/core/MainFrame.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "monitor/core/Acquisition.h"
#include "monitor/core/AlarmText.h"
#include "monitor/core/ExtensionRunner.h"
#include "monitor/core/InstallLayout.h"
#include "monitor/core/KernelSensorSource.h"
#include "monitor/core/MonitorSetup.h"
#include "monitor/core/MonitorState.h"
#include "monitor/core/SettingsStore.h"
#include "monitor/core/boards/BoardTable.h"
#include "monitor/core/registry/RegistryFile.h"
#include "monitor/hw/ChipRegisters.h"
#include "monitor/hw/PortAccess.h"

namespace velmo::core {

namespace {

constexpr const char* kRemovalQuestion =
    "System monitor IC can not be found on your motherboard.\n\n"
    "Do you want to remove the Velmo from system?";

hw::TripLimitRegisters TripLimits(const ChannelRecord& r) {
  return {static_cast<uint32_t>(r.bank), static_cast<uint8_t>(r.upperRegister),
          static_cast<uint8_t>(r.lowerRegister)};
}

}  // namespace

const char* PageName(Page page) {
  switch (page) {
    case Page::kCpu:
      return "cpu";
    case Page::kCpu2:
      return "cpu2";
    case Page::kSystem:
      return "system";
    case Page::kMisc:
      return "misc";
  }
  return "";
}

const char* PowerRequestName(PowerRequest request) {
  return request == PowerRequest::kReboot ? "reboot" : "poweroff";
}

UninstallPaths UninstallPaths::FromEnvironment() {
  UninstallPaths paths;
  paths.autostartDir = install::AutostartDir(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  const std::string prefix = install::InstallPrefixFromEnvironment();
  paths.programPath = install::ProgramPath(prefix);
  paths.guiProgramPath = install::GuiProgramPath(prefix);
  return paths;
}

uint32_t TimerPeriodMs(int32_t intervalSeconds) {
  if (intervalSeconds < 1) return 5000;
  constexpr int32_t kLongest = 24 * 60 * 60;  // a day; keeps the milliseconds in range
  return static_cast<uint32_t>(intervalSeconds > kLongest ? kLongest : intervalSeconds) * 1000u;
}

namespace {

// A channel's reading for a page, kNoValue when its sensor gave none.
int32_t SlotValue(const MonitorState& s, int32_t item) {
  return s.noValue[static_cast<size_t>(item)] ? kNoValue : s[item].value;
}

// Copies the channels a CPU page is fed from into its slots; a slot without a channel keeps
// its value.
void FeedCpuPage(const MonitorState& s, const CpuPageFeed& feed, CpuPageSlots& page) {
  const auto value = [&s](int32_t item, int32_t& slot) {
    if (item != kNoChannel) slot = SlotValue(s, item);
  };
  value(feed.fan, page.fan);
  value(feed.temp, page.temp);
  if (feed.tempEnabled != kNoChannel) page.tempEnabled = s[feed.tempEnabled].alarm.enabled;
  if (feed.tempOutOfRange != kNoChannel) page.tempOutOfRange = s[feed.tempOutOfRange].outOfRange;
  value(feed.vcore, page.vcore);
  value(feed.vio, page.vio);
  if (feed.vioAlarm != kNoChannel) {
    page.vioEnabled = s[feed.vioAlarm].alarm.enabled;
    page.vioOutOfRange = s[feed.vioAlarm].outOfRange;
  }
}

}  // namespace

void PublishToPages(const MonitorState& s, PageSlots& slots) {
  const BoardInfo& board = BoardFor(s.mbModel);
  const int32_t alarm = s.params.bAlarm;
  slots.cpu.mbModel = s.mbModel;
  slots.cpu.alarm = alarm;
  FeedCpuPage(s, board.cpu, slots.cpu);
  if (board.hasCpu2) {
    slots.cpu2.mbModel = board.code;
    slots.cpu2.alarm = alarm;
    FeedCpuPage(s, board.cpu2, slots.cpu2);
  }
  SysPageSlots& sys = slots.system;
  sys.mbModel = s.mbModel;
  sys.alarm = alarm;
  sys.chassisFan = SlotValue(s, CHAFAN);
  sys.auxFan = SlotValue(s, AUXFAN);
  sys.temp = SlotValue(s, SYSTEMP);
  sys.v5 = SlotValue(s, V5);
  sys.v12 = SlotValue(s, V12);
  sys.vn5 = SlotValue(s, VN5);
  sys.vn12 = SlotValue(s, VN12);
  sys.present = {s[V5].present, s[V12].present, s[VN5].present, s[VN12].present};
  sys.enabled = {s[SYSTEMP].alarm.enabled, s[V5].alarm.enabled, s[V12].alarm.enabled,
                 s[VN5].alarm.enabled, s[VN12].alarm.enabled};
  sys.outOfRange = {s[SYSTEMP].outOfRange, s[V5].outOfRange, s[V12].outOfRange, s[VN5].outOfRange,
                    s[VN12].outOfRange};
  MiscPageSlots& misc = slots.misc;
  misc.mbModel = s.mbModel;
  misc.alarm = alarm;
  if (board.agp != kNoChannel) misc.agp = SlotValue(s, board.agp);
}

CMainFrame::CMainFrame(MonitorState& state, hw::PortAccess& ports, RegistryStore& registry,
                       FrameHost& host, UninstallPaths paths)
    : state_(state), ports_(ports), registry_(registry), host_(host), paths_(std::move(paths)) {}

int CMainFrame::OnCreate() {
  creating_ = true;
  IdentifyHardware(state_, ports_, &boardText_);
  onKernelSensors_ = !IsIdentified(state_.hmType, state_.mbModel) && kernelSensors_ &&
                     RunOnKernelSensors(state_, *kernelSensors_,
                                        extensions_ ? extensions_->Settings().channelSensors
                                                    : KernelSensorSource::Choices{});
  if (!IsIdentified(state_.hmType, state_.mbModel)) {
    if (host_.AskYesNo(kRemovalQuestion)) {
      Uninstall();
    } else {
      OnClose();
    }
    creating_ = false;
    return -1;
  }
  normalIcon_ = kIconNormal;
  alarmIcon_ = kIconAlarmAtCreation;
  PrepareChannelTable(state_, ports_, &registry_,
                      [this](const std::string& text) { host_.Warn(text); });
  Acquire();
  ProgramBeepControl(state_, ports_);
  Publish();
  report_.createPages = state_.mbModel;
  alarmActive_ = 0;
  // The icon's tooltip is the string resource of the icon's number.
  const std::string tip = LoadStringResource(static_cast<uint32_t>(kIconNormal));
  SetTray(kIconNormal, &tip);
  StopTimer();
  if (state_.params.bAutoUpdate) ArmTimer();
  creating_ = false;
  Flush();
  return 0;
}

const FrameReport& CMainFrame::OnTimer() {
  if (destroyed_) return last_;
  ++ticks_;
  if (state_.params.bAutoUpdate) {
    Acquire();
    ProgramBeepControl(state_, ports_);
    CheckAlarms();
    normalIcon_ = kIconNormal;
    alarmIcon_ = kIconAlarm;
    SetTray(alarmActive_ ? alarmIcon_ : normalIcon_, &statusText_);
    Publish();
  }
  report_.ticked = true;
  changed_ = true;
  // One watch over the alarm episodes serves the desktop notification and the alarm commands.
  const std::vector<AlarmEpisodes::Change> changes = episodes_.Update(state_);
  report_.alarmStarts = StartsOf(state_, changes);
  if (extensions_) {
    ExtensionRunner::Outcome outcome = extensions_->OnTick(
        state_, boardText_, changes, TimerPeriodMs(state_.params.AutoUpdateInterval));
    report_.alarmCommands = std::move(outcome.runs);
    report_.warnings = std::move(outcome.warnings);
  }
  Flush();
  return last_;
}

void CMainFrame::Acquire() {
  if (onKernelSensors_)
    AcquireKernelReadings(state_, kernelSensors_->Read());
  else
    AcquireReadings(state_, ports_);
}

void CMainFrame::SetTray(int32_t icon, const std::string* tooltip) {
  if (icon == 0 && tray_.icon == 0) return;  // nothing shown, nothing to remove
  tray_.icon = icon;
  if (tooltip) tray_.tooltip = tooltip->substr(0, kTooltipChars);
  report_.tray = tray_;
  changed_ = true;
}

void CMainFrame::Flush() {
  if (!changed_) return;
  FrameReport& r = report_;
  r.tick = ticks_;
  r.status = statusText_;
  r.alarmActive = alarmActive_;
  r.currentAlarmChannel = currentAlarmChannel_;
  r.pages = slots_;
  r.timerPeriodMs = timerPeriodMs_;
  r.state = &state_;
  r.history = extensions_ ? extensions_->GetHistory() : nullptr;
  // Taken out first: rendering may lead back into the frame (a timer firing under a dialog).
  const FrameReport report = std::move(report_);
  report_ = FrameReport();
  changed_ = false;
  last_ = report;
  host_.Render(report);
}

void CMainFrame::OnClose() {
  if (destroyed_) return;
  if (!exitRequested_) {
    report_.hideFrame = true;
    changed_ = true;
    Flush();
    return;
  }
  // The beep programming's reply may still be owed: what it shows comes before the program ends.
  ports_.Settle();
  // During creation nothing has been loaded yet: saving would overwrite the stored settings with
  // the defaults, so the program ends without saving.
  std::string notSaved;
  if (!creating_) {
    saved_ = SaveSettings(state_, registry_);
    if (!saved_) notSaved = registry_.LastError();
  }
  StopTimer();
  destroyed_ = true;
  SetTray(0, nullptr);
  if (!creating_) report_.end = FrameEnd{0, saved_, notSaved};
  Flush();
}

void CMainFrame::RequestExit() {
  exitRequested_ = 1;
  OnClose();
}

void CMainFrame::OnCommand(uint32_t id) {
  if (destroyed_) return;
  switch (id) {
    case kCmdOpenCpu:
      ShowPage(Page::kCpu);
      break;
    case kCmdSystem:
      ShowPage(Page::kSystem);
      break;
    case kCmdMiscellaneous:
      ShowPage(Page::kMisc);
      break;
    case kCmdSuspend:
      RequestExit();
      break;
    case kCmdUninstall:
      Uninstall();
      break;
    case kCmdExit:
      OnClose();
      break;  // only hides: the exit flag is not set
    case kCmdSetAlarmRanges:
      SetAlarmRanges();
      break;
    case kCmdSetAppParams:
      SetAppParameters();
      break;
    default:
      break;
  }
  Flush();
}

bool CMainFrame::OnTrayInput(TrayInput input) {
  // The icon's popup menu; its first item is the default one, "Open (CPU)".
  const std::span<const MenuItem> menu = MenuResource(kMenuTray);
  if (menu.empty() || menu.front().popup.empty()) return false;
  if (input == TrayInput::kContextMenu) return true;
  OnCommand(menu.front().popup.front().id);
  return false;
}

void CMainFrame::CheckAlarms() {
  int last = -1;
  for (int item = 0; item < kChannelCount; ++item) {
    const ChannelRecord& r = state_[item];
    if (r.alarm.enabled == 0 || r.outOfRange == 0) continue;
    ComposeAlarmText(item);
    last = item;
    if (state_.params.bAlarm && !alarmDialogShown_) {
      alarmDialogShown_ = 1;
      dialogAction_ = state_.params.iWarningActs;
      dialogCondition_ = statusText_;
      dialogVisible_ = true;
      report_.openAlarmDialog = AlarmDialogView{dialogAction_, dialogCondition_};
      changed_ = true;
    }
  }
  ComposeAlarmText(last);
}

void CMainFrame::ComposeAlarmText(int channel) {
  currentAlarmChannel_ = channel;
  alarmActive_ = channel >= 0 ? 1 : 0;
  statusText_ = ComposeStatusText(state_, channel);
}

void CMainFrame::AlarmDialogOk(int32_t action) {
  if (!dialogVisible_) return;
  dialogAction_ = action;
  postedActions_.push_back(action);
}

void CMainFrame::AlarmDialogCancel() {
  dialogVisible_ = false;
}

int CMainFrame::ProcessPostedMessages() {
  int handled = 0;
  while (!postedActions_.empty()) {
    const int32_t action = postedActions_.front();
    postedActions_.pop_front();
    if (!destroyed_) OnAlarmAction(action);
    ++handled;
  }
  Flush();
  return handled;
}

void CMainFrame::OnAlarmAction(int32_t action) {
  alarmDialogShown_ = 0;
  dialogVisible_ = false;
  report_.closeAlarmDialog = true;
  changed_ = true;
  switch (action) {
    case kActionOpenMonitor:
      ShowPage(Page::kCpu);
      break;
    case kActionDisableThisAlarm:
      if (currentAlarmChannel_ >= 0 && currentAlarmChannel_ < kChannelCount)
        state_[currentAlarmChannel_].alarm.enabled = 0;
      break;
    case kActionDisableAllAlarms:
      state_.params.bAlarm = 0;
      break;
    case kActionRestart:
    case kActionShutdown:
      ShutdownOrRestart(action);
      return;
    default:
      break;
  }
  Publish();
  OnTimer();
}

void CMainFrame::ShutdownOrRestart(int32_t action) {
  // No privilege to enable: logind decides whether this user may restart or power off.
  // The kernel's sensors have no limit registers of ours to write.
  if (action == kActionRestart && !onKernelSensors_) {
    const hw::TripLimitRegisters sensors[] = {TripLimits(state_[SYSTEMP]),
                                              TripLimits(state_[CPUTEMP])};
    hw::WriteRestartTripLimits(ports_, sensors);
  }
  RequestExit();
  const PowerRequest request =
      action == kActionRestart ? PowerRequest::kReboot : PowerRequest::kPowerOff;
  if (!host_.RequestPower(request)) {
    host_.ShowMessage(action == kActionRestart ? "You have no System-Restart Privileges!"
                                               : "You have no System-Shutdown Privileges!",
                      kAppTitle);
  }
}

void CMainFrame::Publish() {
  PublishToPages(state_, slots_);
  changed_ = true;
}

void CMainFrame::ShowPage(Page page) {
  report_.showPage = page;
  changed_ = true;
}

void CMainFrame::Uninstall() {
  if (!host_.AskYesNo("Are you really want to uninstall Velmo?")) return;
  if (!paths_.autostartDir) {
    host_.ShowMessage("Open Registry failed!", kAppTitle);
    return;
  }
  const std::string entry = *paths_.autostartDir + "/" + install::kAutostartEntryName;
  std::error_code ignored;
  std::filesystem::remove(paths_.programPath, ignored);  // usually not ours to delete
  if (!paths_.guiProgramPath.empty()) std::filesystem::remove(paths_.guiProgramPath, ignored);
  std::error_code ec;
  if (std::filesystem::remove(entry, ec) && !ec) {
    host_.ShowMessage("Velmo has been uninstalled!", kAppTitle);
  }
  RequestExit();
}

void CMainFrame::SetAlarmRanges() {
  static constexpr int kChannels[6] = {CPUTEMP, SYSTEMP, V5, V12, VN5, VN12};
  AlarmRangeDialogData data;
  data.mbModel = state_.mbModel;
  for (size_t i = 0; i < 6; ++i) {
    const ChannelRecord& r = state_[kChannels[i]];
    data.channels[i] = {r.present,         r.alarm.enabled,      r.alarm.defaultEnabled,
                        r.alarm.upper,     r.alarm.lower,        r.alarm.adjustMax,
                        r.alarm.adjustMin, r.alarm.defaultUpper, r.alarm.defaultLower};
  }
  if (auto result = host_.RunAlarmRangeDialog(data)) {
    for (size_t i = 0; i < 6; ++i) {
      AlarmRange& a = state_[kChannels[i]].alarm;
      a.enabled = result->channels[i].enabled;
      a.upper = result->channels[i].upper;
      a.lower = result->channels[i].lower;
    }
  }
  Publish();
  OnTimer();
}

void CMainFrame::SetAppParameters() {
  AppParams& p = state_.params;
  if (auto result = host_.RunAppParamsDialog({p.bAutoUpdate, p.bAlarm, p.AutoUpdateInterval})) {
    p.bAutoUpdate = result->bAutoUpdate;
    p.bAlarm = result->bAlarm;
    p.AutoUpdateInterval = result->AutoUpdateInterval;
  }
  if (p.bAutoUpdate) {
    StopTimer();
    ArmTimer();
  } else {
    StopTimer();
  }
  Publish();
  OnTimer();
}

void CMainFrame::ArmTimer() {
  timerPeriodMs_ = TimerPeriodMs(state_.params.AutoUpdateInterval);
  report_.timerSet = true;
  changed_ = true;
}

void CMainFrame::StopTimer() {
  timerPeriodMs_ = 0;
  report_.timerSet = true;
  changed_ = true;
}

}  // namespace velmo::core
