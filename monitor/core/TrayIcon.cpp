#include "monitor/core/TrayIcon.h"

namespace velmo::core {

CTrayIcon::CTrayIcon(uint32_t id) {
  data_.id = id;
  data_.tooltip = LoadStringResource(id).substr(0, kTooltipChars);
}

CTrayIcon::~CTrayIcon() {
  SetTrayIcon(0u);
}

void CTrayIcon::Create(FrameHost& owner, uint32_t callbackMessage) {
  owner_ = &owner;
  data_.callbackMessage = callbackMessage;
}

bool CTrayIcon::SetTrayIcon(uint32_t resourceId) {
  if (resourceId == 0) return SetTrayIcon(0, nullptr);
  // The resource's string goes straight into the tooltip field (empty when there is none).
  data_.tooltip = LoadStringResource(resourceId).substr(0, kTooltipChars);
  return SetTrayIcon(static_cast<int32_t>(resourceId), nullptr);
}

bool CTrayIcon::SetTrayIcon(int32_t icon, const std::string* tooltip) {
  data_.hasMessage = data_.hasIcon = data_.hasTip = false;
  TrayOp op = TrayOp::kDelete;
  if (icon != 0) {
    const int32_t previous = data_.icon;
    data_.icon = icon;
    data_.hasIcon = true;
    op = previous != 0 ? TrayOp::kModify : TrayOp::kAdd;
  } else if (data_.icon == 0) {
    return true;  // nothing shown, nothing to remove
  }
  if (tooltip) data_.tooltip = tooltip->substr(0, kTooltipChars);
  data_.hasTip = !data_.tooltip.empty();
  data_.hasMessage = data_.callbackMessage != 0 && owner_ != nullptr;
  const bool ok = owner_ != nullptr && owner_->NotifyTray(op, data_);
  // Forgetting the icon after a failure makes the next update add it again (this also restores
  // it after the notification area was rebuilt).
  if (op == TrayOp::kDelete || !ok) data_.icon = 0;
  return ok;
}

bool CTrayIcon::OnTrayNotification(uint32_t wParam, uint32_t lParam, uint32_t* command) {
  if (wParam != data_.id || (lParam != kWmRButtonUp && lParam != kWmLButtonDblClk)) return false;
  if (owner_ == nullptr) return false;
  // The popup menu of the icon's own number, its first submenu.
  const std::span<const MenuItem> menu = MenuResource(data_.id);
  if (menu.empty() || menu.front().popup.empty()) return false;
  if (lParam == kWmRButtonUp) {
    owner_->ShowTrayMenu();
  } else if (command) {
    *command = menu.front().popup.front().id;  // the default item, "Open (CPU)"
  }
  return true;
}

}  // namespace velmo::core
