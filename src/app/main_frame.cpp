#include "app/main_frame.h"

#include <wtsapi32.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/single_instance.h"
#include "platform/log.h"
#include "platform/profile.h"
#include "platform/system_error.h"
#include "platform/win/gdi.h"
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

// The power settings the shows follow (winnt.h only declares them).
constexpr GUID kConsoleDisplayState{0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr GUID kPowerSource{0x5d3e9a59, 0xe9d5, 0x4b00, {0xa6, 0xbd, 0xff, 0x34, 0xff, 0x51, 0x65, 0x48}};
// GUID_CONSOLE_DISPLAY_STATE: 0 off, 1 on, 2 dimmed (still seen).
constexpr DWORD kDisplayOff = 0;
// GUID_ACDC_POWER_SOURCE: 0 mains, 1 battery, 2 a short-term source (a UPS).
constexpr DWORD kPowerMains = 0;

}  // namespace

CMainFrame::CMainFrame(CShowApp& app, uint64_t instanceKey)
    : m_app(app),
      m_nInstanceKey(instanceKey),
      m_rebuilder([this] { ::PostMessageA(m_hWnd, kRebuildDoneMessage, 0, 0); }) {}

CMainFrame::~CMainFrame() {
  m_rebuilder.Cancel();
  DestroyWindow();
}

