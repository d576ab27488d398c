#include "ui/system_tray.h"

#include <cstring>

#include "platform/log.h"
#include "res/resource.h"

namespace qv {

namespace {

constexpr UINT kFlagsAll = NIF_MESSAGE | NIF_ICON | NIF_TIP;

// The menu resource and its first submenu, destroyed together at the end.
class CTrayMenu {
 public:
  explicit CTrayMenu(HMENU menu) : m_hMenu(menu), m_hSub(menu ? ::GetSubMenu(menu, 0) : nullptr) {}
  CTrayMenu(const CTrayMenu&) = delete;
  CTrayMenu& operator=(const CTrayMenu&) = delete;
  ~CTrayMenu() {
    if (m_hMenu) ::DestroyMenu(m_hMenu);
  }
  HMENU Sub() const { return m_hSub; }

 private:
  HMENU m_hMenu;
  HMENU m_hSub;
};

}  // namespace

CSystemTray::CSystemTray() { m_nTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated"); }

CSystemTray::~CSystemTray() {
  RemoveIcon();
  DestroyWindow();
}

bool CSystemTray::AddIcon(win::CWnd* parent, UINT callbackMessage, const char* tip, HICON icon, UINT id) {
  if (LOBYTE(LOWORD(::GetVersion())) < 4) {
    m_bIconAdded = 0;
    return false;
  }
  if (!GetSafeHwnd()) {
    RegisterClassOnce(kClassName, 0, nullptr, nullptr, nullptr);
    CreateEx(0, kClassName, "", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, nullptr);
  }
  m_nid = NOTIFYICONDATAA{};
  m_nid.cbSize = kNotifyIconDataSize;
  m_nid.hWnd = parent && parent->GetSafeHwnd() ? parent->GetSafeHwnd() : GetSafeHwnd();
  m_nid.uID = id;
  m_nid.hIcon = icon;
  m_nid.uCallbackMessage = callbackMessage;
  m_nid.uFlags = kFlagsAll;
  if (tip) {
    // The first version's tip holds 63 characters and the terminator.
    std::strncpy(m_nid.szTip, tip, 63);
    m_nid.szTip[63] = '\0';
  }
  m_bWanted = true;
  m_bEverAdded = false;
  m_nAttempts = 0;
  if (TryAdd()) return true;
  StartRetries();
  return false;
}

BOOL CSystemTray::Notify(DWORD message, NOTIFYICONDATAA* data) { return ::Shell_NotifyIconA(message, data); }

bool CSystemTray::TryAdd() {
  ++m_nAttempts;
  m_nid.uFlags = kFlagsAll;
  const bool added = Notify(NIM_ADD, &m_nid) || Notify(NIM_MODIFY, &m_nid);
  m_bIconAdded = added ? 1 : 0;
  if (!added) return false;
  m_bEverAdded = true;
  StopRetries();
  return added;
}

void CSystemTray::StartRetries() {
  if (!GetSafeHwnd()) return;
  m_retry.Restart();
  if (!m_retry.NextAfterFailure()) return;
  m_bRetrying = true;
  ::SetTimer(m_hWnd, kRetryTimer, m_retry.IntervalMs(), nullptr);
  Log("The notification area did not take Quadrivue's icon; trying again every " +
      std::to_string(m_retry.IntervalMs() / 1000) + " s.");
}

void CSystemTray::StopRetries() {
  if (!m_bRetrying) return;
  m_bRetrying = false;
  if (GetSafeHwnd()) ::KillTimer(m_hWnd, kRetryTimer);
  Log("The notification area took Quadrivue's icon after " + std::to_string(m_nAttempts) + " tries.");
}

void CSystemTray::OnTimer(UINT_PTR id) {
  if (id != kRetryTimer) {
    Default();
    return;
  }
  if (!m_bWanted || TryAdd()) return;
  if (m_retry.NextAfterFailure()) return;
  ::KillTimer(m_hWnd, kRetryTimer);
  m_bRetrying = false;
  Log("The notification area refused Quadrivue's icon " + std::to_string(m_nAttempts) + " times.");
  if (m_onGiveUp) m_onGiveUp(m_nAttempts);
}

void CSystemTray::RemoveIcon() {
  if (m_bRetrying && GetSafeHwnd()) ::KillTimer(m_hWnd, kRetryTimer);
  m_bRetrying = false;
  // Deleted even when the last add seemed to fail: it may have arrived.
  if (!m_bWanted && !m_bIconAdded) return;
  m_nid.uFlags = 0;
  Notify(NIM_DELETE, &m_nid);
  m_bIconAdded = 0;
  m_bWanted = false;
}

bool CSystemTray::Modify(UINT flags) {
  if (!m_bWanted) return false;
  m_nid.uFlags = flags;
  const bool changed = Notify(NIM_MODIFY, &m_nid) != FALSE;
  if (changed && !m_bIconAdded) {
    m_bIconAdded = 1;
    m_bEverAdded = true;
    StopRetries();
  }
  return changed;
}

bool CSystemTray::ChangeIcon(HICON icon) {
  if (!m_bWanted) return false;
  m_nid.hIcon = icon;
  return Modify(NIF_ICON);
}

bool CSystemTray::ChangeIcon(int resourceId) { return ChangeIcon(win::LoadSmallIcon(resourceId)); }

bool CSystemTray::SetDefaultMenuItem(UINT item, bool byPosition) {
  if (m_nDefaultItem == item && (m_bDefaultByPos != 0) == byPosition) return true;
  m_nDefaultItem = item;
  m_bDefaultByPos = byPosition ? 1 : 0;
  const CTrayMenu menu(LoadTrayMenu());
  if (!menu.Sub()) return false;
  ::SetMenuDefaultItem(menu.Sub(), item, byPosition ? TRUE : FALSE);
  return true;
}

HMENU CSystemTray::LoadTrayMenu() const {
  const HMENU menu = ::LoadMenuA(win::ProgramInstance(), MAKEINTRESOURCEA(m_nid.uID));
  const HMENU sub = menu ? ::GetSubMenu(menu, 0) : nullptr;
  for (const auto& [command, text] : m_mapItemText) {
    if (sub) ::ModifyMenuA(sub, command, MF_BYCOMMAND | MF_STRING, command, text.c_str());
  }
  return menu;
}

bool CSystemTray::SetTip(const char* tip) {
  std::strncpy(m_nid.szTip, tip ? tip : "", 63);
  m_nid.szTip[63] = '\0';
  return Modify(NIF_TIP);
}

void CSystemTray::SetMenuItemText(UINT command, std::string text) { m_mapItemText[command] = std::move(text); }

LRESULT CSystemTray::HandleNotification(WPARAM wParam, LPARAM lParam) {
  if (wParam != m_nid.uID) return 0;
  const HWND target = m_hTarget;
  switch (LOWORD(lParam)) {
    case WM_RBUTTONUP: {
      const CTrayMenu menu(LoadTrayMenu());
      if (!menu.Sub()) return 0;
      ::SetMenuDefaultItem(menu.Sub(), m_nDefaultItem, m_bDefaultByPos);
      POINT at{};
      ::GetCursorPos(&at);
      ::SetForegroundWindow(target);
      ::TrackPopupMenu(menu.Sub(), TPM_LEFTALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, target, nullptr);
      // Without this message the menu would not close when the user clicks
      // elsewhere.
      ::PostMessageA(target, WM_NULL, 0, 0);
      return 1;
    }
    case WM_LBUTTONDBLCLK: {
      ::SetForegroundWindow(target);
      UINT command = m_nDefaultItem;
      if (m_bDefaultByPos) {
        const CTrayMenu menu(LoadTrayMenu());
        if (!menu.Sub()) return 0;
        command = ::GetMenuItemID(menu.Sub(), static_cast<int>(m_nDefaultItem));
      }
      ::SendMessageA(target, WM_COMMAND, command, 0);
      return 1;
    }
    case WM_LBUTTONDOWN:
      ::SendMessageA(target, WM_COMMAND, ID_NEXT_PICTURE, 0);
      return 1;
    default:
      return 1;
  }
}

void CSystemTray::OnTaskbarCreated() {
  if (!m_bWanted) return;
  m_nid.uFlags = 0;
  Notify(NIM_DELETE, &m_nid);
  m_bIconAdded = 0;
  if (TryAdd()) return;
  if (!m_bRetrying) StartRetries();
}

LRESULT CSystemTray::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == m_nid.uCallbackMessage && message != 0) return HandleNotification(wParam, lParam);
  if (message == m_nTaskbarCreated && m_nTaskbarCreated != 0) {
    OnTaskbarCreated();
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

}  // namespace qv
