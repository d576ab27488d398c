// The hidden main frame: owns the tray icon, the monitor list and a show
// window on each chosen monitor, and answers the tray menu's commands.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "app/monitor_choice.h"
#include "library/show_app.h"
#include "platform/win/window.h"
#include "show/show_wnd.h"
#include "ui/settings_dialog.h"
#include "ui/system_tray.h"

namespace qv {

class CMainFrame : public win::CWnd {
 public:
  static constexpr const char* kClassName = "QuadrivueFrame";
  static constexpr const char* kTitle = "Quadrivue";
  // The tray icon's callback message: the first user message plus 10.
  static constexpr UINT kTrayMessage = WM_USER + 10;

  explicit CMainFrame(CShowApp& app);
  ~CMainFrame() override;

  // Creates the frame (never shown): tray icon, monitors, show window.
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

 protected:
  int OnCreate(CREATESTRUCTA* create) override;
  void OnDestroy() override;
  bool OnCommand(UINT id, UINT notifyCode) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnEndSession(bool ending) override;

 private:
  void EnumerateMonitors();
  // Monitors added or removed, or a work area moved: the monitors are
  // enumerated again and the show goes over its monitor's work area now.
  void OnMonitorsChanged();
  // One show per chosen monitor, each pinned over its work area: shows are
  // kept in order and moved, made for monitors added to the choice, and
  // closed for those that have left it.
  void SyncShows();
  static RECT ToRect(const CMonitorRect& rect);

  CShowApp& m_app;
  CSystemTray m_TrayIcon;
  std::vector<CMonitorEntry> m_arrMonitors;
  std::vector<std::unique_ptr<CShowWnd>> m_arrShows;
  CSettingsDlg* m_pOpenSettings = nullptr;
  bool m_bPaused = false;
  int32_t m_nMonitorSetting =
      -1;  // the monitor as the settings name it (-1: automatic)  // not saved: every start runs the show
};

}  // namespace qv