bool CMainFrame::Create() {
  RegisterClassOnce(kClassName, 0, ::LoadCursorA(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                    win::LoadLargeIcon(IDR_MAINFRAME));
  const RECT where{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
  if (!CreateEx(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, where, nullptr, nullptr)) return false;
  // The menu joins the window once it exists: a creation refused half-way
  // has nothing of ours to destroy, and the window destroys it at the end.
  if (const HMENU menu = ::LoadMenuA(win::ProgramInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME))) ::SetMenu(m_hWnd, menu);
  return true;
}

int CMainFrame::OnCreate(CREATESTRUCTA* create) {
  if (CWnd::OnCreate(create) == -1) return -1;
  m_nRemoteCommandMessage = RemoteCommandMessage();
  MarkInstanceWindow(m_hWnd, m_nInstanceKey);
  m_TrayIcon.SetTargetWindow(m_hWnd);
  m_TrayIcon.SetGiveUpHandler([this](uint32_t attempts) { OnTrayGaveUp(attempts); });
  if (LOBYTE(LOWORD(::GetVersion())) < 4) return -1;
  // A refused add is tried again for a while: the show runs meanwhile.
  m_TrayIcon.AddIcon(nullptr, kTrayMessage, kTitle, nullptr, IDR_TRAYMENU);
  m_TrayIcon.ChangeIcon(IDI_TRAY);
  // A double click on the tray icon (or Enter on it) runs "Visit Home Page...".
  m_TrayIcon.SetDefaultMenuItem(ID_HOMEPAGE, false);

  // Keys another program holds are logged once and named in the settings.
  m_hotkeys.Register(m_hWnd, ReadHotkeys(CProfile(CShowApp::kProfileCompany)));

  const uint32_t enumerateError = EnumerateMonitors();
  if (m_arrMonitors.empty()) {
    win::ShowMessageBox(nullptr,
                        "Error, Cannot Enumerate Monitors!\n\n" +
                            (enumerateError ? SystemErrorText(enumerateError) : "The system reports no monitor."),
                        MB_OK);
    return -1;
  }
  m_nMonitorSetting = m_app.m_nMonitor;
  m_app.m_nMonitor = ResolveMonitorIndex(m_app.m_nMonitor, m_arrMonitors);
  RegisterRestNotices();
  m_rest.SetPauseOnBattery(m_app.m_bPauseOnBattery != 0);
  ReadPowerStatus();
  // A show window that cannot be made leaves the tray icon, so the settings
  // can still be opened; with none at all the user is told why.
  SyncShows();
  if (!m_arrShows.empty() && !std::any_of(m_arrShows.begin(), m_arrShows.end(),
                                          [](const auto& show) { return show->GetSafeHwnd() != nullptr; })) {
    win::ShowMessageBox(nullptr,
                        "Quadrivue could not open its picture window on any monitor:\n\n" + m_strShowError +
                            "\n\nIts icon stays in the notification area; the settings can choose another monitor.",
                        MB_OK | MB_ICONEXCLAMATION);
  }
  return 0;
}

void CMainFrame::OnTrayGaveUp(uint32_t attempts) {
  if (m_TrayIcon.EverAdded()) return;  // logged by the tray; the next "TaskbarCreated" tries again
  const uint32_t error = LastSystemError();
  std::string text = "Quadrivue could not put its icon in the notification area of the taskbar: it was refused " +
                     std::to_string(attempts) + " times over a minute";
  text += error ? " (" + SystemErrorText(error) + ")." : ".";
  text += "\n\nWithout the icon Quadrivue cannot be reached, so it ends now. Start it again once the taskbar is there.";
  win::ShowMessageBox(nullptr, text, MB_OK | MB_ICONERROR);
  ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

uint32_t CMainFrame::EnumerateMonitors() {
  m_arrMonitors.clear();
  const CMonitorApi api = LookUpMonitorApi();
  if (api.enumerate && api.info) {
    CEnumContext context{this, api.info};
    if (!api.enumerate(nullptr, nullptr, &MonitorEnumProc, reinterpret_cast<LPARAM>(&context)))
      return LastSystemError();
    return 0;
  }
  RECT work{};
  if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return LastSystemError();
  AddMonitor(true, work);
  return 0;
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
    case ID_PREVIOUS_PICTURE:
      for (const auto& show : m_arrShows) show->PreviousPicture();
      return true;
    case ID_OPEN_PICTURE:
      if (!m_arrShows.empty()) m_arrShows.front()->OpenPicture();
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
  // brings the open dialog (or the chooser or message box over it) forward
  // instead of editing the record twice.
  if (m_pOpenSettings) {
    BringToFront(m_pOpenSettings->GetSafeHwnd());
    return;
  }
  CSettingsDlg dialog(m_app, nullptr, m_rebuilder);
  dialog.SetHotkeyNote(m_hotkeys.Note());
  for (size_t i = 0; i < m_arrMonitors.size(); ++i)
    dialog.m_arrMonitorNames.push_back(MonitorLabel(static_cast<int32_t>(i), m_arrMonitors[i].m_bPrimary != 0));
  m_pOpenSettings = &dialog;
  const INT_PTR result = dialog.DoModal();
  m_pOpenSettings = nullptr;
  // A rebuild that ended while the dialog waited for it is the dialog's;
  // one that ends later is the frame's again.
  std::set<const CShowWnd*> made;
  // A monitor the list did not offer is never used as an index: the shows
  // stay where they are.
  const int32_t chosen = m_app.m_nMonitor;
  if (result == IDOK && chosen >= 0 && static_cast<size_t>(chosen) < m_arrMonitors.size()) {
    m_nMonitorSetting = chosen;
    if (!m_app.SaveMonitorMask()) Log("The chosen monitors could not be stored in the registry.");
    made = SyncShows();
  }
  if (result == IDOK) ApplyRestOptions();
  // Shows made just now have started already.
  for (const auto& show : m_arrShows) {
    if (!made.count(show.get())) show->StartShow();
  }
}

std::set<const CShowWnd*> CMainFrame::SyncShows() {
  std::set<const CShowWnd*> made;
  const std::vector<int32_t> chosen =
      ChosenMonitors(m_app.m_nMonitor, static_cast<uint32_t>(m_app.m_nMonitorMask), m_arrMonitors.size());
  while (m_arrShows.size() > chosen.size()) {
    m_setBusyShows.erase(m_arrShows.back().get());
    m_arrShows.pop_back();
  }
  for (size_t i = 0; i < chosen.size(); ++i) {
    const RECT work = ToRect(m_arrMonitors[static_cast<size_t>(chosen[i])].m_rcWork);
    if (i < m_arrShows.size()) {
      CShowWnd& show = *m_arrShows[i];
      show.m_rcMonitor = work;
      show.m_nMonitorIndex = chosen[i];
      if (show.GetSafeHwnd())
        ::MoveWindow(show.GetSafeHwnd(), work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
      continue;
    }
    auto show = std::make_unique<CShowWnd>(m_app);
    show->SetOwner(this);
    show->m_nMonitorIndex = chosen[i];
    // Made while resting, a show puts its first picture up and waits.
    show->SetResting(m_rest.Resting());
    if (!show->Create(work, m_hWnd)) {
      m_strShowError = SystemErrorText(LastSystemError());
      Log("The show window for monitor " + std::to_string(chosen[i] + 1) + " could not be created: " + m_strShowError);
    }
    if (m_bPaused) show->SetPaused(true);
    made.insert(show.get());
    m_arrShows.push_back(std::move(show));
  }
  if (m_setBusyShows.empty()) m_TrayIcon.ChangeIcon(IDI_TRAY);
  return made;
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == m_nRemoteCommandMessage && message != 0) return OnRemoteCommandMessage(wParam);
  switch (message) {
    case kRebuildDoneMessage:
      OnRebuildDone();
      return 0;
    case kDeferredCommandMessage:
      OnRemoteCommand(static_cast<ERemoteCommand>(wParam));
      return 0;
    case WM_HOTKEY:
      if (const auto action = CHotkeyRegistration::ActionOf(wParam)) {
        OnHotkey(*action);
        return 0;
      }
      break;
    case WM_DISPLAYCHANGE:
      OnMonitorsChanged();
      break;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETWORKAREA) OnMonitorsChanged();
      break;
    case WM_WTSSESSION_CHANGE:
      OnSessionChange(wParam);
      return 0;
    case WM_POWERBROADCAST:
      if (wParam == PBT_POWERSETTINGCHANGE && lParam) {
        const auto* notice = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
        DWORD value = 0;
        if (notice->DataLength >= sizeof value) {
          std::memcpy(&value, notice->Data, sizeof value);
          OnPowerSetting(notice->PowerSetting, value);
        }
        return TRUE;
      }
      if (wParam == PBT_APMPOWERSTATUSCHANGE) {
        ReadPowerStatus();
        return TRUE;
      }
      break;
    default:
      break;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

void CMainFrame::OnHotkey(EHotkeyAction action) {
  // Whole monitors, taskbars included: the pointer may rest on one.
  std::vector<CMonitorRect> areas;
  for (const auto& show : m_arrShows) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT rc = show->m_rcMonitor;
    if (::GetMonitorInfoA(::MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &info)) rc = info.rcMonitor;
    areas.push_back(CMonitorRect{rc.left, rc.top, rc.right, rc.bottom});
  }
  POINT pointer{};
  ::GetCursorPos(&pointer);
  const int32_t target = HotkeyTargetShow(areas, pointer.x, pointer.y);
  if (target < 0) return;
  CShowWnd& show = *m_arrShows[static_cast<size_t>(target)];
  switch (action) {
    case EHotkeyAction::kNext:
      show.NextPicture(ESlideOrigin::kUser);
      break;
    case EHotkeyAction::kPrevious:
      show.PreviousPicture();
      break;
    case EHotkeyAction::kPause:
      show.SetPaused(!show.IsPaused());
      break;
  }
}

LRESULT CMainFrame::OnRemoteCommandMessage(WPARAM command) {
  if (command == kQueryGdiObjects) return static_cast<LRESULT>(win::CountGdiObjects());
  if (command < static_cast<WPARAM>(ERemoteCommand::kNone) || command > static_cast<WPARAM>(ERemoteCommand::kExit))
    return 0;
  // The sender waits for the answer only: the command itself (a modal
  // dialog, say) runs after it has returned.
  ::PostMessageA(m_hWnd, kDeferredCommandMessage, command, 0);
  return 1;
}

void CMainFrame::OnRemoteCommand(ERemoteCommand command) {
  switch (CommandForRunningCopy(command)) {
    case ERemoteCommand::kNext:
      OnTrayLeftClick();
      break;
    case ERemoteCommand::kPause:
      if (!m_bPaused) OnPauseShow();
      break;
    case ERemoteCommand::kResume:
      if (m_bPaused) OnPauseShow();
      break;
    case ERemoteCommand::kSettings:
      OnSettings();
      break;
    case ERemoteCommand::kExit:
      ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
      break;
    case ERemoteCommand::kNone:
      break;
  }
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

void CMainFrame::RegisterRestNotices() {
  m_bSessionNotices = ::WTSRegisterSessionNotification(m_hWnd, NOTIFY_FOR_THIS_SESSION) != FALSE;
  if (!m_bSessionNotices)
    Log("The session's lock notices are not available: " + SystemErrorText(LastSystemError()) +
        " The shows go on while the session is locked.");
  m_hDisplayNotice = ::RegisterPowerSettingNotification(m_hWnd, &kConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (!m_hDisplayNotice)
    Log("The display's power notices are not available: " + SystemErrorText(LastSystemError()) +
        " The shows go on while the display is off.");
  m_hSourceNotice = ::RegisterPowerSettingNotification(m_hWnd, &kPowerSource, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void CMainFrame::UnregisterRestNotices() {
  if (m_bSessionNotices) ::WTSUnRegisterSessionNotification(m_hWnd);
  m_bSessionNotices = false;
  for (HPOWERNOTIFY* notice : {&m_hDisplayNotice, &m_hSourceNotice}) {
    if (*notice) ::UnregisterPowerSettingNotification(*notice);
    *notice = nullptr;
  }
}

void CMainFrame::ReadPowerStatus() {
  SYSTEM_POWER_STATUS status{};
  // 1 is mains and 255 unknown: only 0 is the battery.
  if (::GetSystemPowerStatus(&status) && m_rest.SetOnBattery(status.ACLineStatus == 0)) ApplyRest();
}

void CMainFrame::OnSessionChange(WPARAM event) {
  bool changed = false;
  switch (event) {
    case WTS_SESSION_LOCK:
    case WTS_CONSOLE_DISCONNECT:
    case WTS_REMOTE_DISCONNECT:
      changed = m_rest.SetLocked(true);
      break;
    case WTS_SESSION_UNLOCK:
    case WTS_CONSOLE_CONNECT:
    case WTS_REMOTE_CONNECT:
      changed = m_rest.SetLocked(false);
      break;
    default:
      break;
  }
  if (changed) ApplyRest();
}

void CMainFrame::OnPowerSetting(const GUID& setting, DWORD value) {
  bool changed = false;
  if (::IsEqualGUID(setting, kConsoleDisplayState)) changed = m_rest.SetDisplayOff(value == kDisplayOff);
  if (::IsEqualGUID(setting, kPowerSource)) changed = m_rest.SetOnBattery(value != kPowerMains);
  if (changed) ApplyRest();
}

void CMainFrame::ApplyRestOptions() {
  if (m_rest.SetPauseOnBattery(m_app.m_bPauseOnBattery != 0)) ApplyRest();
}

void CMainFrame::ApplyRest() {
  for (const auto& show : m_arrShows) show->SetResting(m_rest.Resting());
}

void CMainFrame::OnAbout() { CAboutDlg::ShowOrActivate(m_hWnd); }

void CMainFrame::OnHomePage() {
  const std::string target = HomeLink();
  const auto result =
      reinterpret_cast<intptr_t>(::ShellExecuteA(m_hWnd, "open", target.c_str(), nullptr, nullptr, SW_SHOW));
  if (result == SE_ERR_ASSOCINCOMPLETE || result == SE_ERR_NOASSOC) {
    win::ShowMessageBox(m_hWnd,
                        std::string("There is no application associated with the Secure Server application filename "
                                    "extension.\nYou need Netscape Navigator or Internet Explorer to view the help "
                                    "files.\nYou can go directly to the web page:\n") +
                            target,
                        MB_OK);
  }
}

void CMainFrame::OnTrayLeftClick() {
  // Icon 135 shows until every show has its picture (or gave up on it).
  for (const auto& show : m_arrShows) {
    if (show->NextPicture(ESlideOrigin::kUser)) m_setBusyShows.insert(show.get());
  }
  if (!m_setBusyShows.empty()) m_TrayIcon.ChangeIcon(IDI_TRAY_BUSY);
}

void CMainFrame::OnSlideSettled(CShowWnd& show) {
  if (!m_setBusyShows.erase(&show) || !m_setBusyShows.empty()) return;
  m_TrayIcon.ChangeIcon(IDI_TRAY);
}

void CMainFrame::OnStartUpdateDue(CShowWnd&) {
  // Once for the application, however many shows there are.
  if (m_bStartRebuildDone) return;
  m_bStartRebuildDone = true;
  if (m_rebuilder.Running()) return;
  m_rebuilder.Start(m_app.RebuildJob());
}

void CMainFrame::OnRebuildDone() {
  // The settings dialog takes the outcome of a rebuild it waits for.
  if (m_pOpenSettings && m_pOpenSettings->WaitsForRebuild()) return;
  const std::optional<CRebuildOutcome> outcome = m_rebuilder.Take();
  // A list made again starts a new order without repeats.
  if (outcome && outcome->bWritten) m_app.RestartOrders();
  if (outcome && !outcome->bWritten)
    Log("The file list \"" + outcome->strFailedPath + "\" could not be written: " + outcome->strError);
}

void CMainFrame::OnPauseShow() {
  m_bPaused = !m_bPaused;
  for (const auto& show : m_arrShows) show->SetPaused(m_bPaused);
  m_TrayIcon.SetMenuItemText(ID_PAUSE_SHOW, m_bPaused ? "&Resume Slideshow" : "&Pause Slideshow");
  m_TrayIcon.SetTip(m_bPaused ? "Quadrivue (paused)" : kTitle);
}

void CMainFrame::OnEndSession(bool ending) {
  // The session ends without WM_QUIT reaching the loop: keep the show's
  // position now.
  if (ending && !m_app.SaveCounter()) Log("The show's position could not be stored in the registry.");
  Default();
}

void CMainFrame::OnDestroy() {
  m_rebuilder.Cancel();
  UnregisterRestNotices();
  UnmarkInstanceWindow(m_hWnd);
  m_TrayIcon.RemoveIcon();
  m_TrayIcon.DestroyWindow();
  m_setBusyShows.clear();
  m_arrShows.clear();
  m_arrMonitors.clear();
  ::PostQuitMessage(0);
}

}  // namespace qv
