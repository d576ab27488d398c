// The notification-area icon: adds, changes and removes it, receives the
// notification area's mouse messages in a hidden window of its own and turns
// them into commands for the target window (the application's main window).
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/win/window.h"

namespace qv {

class CSystemTray : public win::CWnd {
 public:
  // The first version of the notification record, which every shell takes.
  static constexpr DWORD kNotifyIconDataSize = NOTIFYICONDATAA_V1_SIZE;
  static constexpr const char* kClassName = "QuadrivueTray";

  CSystemTray();
  ~CSystemTray() override;

  // Where commands go; the application's main window.
  void SetTargetWindow(HWND target) { m_hTarget = target; }

  // Adds the icon, owned by parent's window when given, else by the tray's
  // own hidden window. id is also the resource id of the tray menu.
  bool AddIcon(win::CWnd* parent, UINT callbackMessage, const char* tip, HICON icon, UINT id);
  void RemoveIcon();
  bool ChangeIcon(HICON icon);
  bool ChangeIcon(int resourceId);
  bool SetDefaultMenuItem(UINT item, bool byPosition);
  // The icon's tip (63 characters at most).
  bool SetTip(const char* tip);
  // The text the menu item with this command shows from now on.
  void SetMenuItemText(UINT command, std::string text);
  // The tray menu as the next right click shows it (texts applied); the
  // caller destroys it.
  HMENU LoadTrayMenu() const;

  // The callback message: left press, right click and double click.
  LRESULT HandleNotification(WPARAM wParam, LPARAM lParam);

  bool IsIconAdded() const { return m_bIconAdded != 0; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The shell forgets every icon when its notification area restarts; it
  // then broadcasts this message and the icon is added again.
  void OnTaskbarCreated();

  int32_t m_bIconAdded = 0;
  NOTIFYICONDATAA m_nid{};
  UINT m_nDefaultItem = 0;
  int32_t m_bDefaultByPos = 1;
  HWND m_hTarget = nullptr;
  UINT m_nTaskbarCreated = 0;
  std::map<UINT, std::string> m_mapItemText;
};

}  // namespace qv
