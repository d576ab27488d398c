// The notification-area icon: adds, changes and removes it, receives the
// notification area's mouse messages in a hidden window of its own and turns
// them into commands for the target window (the application's main window).
//
// From AddIcon to RemoveIcon the icon is wanted: an add the shell refuses (at
// sign-in its notification area is often not ready yet) is tried again every
// 2 s for a minute and at once when the shell announces itself with
// "TaskbarCreated"; that message also deletes and adds the icon again
// whatever this object believes, since any program may broadcast it. Changes
// of the icon and the tip made meanwhile are kept and go in with the next add.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/win/window.h"
#include "ui/retry_schedule.h"

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
  // own hidden window. id is also the resource id of the tray menu. False
  // when the first attempt failed; the retries have begun then.
  bool AddIcon(win::CWnd* parent, UINT callbackMessage, const char* tip, HICON icon, UINT id);
  // Told when a series of retries ends without the icon (attempts: every
  // try of the series); the next "TaskbarCreated" starts a new one.
  void SetGiveUpHandler(std::function<void(uint32_t attempts)> handler) { m_onGiveUp = std::move(handler); }
  // The schedule of the retries (tests shorten it).
  void SetRetrySchedule(const CRetrySchedule& schedule) { m_retry = schedule; }
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
};

}  // namespace qv
