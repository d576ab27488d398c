// The notification-area icon: adds, changes and removes it, receives the
// notification area's mouse and keyboard messages in a hidden window of its
// own and turns them into commands for the target window (the application's
// main window).
//
// From AddIcon to RemoveIcon the icon is wanted: an add the shell refuses (at
// sign-in its notification area is often not ready yet) is tried again every
// 2 s for a minute and at once when the shell announces itself with
// "TaskbarCreated"; that message also deletes and adds the icon again
// whatever this object believes, since any program may broadcast it. Changes
// of the icon and the tip made meanwhile are kept and go in with the next add.
//
// After every add the icon is switched to the callbacks of the third record
// version: the mouse messages come as before (icon id in wParam, the mouse
// message in lParam) and the keyboard adds NIN_KEYSELECT (Enter or Space on
// the selected icon) and WM_CONTEXTMENU (Shift+F10, the menu key; also sent
// after a right click, which has opened the menu already).
//
// Icons given by resource id are loaded at the small-icon size of the
// notification area's DPI, and again when that DPI changes.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/win/gdi.h"
#include "platform/win/window.h"
#include "ui/retry_schedule.h"

namespace qv {

class CSystemTray : public win::CWnd {
 public:
  // The first version of the notification record, which every shell takes.
  static constexpr DWORD kNotifyIconDataSize = NOTIFYICONDATAA_V1_SIZE;
  // The second version, for the two calls the first cannot make: choosing
  // the callbacks' version and handing the focus back to the notification
  // area.
  static constexpr DWORD kNotifyIconDataSizeV2 = NOTIFYICONDATAA_V2_SIZE;
  static constexpr const char* kClassName = "QuadrivueTray";

  CSystemTray();
  ~CSystemTray() override;

  // Where commands go; the application's main window.
  void SetTargetWindow(HWND target) { m_hTarget = target; }

  // Adds the icon, owned by parent's window when given, else by the tray's
  // own hidden window. id is also the resource id of the tray menu. False
  // when the first attempt failed; the retries have begun then.
  bool AddIcon(win::CWnd* parent, UINT callbackMessage, const char* tip, HICON icon, UINT id);
  // Told when a series of retries ends without the icon (attempts: every
  // try of the series); the next "TaskbarCreated" starts a new one.
  void SetGiveUpHandler(std::function<void(uint32_t attempts)> handler) { m_onGiveUp = std::move(handler); }
  // The schedule of the retries (tests shorten it).
  void SetRetrySchedule(const CRetrySchedule& schedule) { m_retry = schedule; }
  void RemoveIcon();
  // An icon given as a handle is shown as it is; one given by resource id is
  // loaded (and owned) here at the notification area's small-icon size.
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

  // The callback message: left press, right click and double click; Enter
  // or Space and the context-menu keys on the selected icon.
  LRESULT HandleNotification(WPARAM wParam, LPARAM lParam);

  bool IsIconAdded() const { return m_bIconAdded != 0; }
  bool IsRetrying() const { return m_bRetrying; }
  // The shell has had the icon at some time since AddIcon.
  bool EverAdded() const { return m_bEverAdded; }

  static constexpr UINT_PTR kRetryTimer = 1;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnTimer(UINT_PTR id) override;
  // The shell's notification call (tests put a refusing shell here).
  virtual BOOL Notify(DWORD message, NOTIFYICONDATAA* data);

 private:
  using CIconHandle = win::CGdiHandle<HICON, &::DestroyIcon>;

  // A notification the shell sends twice for one action: the second, within
  // the double-click time of the first, is absorbed.
  class CEcho {
   public:
    void Arm();
    // Counts the time from now on, when the echo is still awaited.
    void Refresh();
    // True for the echo (once).
    bool Absorb();

   private:
    bool m_bArmed = false;
    DWORD m_dwTick = 0;
  };

  // The shell forgets every icon when its notification area restarts; it
  // then broadcasts this message and the icon is added again.
  void OnTaskbarCreated();
  // One add with every field; an add that timed out may have reached the
  // shell after all, which a change then finds.
  bool TryAdd();
  // A change (icon or tip) of the wanted icon; a change the shell takes
  // shows that it has the icon.
  bool Modify(UINT flags);
  void StartRetries();
  void StopRetries();
  // Switches the icon the shell has just taken to the keyboard-aware
  // callbacks.
  void SetCallbackVersion();
  // The tray menu at the cursor (mouse) or at the icon (keyboard); 0 when
  // the menu resource is missing.
  LRESULT ShowMenu(bool byKeyboard);
  // The default item's command to the target, as a double click runs it.
  LRESULT RunDefaultCommand();
  // The icon's rectangle on the screen, where the system can tell it.
  bool IconRect(RECT* rect) const;
  // The icon of this resource at the small-icon size of m_nIconDpi.
  HICON IconFor(int resourceId);
  // The notification area's DPI may have changed: the icon is loaded again
  // at the new size (and, with tellShell, shown).
  void OnIconDpi(UINT dpi, bool tellShell);

  int32_t m_bIconAdded = 0;
  bool m_bWanted = false;
  bool m_bRetrying = false;
  bool m_bEverAdded = false;
  uint32_t m_nAttempts = 0;
  CRetrySchedule m_retry;
  std::function<void(uint32_t)> m_onGiveUp;
  NOTIFYICONDATAA m_nid{};
  UINT m_nDefaultItem = 0;
  int32_t m_bDefaultByPos = 1;
  HWND m_hTarget = nullptr;
  UINT m_nTaskbarCreated = 0;
  std::map<UINT, std::string> m_mapItemText;
  // The resource of the icon shown (0 for an icon given as a handle), the
  // DPI it was loaded for, and the icons loaded at that DPI.
  int m_nIconResource = 0;
  UINT m_nIconDpi = 0;
  std::map<int, CIconHandle> m_mapIcons;
  bool m_bMenuOpen = false;
  // The WM_CONTEXTMENU that follows a right click; the second NIN_KEYSELECT
  // of Enter.
  CEcho m_rightClickEcho;
  CEcho m_keySelectEcho;
};

}  // namespace qv
