#include "app/main_frame.h"

#include <utility>

#include "res/resource.h"
#include "ui/about_info.h"
#include "ui/settings_dialog.h"

namespace qv {

namespace {

using EnumDisplayMonitorsFn = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);

struct CMonitorApi {
  EnumDisplayMonitorsFn enumerate = nullptr;
  GetMonitorInfoFn info = nullptr;
};

// Looked up at run time: systems without them have a single monitor.
CMonitorApi LookUpMonitorApi() {
  CMonitorApi api;
  if (const HMODULE user = ::GetModuleHandleA("user32.dll")) {
    api.enumerate =
        reinterpret_cast<EnumDisplayMonitorsFn>(reinterpret_cast<void*>(::GetProcAddress(user, "EnumDisplayMonitors")));
    api.info = reinterpret_cast<GetMonitorInfoFn>(reinterpret_cast<void*>(::GetProcAddress(user, "GetMonitorInfoA")));
  }
  return api;
}

struct CEnumContext {
  CMainFrame* frame;
  GetMonitorInfoFn info;
};

BOOL CALLBACK MonitorEnumProc(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  const auto* context = reinterpret_cast<const CEnumContext*>(data);
  MONITORINFOEXA record{};
  record.cbSize = sizeof record;
  if (context->info(monitor, &record))
    context->frame->AddMonitor(record.dwFlags == MONITORINFOF_PRIMARY, record.rcWork);
  // Monitors that cannot be read are skipped; the enumeration goes on.
  return TRUE;
}

}  // namespace

CMainFrame::CMainFrame(CShowApp& app) : m_app(app) {}

CMainFrame::~CMainFrame() { DestroyWindow(); }

