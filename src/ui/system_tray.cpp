#include "ui/system_tray.h"

#include <cstring>
#include <utility>

#include "platform/log.h"
#include "res/resource.h"
#include "ui/icon_size.h"

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

template <class F>
F SystemFunction(HMODULE module, const char* name) {
  return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// The DPI of the notification area: that of the primary monitor, whose
// taskbar holds it. The system DPI where the system cannot tell a monitor's.
UINT NotificationAreaDpi() {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto getDpiForMonitor = SystemFunction<GetDpiForMonitorFn>(
      ::LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "GetDpiForMonitor");
  constexpr int kEffectiveDpi = 0;
  UINT dpiX = 0;
  UINT dpiY = 0;
  if (getDpiForMonitor &&
      SUCCEEDED(
          getDpiForMonitor(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), kEffectiveDpi, &dpiX, &dpiY)) &&
      dpiX != 0)
    return dpiX;
  const win::CWindowDC screen(HWND{nullptr});
  const int dpi = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

// The small-icon size at a DPI, as the system gives it where it can.
int SmallIconSize(UINT dpi) {
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  static const auto forDpi =
      SystemFunction<GetSystemMetricsForDpiFn>(::GetModuleHandleA("user32.dll"), "GetSystemMetricsForDpi");
  const int size = forDpi ? forDpi(SM_CXSMICON, dpi) : 0;
  return size > 0 ? size : SmallIconSizeForDpi(dpi);
}

// An icon resource at size x size pixels, owned by the caller. Scaled down
// from a larger picture where the resource lacks that size and the system
// can do so; otherwise the system picks the nearest picture and stretches it.
HICON LoadIconAt(int resourceId, int size) {
  using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  static const auto scaleDown =
      SystemFunction<LoadIconWithScaleDownFn>(::GetModuleHandleA("comctl32.dll"), "LoadIconWithScaleDown");
  HICON icon = nullptr;
  if (scaleDown && SUCCEEDED(scaleDown(win::ProgramInstance(), MAKEINTRESOURCEW(resourceId), size, size, &icon)) &&
      icon)
    return icon;
  return static_cast<HICON>(
      ::LoadImageA(win::ProgramInstance(), MAKEINTRESOURCEA(resourceId), IMAGE_ICON, size, size, 0));
}

}  // namespace

void CSystemTray::CEcho::Arm() {
  m_bArmed = true;
  m_dwTick = ::GetTickCount();
}

void CSystemTray::CEcho::Refresh() {
  if (m_bArmed) Arm();
}

bool CSystemTray::CEcho::Absorb() {
  const bool echo = m_bArmed && ::GetTickCount() - m_dwTick <= ::GetDoubleClickTime();
  m_bArmed = false;
  return echo;
}

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
  m_nIconResource = 0;
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
  SetCallbackVersion();
  StopRetries();
  return added;
}

void CSystemTray::SetCallbackVersion() {
  // Only this call (and the focus hand-back) takes the larger record; every
  // other call keeps the first version, which every shell knows.
  NOTIFYICONDATAA nid = m_nid;
  nid.cbSize = kNotifyIconDataSizeV2;
  nid.uFlags = 0;
  nid.uVersion = NOTIFYICON_VERSION;
  if (!Notify(NIM_SETVERSION, &nid))
    Log("The notification area kept the older callbacks of Quadrivue's icon: it answers the mouse only.");
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
    // An add that seemed to fail had reached the shell.
    m_bIconAdded = 1;
    m_bEverAdded = true;
    SetCallbackVersion();
    StopRetries();
  }
  return changed;
}

bool CSystemTray::ChangeIcon(HICON icon) {
  if (!m_bWanted) return false;
  m_nid.hIcon = icon;
  m_nIconResource = 0;
  return Modify(NIF_ICON);
}

bool CSystemTray::ChangeIcon(int resourceId) {
  if (!m_bWanted) return false;
  if (m_nIconDpi == 0) m_nIconDpi = NotificationAreaDpi();
  m_nid.hIcon = IconFor(resourceId);
  m_nIconResource = resourceId;
  return Modify(NIF_ICON);
}

HICON CSystemTray::IconFor(int resourceId) {
  auto found = m_mapIcons.find(resourceId);
  if (found == m_mapIcons.end()) {
    found = m_mapIcons.emplace(resourceId, CIconHandle(LoadIconAt(resourceId, SmallIconSize(m_nIconDpi)))).first;
  }
  return found->second.Get();
}

