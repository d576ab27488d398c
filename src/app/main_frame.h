// The hidden main frame: owns the tray icon, the monitor list, a show window
// on each chosen monitor and the file-list rebuilder, and answers the tray
// menu's commands and those a later start of the program hands over.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/hotkey_registration.h"
#include "app/monitor_choice.h"
#include "library/file_list_rebuilder.h"
#include "library/show_app.h"
#include "platform/win/window.h"
#include "show/rest_state.h"
#include "show/show_wnd.h"
#include "ui/settings_dialog.h"
#include "ui/system_tray.h"

namespace qv {

class CMainFrame : public win::CWnd, private CShowWnd::IOwner {
 public:
  static constexpr const char* kClassName = "QuadrivueFrame";
  static constexpr const char* kTitle = "Quadrivue";
  // The tray icon's callback message: the first user message plus 10.
  static constexpr UINT kTrayMessage = WM_USER + 10;
  // Posted by the rebuilder's thread when a rebuild has ended.
  static constexpr UINT kRebuildDoneMessage = WM_APP + 2;
  // A handed-over command, run after the hand-over's message has returned.
  static constexpr UINT kDeferredCommandMessage = WM_APP + 3;
  // Asked by tests from outside: the process's GDI objects now.
  static constexpr WPARAM kQueryGdiObjects = 100;

  CMainFrame(CShowApp& app, uint64_t instanceKey);
  ~CMainFrame() override;

  // Creates the frame (never shown): tray icon, monitors, show windows.
  bool Create();

  void AddMonitor(bool primary, const RECT& work);
  const std::vector<CMonitorEntry>& Monitors() const { return m_arrMonitors; }

  void OnSettings();
  void OnAbout();
  void OnHomePage();
  void OnTrayLeftClick();
  // Pauses or resumes the show; the tray's menu item and tip say which.
  void OnPauseShow();
  bool IsPaused() const { return m_bPaused; }
  // A command-line word handed over by a later start.
  void OnRemoteCommand(ERemoteCommand command);
  // The session locked or disconnected, or back (a WM_WTSSESSION_CHANGE
  // event); a power setting's new value (the display's state, the power
  // source): the shows rest or start again.
  void OnSessionChange(WPARAM event);
  void OnPowerSetting(const GUID& setting, DWORD value);
  // After the settings: "Pause on battery" as it is now.
  void ApplyRestOptions();
  bool IsResting() const { return m_rest.Resting(); }

 protected:
  int OnCreate(CREATESTRUCTA* create) override;
  void OnDestroy() override;
  bool OnCommand(UINT id, UINT notifyCode) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnEndSession(bool ending) override;

 private:
  // CShowWnd::IOwner
  void OnSlideSettled(CShowWnd& show) override;
  void OnStartUpdateDue(CShowWnd& show) override;

  // The monitors now; the system's error when it could not say.
  uint32_t EnumerateMonitors();
  // Monitors added or removed, or a work area moved: the monitors are
  // enumerated again and the show goes over its monitor's work area now.
  void OnMonitorsChanged();
  // One show per chosen monitor, each pinned over its work area: shows are
  // kept in order and moved, made for monitors added to the choice, and
  // closed for those that have left it. Returns the shows it made (they
  // have started themselves).
  std::set<const CShowWnd*> SyncShows();
  // The tray icon's retries ran out: before the icon was ever there the
  // program cannot be reached and ends; later only the log hears of it.
  void OnTrayGaveUp(uint32_t attempts);
  void OnRebuildDone();
  LRESULT OnRemoteCommandMessage(WPARAM command);
  // A system-wide key: its action on the show under the mouse pointer.
  void OnHotkey(EHotkeyAction action);
  static RECT ToRect(const CMonitorRect& rect);
  // Asks the system for the session's and the power's notices; none is
  // needed to run, so a refusal is only logged.
  void RegisterRestNotices();
  void UnregisterRestNotices();
  // Whether the machine runs on battery now, as the system tells.
  void ReadPowerStatus();
  // Every show rests, or starts again, with m_rest.
  void ApplyRest();

  CShowApp& m_app;
  uint64_t m_nInstanceKey;
  UINT m_nRemoteCommandMessage = 0;
  CSystemTray m_TrayIcon;
  std::vector<CMonitorEntry> m_arrMonitors;
  std::vector<std::unique_ptr<CShowWnd>> m_arrShows;
  // Shows preparing the picture a tray press asked for (icon 135 meanwhile).
  std::set<const CShowWnd*> m_setBusyShows;
  CSettingsDlg* m_pOpenSettings = nullptr;
  bool m_bPaused = false;  // not saved: every start runs the show
  bool m_bStartRebuildDone = false;
  CRestState m_rest;
  bool m_bSessionNotices = false;
  HPOWERNOTIFY m_hDisplayNotice = nullptr;
  HPOWERNOTIFY m_hSourceNotice = nullptr;
  int32_t m_nMonitorSetting = -1;  // the monitor as the settings name it (-1: automatic)
  std::string m_strShowError;      // why the last show window could not be made
  // Last: its thread ends before anything it reports to goes.
  CFileListRebuilder m_rebuilder;
  CHotkeyRegistration m_hotkeys;
};

}  // namespace qv
