// The notification-area icon: add, modify and delete decisions, the tooltip, and turning the
// icon's mouse notifications into commands.
#pragma once

#include <cstdint>
#include <string>

#include "monitor/core/FrameHost.h"
#include "monitor/core/Resources.h"

namespace velmo::core {

class CTrayIcon {
 public:
  // The tooltip starts as the string resource with the identifier's number.
  explicit CTrayIcon(uint32_t id);
  ~CTrayIcon();
  CTrayIcon(const CTrayIcon&) = delete;
  CTrayIcon& operator=(const CTrayIcon&) = delete;

  void Create(FrameHost& owner, uint32_t callbackMessage);
  // Icon and tooltip from the resources of this number; 0 removes the icon.
  bool SetTrayIcon(uint32_t resourceId);
  // `icon` 0 means none; a null tooltip leaves the current one.
  bool SetTrayIcon(int32_t icon, const std::string* tooltip);
  // Returns true when it handled the notification. A double click yields `*command`
  // (the first menu item) for the owner.
  bool OnTrayNotification(uint32_t wParam, uint32_t lParam, uint32_t* command);

 private:
  FrameHost* owner_ = nullptr;
  TrayIconData data_;
};

}  // namespace velmo::core