void CSystemTray::OnIconDpi(UINT dpi, bool tellShell) {
  if (dpi == 0 || dpi == m_nIconDpi) return;
  // The icons of the former size go once the shell has the new one.
  const std::map<int, CIconHandle> former = std::exchange(m_mapIcons, {});
  m_nIconDpi = dpi;
  if (m_nIconResource == 0) return;
  m_nid.hIcon = IconFor(m_nIconResource);
  if (tellShell) Modify(NIF_ICON);
}

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
  switch (LOWORD(lParam)) {
    case WM_RBUTTONUP: {
      // The shell follows the click with WM_CONTEXTMENU, often while this
      // menu is still open; counted from its closing, that one is absorbed.
      m_rightClickEcho.Arm();
      const LRESULT shown = ShowMenu(false);
      m_rightClickEcho.Refresh();
      return shown;
    }
    case WM_CONTEXTMENU:
      if (m_rightClickEcho.Absorb()) return 1;
      return ShowMenu(true);
    case WM_LBUTTONDBLCLK:
      return RunDefaultCommand();
    case NIN_KEYSELECT: {
      // The shell announces Enter twice (Space once).
      if (m_keySelectEcho.Absorb()) return 1;
      const LRESULT result = RunDefaultCommand();
      m_keySelectEcho.Arm();
      return result;
    }
    case WM_LBUTTONDOWN:
      ::SendMessageA(m_hTarget, WM_COMMAND, ID_NEXT_PICTURE, 0);
      return 1;
    default:
      // NIN_SELECT among them: the left press has advanced the show already.
      return 1;
  }
}

LRESULT CSystemTray::ShowMenu(bool byKeyboard) {
  if (m_bMenuOpen) return 1;
  const HWND target = m_hTarget;
  const CTrayMenu menu(LoadTrayMenu());
  if (!menu.Sub()) return 0;
  ::SetMenuDefaultItem(menu.Sub(), m_nDefaultItem, m_bDefaultByPos);
  POINT at{};
  ::GetCursorPos(&at);
  RECT icon{};
  const bool atIcon = byKeyboard && IconRect(&icon);
  ::SetForegroundWindow(target);
  m_bMenuOpen = true;
  UINT command = 0;
  if (!byKeyboard) {
    // The chosen command reaches the target as WM_COMMAND.
    ::TrackPopupMenu(menu.Sub(), TPM_LEFTALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, target, nullptr);
  } else if (atIcon) {
    // Above the icon, or below it when the taskbar is at the top; never
    // over it.
    TPMPARAMS around{static_cast<UINT>(sizeof(TPMPARAMS)), icon};
    command = static_cast<UINT>(
        ::TrackPopupMenuEx(menu.Sub(), TPM_LEFTALIGN | TPM_BOTTOMALIGN | TPM_VERTICAL | TPM_LEFTBUTTON | TPM_RETURNCMD,
                           icon.left, icon.top, target, &around));
  } else {
    command = static_cast<UINT>(
        ::TrackPopupMenuEx(menu.Sub(), TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD, at.x, at.y, target, nullptr));
  }
  m_bMenuOpen = false;
  // Without this message the menu would not close when the user clicks
  // elsewhere.
  ::PostMessageA(target, WM_NULL, 0, 0);
  if (command != 0) {
    ::PostMessageA(target, WM_COMMAND, command, 0);
  } else if (byKeyboard) {
    // Closed with Escape: the keyboard user goes on in the notification area.
    NOTIFYICONDATAA nid = m_nid;
    nid.cbSize = kNotifyIconDataSizeV2;
    nid.uFlags = 0;
    Notify(NIM_SETFOCUS, &nid);
  }
  return 1;
}

LRESULT CSystemTray::RunDefaultCommand() {
  const HWND target = m_hTarget;
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

bool CSystemTray::IconRect(RECT* rect) const {
  using GetRectFn = HRESULT(WINAPI*)(const NOTIFYICONIDENTIFIER*, RECT*);
  static const auto getRect = SystemFunction<GetRectFn>(::GetModuleHandleA("shell32.dll"), "Shell_NotifyIconGetRect");
  if (!getRect) return false;
  NOTIFYICONIDENTIFIER which{};
  which.cbSize = sizeof which;
  which.hWnd = m_nid.hWnd;
  which.uID = m_nid.uID;
  return SUCCEEDED(getRect(&which, rect)) && rect->right > rect->left && rect->bottom > rect->top;
}

void CSystemTray::OnTaskbarCreated() {
  if (!m_bWanted) return;
  // A restarted shell may run at another scale.
  OnIconDpi(NotificationAreaDpi(), false);
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
  switch (message) {
    case WM_DPICHANGED:
      // The window sits on the primary monitor, with the notification area.
      OnIconDpi(LOWORD(wParam), true);
      return 0;
    case WM_SETTINGCHANGE:
    case WM_DISPLAYCHANGE:
      // Whether a hidden window hears of a change of scale by WM_DPICHANGED
      // is not promised; these two are broadcast to every top-level window,
      // hidden ones too, when the scale or the displays change.
      OnIconDpi(NotificationAreaDpi(), true);
      break;
    default:
      break;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

}  // namespace qv