bool CMainFrame::Create() {
  RegisterClassOnce(kClassName, 0, ::LoadCursorA(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                    win::LoadLargeIcon(IDR_MAINFRAME));
  const HMENU menu = ::LoadMenuA(win::ProgramInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME));
  const RECT where{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
  if (CreateEx(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, where, nullptr, menu)) return true;
  // A window that was never made does not own its menu.
  if (menu && !::GetMenu(m_hWnd)) ::DestroyMenu(menu);
  return false;
}

int CMainFrame::OnCreate(CREATESTRUCTA* create) {
  if (CWnd::OnCreate(create) == -1) return -1;
  m_TrayIcon.SetTargetWindow(m_hWnd);
  if (!m_TrayIcon.AddIcon(nullptr, kTrayMessage, kTitle, nullptr, IDR_TRAYMENU)) return -1;
  m_TrayIcon.ChangeIcon(IDI_TRAY);
  // A double click on the tray icon runs "Visit Home Page...".
  m_TrayIcon.SetDefaultMenuItem(1, true);

  EnumerateMonitors();
  if (m_arrMonitors.empty()) {
    win::ShowMessageBox(nullptr, "Error, Cannot Enumerate Monitors!", MB_OK);
    return -1;
  }
  m_nMonitorSetting = m_app.m_nMonitor;
  m_app.m_nMonitor = ResolveMonitorIndex(m_app.m_nMonitor, m_arrMonitors);
  // A show window that cannot be made leaves the tray icon, so the settings
  // can still be opened.
  SyncShows();
  return 0;
}

void CMainFrame::EnumerateMonitors() {
  m_arrMonitors.clear();
  const CMonitorApi api = LookUpMonitorApi();
  if (api.enumerate && api.info) {
    CEnumContext context{this, api.info};
    api.enumerate(nullptr, nullptr, &MonitorEnumProc, reinterpret_cast<LPARAM>(&context));
    return;
  }
  RECT work{};
  if (::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) AddMonitor(true, work);
}

void CMainFrame::AddMonitor(bool primary, const RECT& work) {
  CMonitorEntry entry;
  entry.m_rcWork = CMonitorRect{work.left, work.top, work.right, work.bottom};
  entry.m_bPrimary = primary ? 1 : 0;
  m_arrMonitors.push_back(entry);
}

RECT CMainFrame::ToRect(const CMonitorRect& rect) { return RECT{rect.left, rect.top, rect.right, rect.bottom}; }

bool CMainFrame::OnCommand(UINT id, UINT) {
  switch (id) {
    case ID_SETTINGS:
      OnSettings();
      return true;
    case ID_HOMEPAGE:
      OnHomePage();
      return true;
    case ID_NEXT_PICTURE:
      OnTrayLeftClick();
      return true;
    case ID_PAUSE_SHOW:
      OnPauseShow();
      return true;
    case ID_APP_ABOUT:
      OnAbout();
      return true;
    case ID_APP_EXIT:
      ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
      return true;
    default:
      return false;
  }
}

void CMainFrame::OnSettings() {
  // The tray menu stays reachable while the dialog runs: a second Settings
  // brings the open dialog forward instead of editing the record twice.
  if (m_pOpenSettings) {
    if (const HWND open = m_pOpenSettings->GetSafeHwnd()) ::SetForegroundWindow(open);
    return;
  }
  CSettingsDlg dialog(m_app, nullptr);
  for (size_t i = 0; i < m_arrMonitors.size(); ++i)
    dialog.m_arrMonitorNames.push_back(MonitorLabel(static_cast<int32_t>(i), m_arrMonitors[i].m_bPrimary != 0));
  m_pOpenSettings = &dialog;
  const INT_PTR result = dialog.DoModal();
  m_pOpenSettings = nullptr;
  // A monitor the list did not offer is never used as an index: the shows
  // stay where they are.
  const int32_t chosen = m_app.m_nMonitor;
  if (result == IDOK && chosen >= 0 && static_cast<size_t>(chosen) < m_arrMonitors.size()) {
    m_nMonitorSetting = chosen;
    m_app.SaveMonitorMask();
    SyncShows();
  }
  for (const auto& show : m_arrShows) show->StartShow();
}

void CMainFrame::SyncShows() {
  const std::vector<int32_t> chosen =
      ChosenMonitors(m_app.m_nMonitor, static_cast<uint32_t>(m_app.m_nMonitorMask), m_arrMonitors.size());
  if (m_arrShows.size() > chosen.size()) m_arrShows.resize(chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) {
    const RECT work = ToRect(m_arrMonitors[static_cast<size_t>(chosen[i])].m_rcWork);
    if (i < m_arrShows.size()) {
      CShowWnd& show = *m_arrShows[i];
      show.m_rcMonitor = work;
      if (show.GetSafeHwnd())
        ::MoveWindow(show.GetSafeHwnd(), work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
      continue;
    }
    auto show = std::make_unique<CShowWnd>(m_app);
    show->Create(work, m_hWnd);
    if (m_bPaused) show->SetPaused(true);
    m_arrShows.push_back(std::move(show));
  }
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DISPLAYCHANGE || (message == WM_SETTINGCHANGE && wParam == SPI_SETWORKAREA)) OnMonitorsChanged();
  return CWnd::WindowProc(message, wParam, lParam);
}

void CMainFrame::OnMonitorsChanged() {
  std::vector<CMonitorEntry> before = m_arrMonitors;
  EnumerateMonitors();
  // Without any monitor the show stays where it was until the next change.
  if (m_arrMonitors.empty()) {
    m_arrMonitors = std::move(before);
    return;
  }
  m_app.m_nMonitor = MonitorAfterChange(m_nMonitorSetting, m_arrMonitors);
  SyncShows();
}

void CMainFrame::OnAbout() { CAboutDlg(m_hWnd).DoModal(); }

void CMainFrame::OnHomePage() {
  const auto result =
      reinterpret_cast<intptr_t>(::ShellExecuteA(m_hWnd, "open", kHomePageAddress, nullptr, nullptr, SW_SHOW));
  if (result == SE_ERR_ASSOCINCOMPLETE || result == SE_ERR_NOASSOC) {
    win::ShowMessageBox(m_hWnd,
                        std::string("There is no application associated with the Secure Server application filename "
                                    "extension.\nYou need Netscape Navigator or Internet Explorer to view the help "
                                    "files.\nYou can go directly to the web page:\n") +
                            kHomePageAddress,
                        MB_OK);
  }
}

void CMainFrame::OnTrayLeftClick() {
  m_TrayIcon.ChangeIcon(IDI_TRAY_BUSY);
  for (const auto& show : m_arrShows) show->NextPicture();
  m_TrayIcon.ChangeIcon(IDI_TRAY);
}

void CMainFrame::OnPauseShow() {
  m_bPaused = !m_bPaused;
  for (const auto& show : m_arrShows) show->SetPaused(m_bPaused);
  m_TrayIcon.SetMenuItemText(ID_PAUSE_SHOW, m_bPaused ? "Resume Slideshow" : "Pause Slideshow");
  m_TrayIcon.SetTip(m_bPaused ? "Quadrivue (paused)" : kTitle);
}

void CMainFrame::OnEndSession(bool ending) {
  // The session ends without WM_QUIT reaching the loop: keep the show's
  // position now.
  if (ending) m_app.SaveCounter();
  Default();
}

void CMainFrame::OnDestroy() {
  m_TrayIcon.RemoveIcon();
  m_TrayIcon.DestroyWindow();
  m_arrShows.clear();
  m_arrMonitors.clear();
  ::PostQuitMessage(0);
}

}  // namespace qv
