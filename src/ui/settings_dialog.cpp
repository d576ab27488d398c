#include "ui/settings_dialog.h"

#include <algorithm>
#include <utility>

#include "platform/directory.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/win/gdi.h"
#include "res/resource.h"
#include "ui/about_info.h"
#include "ui/folder_dialog.h"

namespace qv {

namespace {

constexpr const char* kFitModes[] = {"Normal Fit inside screen", "Zoom-In for 100% fit (no black bars)"};

// Why a data file could not be written, for the user.
std::string WriteFailure(const char* what, const std::string& path, const std::string& reason) {
  std::string text = std::string("Quadrivue could not write ") + what + ":\n\n" + path + "\n\n";
  text += reason.empty() ? "The file could not be written." : reason;
  text +=
      "\n\nKeep Quadrivue in a folder you may write to and make sure the disk has room, then press OK again "
      "(or close the dialog to leave the settings as they were).";
  return text;
}

// The entry as a registry editor shows where it lives, for messages.
std::string StartupEntryName(const CStartupEntry& entry) {
  return "HKEY_CURRENT_USER\\" + entry.Key() + ", value \"" + entry.ValueName() + "\"";
}

std::string FilesSoFar(int32_t count) { return "Files so far: " + std::to_string(count); }

CAboutDlg* g_pOpenAbout = nullptr;

}  // namespace

// ---- CAboutDlg ---------------------------------------------------------------

void BringToFront(HWND window) {
  if (!window) return;
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  // The chooser over the dialog, a message box over the chooser: the last
  // one is where the user has to go on.
  HWND front = window;
  for (int depth = 0; depth < 8; ++depth) {
    const HWND popup = ::GetLastActivePopup(front);
    if (!popup || popup == front || !::IsWindowVisible(popup)) break;
    front = popup;
  }
  ::SetForegroundWindow(front);
}

std::string HomeLink() {
  const std::string guide = JoinPath(GetProgramFolder(), kGuideFileName);
  return HomeLinkTarget(kHomePageAddress, guide, PathExists(guide));
}

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::ShowOrActivate(HWND parent) {
  if (g_pOpenAbout) {
    BringToFront(g_pOpenAbout->GetSafeHwnd());
    return;
  }
  CAboutDlg about(parent);
  g_pOpenAbout = &about;
  about.DoModal();
  g_pOpenAbout = nullptr;
}

BOOL CAboutDlg::OnInitDialog() {
  // An empty link text shows the address; the guide is named as such.
  const std::string home = HomeLink();
  if (home != kHomePageAddress) ::SetDlgItemTextA(m_hWnd, IDC_LINK_HOME, "Quadrivue user guide");
  m_linkHome.SetTarget(home);
  m_linkHome.Attach(GetDlgItem(IDC_LINK_HOME));
  CDialog::OnInitDialog();
  // The link comes first in the tab order, but Enter should close the box.
  ::SetFocus(GetDlgItem(IDOK));
  return FALSE;
}

// ---- CSettingsDlg ------------------------------------------------------------

CSettingsDlg::CSettingsDlg(CShowApp& app, HWND parent, CFileListRebuilder& rebuilder)
    : CDialog(IDD_SETTINGS, parent), m_app(app), m_rebuilder(rebuilder) {}

BOOL CSettingsDlg::OnInitDialog() {
  m_bSubfolders = m_app.m_bSubfolders;
  m_bSmartCrop = m_app.m_bSmartCrop;
  m_bIgnoreSmall = m_app.m_bIgnoreSmall;
  m_nMinWidth = m_app.m_nMinWidth;
  m_bRandom = m_app.m_bRandom;
  m_bNoRepeats = m_app.m_bNoRepeats;
  m_bMatchShape = m_app.m_bMatchShape;
  m_bSamePictures = m_app.m_bSamePictures;
  m_bPauseOnBattery = m_app.m_bPauseOnBattery;
  m_bFade = m_app.m_bFade;
  m_bUpdateOnStart = m_app.m_bUpdateOnStart;
  m_nInterval = m_app.m_nInterval;
  m_bMinutes = m_app.m_bMinutes;
  m_nFitMode = m_app.m_nFitMode;
  m_nMonitor = m_app.m_nMonitor;
  m_nMonitorMask = m_app.m_nMonitorMask;
  m_nEditedMonitor = m_nMonitor;
  // Any value counts, even one naming another copy: OK makes it name this one.
  std::string reason;
  m_bStartWithWindows = m_startup.Read(&reason).has_value() ? 1 : 0;
  if (!reason.empty()) Log("The sign-in start could not be read: " + reason);

  m_linkDonate.SetTarget(kDonationAddress);
  m_linkDonate.Attach(GetDlgItem(IDC_LINK_DONATE));
  m_linkHome.SetTarget(kHomePageAddress);
  m_linkHome.Attach(GetDlgItem(IDC_LINK_HOME));
  m_pictureDonate.Attach(GetDlgItem(IDC_DONATE_PICTURE));
  m_staticIndexInfo = GetDlgItem(IDC_INDEX_INFO);
  for (const char* mode : kFitModes)
    ::SendDlgItemMessageA(m_hWnd, IDC_FIT_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
  UpdateData(false);

  ShowIndexCount();
  for (const auto& name : m_arrMonitorNames)
    ::SendDlgItemMessageA(m_hWnd, IDC_MONITORS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  for (const int32_t index : MonitorSelection(m_nMonitor, m_nMonitorMask, m_arrMonitorNames.size()))
    ::SendDlgItemMessageA(m_hWnd, IDC_MONITORS, LB_SETSEL, TRUE, index);
  RefreshFolderList();
  ShowHotkeyNote();

  if (const HMENU system = ::GetSystemMenu(m_hWnd, FALSE)) {
    const std::string about = win::LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty()) {
      ::AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuA(system, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
  }
  m_hIcon = win::LoadLargeIcon(IDR_MAINFRAME);
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(win::LoadSmallIcon(IDR_MAINFRAME)));
  return TRUE;
}

void CSettingsDlg::DoDataExchange(win::CDataExchange& dx) {
  if (dx.Saving()) {
    const HWND list = GetDlgItem(IDC_MONITORS);
    const auto count = static_cast<int>(::SendMessageA(list, LB_GETSELCOUNT, 0, 0));
    std::vector<int32_t> selected(static_cast<size_t>(std::max(count, 0)));
    if (count > 0) ::SendMessageA(list, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(selected.data()));
    MonitorsFromSelection(selected, m_nMonitor, m_nMonitorMask);
  }
  dx.Check(IDC_SMART_CROP, m_bSmartCrop);
  dx.Check(IDC_IGNORE_SMALL, m_bIgnoreSmall);
  dx.UnsignedNumber(IDC_MIN_WIDTH, m_nMinWidth);
  dx.Check(IDC_RANDOM, m_bRandom);
  dx.Check(IDC_NO_REPEATS, m_bNoRepeats);
  dx.Check(IDC_UPDATE_ON_START, m_bUpdateOnStart);
  dx.Check(IDC_SUBFOLDERS, m_bSubfolders);
  dx.UnsignedNumber(IDC_INTERVAL, m_nInterval);
  dx.Radio(IDC_SECONDS, m_bMinutes);
  dx.ComboIndex(IDC_FIT_MODE, m_nFitMode);
  dx.Check(IDC_START_WITH_WINDOWS, m_bStartWithWindows);
  dx.Check(IDC_MATCH_SHAPE, m_bMatchShape);
  dx.Check(IDC_SAME_PICTURES, m_bSamePictures);
  dx.Check(IDC_PAUSE_ON_BATTERY, m_bPauseOnBattery);
  dx.Check(IDC_FADE, m_bFade);
}

void CSettingsDlg::ShowIndexCount() {
  const int32_t own = EditedOwnMonitor();
  const int32_t count = own < 0 ? m_app.GetFileCount() : m_app.MonitorPictures(own).m_index.GetFileCount();
  std::string text = "Images in index: " + std::to_string(count);
  // Which monitor's folders the list holds, while they differ.
  if (!m_bSamePictures && m_nEditedMonitor >= 0 && static_cast<size_t>(m_nEditedMonitor) < m_arrMonitorNames.size())
    text = m_arrMonitorNames[static_cast<size_t>(m_nEditedMonitor)] + ": " + text;
  ::SetWindowTextA(m_staticIndexInfo, text.c_str());
}

int32_t CSettingsDlg::EditedOwnMonitor() const {
  if (m_bSamePictures || m_nEditedMonitor < 0) return -1;
  const HWND list = GetDlgItem(IDC_MONITORS);
  const auto count = static_cast<int>(::SendMessageA(list, LB_GETSELCOUNT, 0, 0));
  std::vector<int32_t> selected(static_cast<size_t>(std::max(count, 0)));
  if (count > 0) ::SendMessageA(list, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(selected.data()));
  // The first monitor selected keeps the folders of settings.idx.
  const int32_t first = selected.empty() ? m_nMonitor : selected.front();
  return m_nEditedMonitor == first ? -1 : m_nEditedMonitor;
}

std::vector<std::string>& CSettingsDlg::EditedFolders() {
  const int32_t own = EditedOwnMonitor();
  return own < 0 ? m_app.m_arrFolders : m_app.MonitorPictures(own).m_arrFolders;
}

void CSettingsDlg::OnMonitorClicked() {
  const LRESULT caret = ::SendDlgItemMessageA(m_hWnd, IDC_MONITORS, LB_GETCARETINDEX, 0, 0);
  if (caret != LB_ERR) m_nEditedMonitor = static_cast<int32_t>(caret);
  RefreshFolderList();
  ShowIndexCount();
}

void CSettingsDlg::RefreshFolderList() {
  const HWND list = GetDlgItem(IDC_FOLDERS);
  ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const auto& folder : EditedFolders())
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(folder.c_str()));
}

void CSettingsDlg::EnableEditing(bool enable) {
  for (const int id : {IDOK, IDC_ADD_FOLDER, IDC_REMOVE_FOLDER, IDC_FOLDERS, IDC_SUBFOLDERS})
    ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE);
}

void CSettingsDlg::OnAddFolder() {
  // The prompt labels the edit box below it: Alt+I goes there.
  CFolderDlg chooser("Add Folder", "&Image files", std::string(), m_hWnd);
  if (chooser.Browse() != IDOK) return;
  EditedFolders().push_back(chooser.GetPath());
  if (const int32_t own = EditedOwnMonitor(); own >= 0) {
    m_app.MonitorPictures(own).m_bOwn = true;
    m_setEditedMonitors.insert(own);
  }
  RefreshFolderList();
  m_bFoldersChanged = 1;
}

void CSettingsDlg::OnRemoveFolder() {
  const LRESULT selected = ::SendDlgItemMessageA(m_hWnd, IDC_FOLDERS, LB_GETCURSEL, 0, 0);
  std::vector<std::string>& folders = EditedFolders();
  if (selected == LB_ERR || static_cast<size_t>(selected) >= folders.size()) return;
  folders.erase(folders.begin() + selected);
  if (const int32_t own = EditedOwnMonitor(); own >= 0) {
    m_app.MonitorPictures(own).m_bOwn = true;
    m_setEditedMonitors.insert(own);
  }
  RefreshFolderList();
  m_bFoldersChanged = 1;
}

void CSettingsDlg::OnUpdateFileList() {
  // The button stops a rebuild that runs.
  if (m_bRebuilding) {
    CancelRebuild();
    return;
  }
  // The rebuild goes on even when a number does not validate.
  UpdateData(true);
  StartRebuild();
}

void CSettingsDlg::StartRebuild() {
  EnableEditing(false);
  ::SetDlgItemTextA(m_hWnd, IDC_UPDATE_LIST, "Cancel");
  m_app.m_bSubfolders = m_bSubfolders;
  m_bRebuilding = true;
  ::SetWindowTextA(m_staticIndexInfo, FilesSoFar(0).c_str());
  int32_t first = m_nMonitor, mask = m_nMonitorMask;
  if (::IsWindow(m_hWnd)) {
    const HWND list = GetDlgItem(IDC_MONITORS);
    const auto count = static_cast<int>(::SendMessageA(list, LB_GETSELCOUNT, 0, 0));
    std::vector<int32_t> selected(static_cast<size_t>(std::max(count, 0)));
    if (count > 0) ::SendMessageA(list, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(selected.data()));
    MonitorsFromSelection(selected, first, mask);
  }
  m_rebuilder.Start(m_app.RebuildJob(m_bSamePictures, first, mask));
  ::SetTimer(m_hWnd, kProgressTimer, kProgressMs, nullptr);
}

void CSettingsDlg::OnTimer(UINT_PTR id) {
  if (id != kProgressTimer || !m_bRebuilding) {
    Default();
    return;
  }
  if (m_rebuilder.Running()) {
    const std::string text = m_rebuilder.Writing() ? "Writing Index" : FilesSoFar(m_rebuilder.FilesFound());
    ::SetWindowTextA(m_staticIndexInfo, text.c_str());
    return;
  }
  FinishRebuild(m_rebuilder.Take());
}

void CSettingsDlg::CancelRebuild() {
  m_rebuilder.Cancel();
  m_bApplyAfterRebuild = false;
  FinishRebuild(std::nullopt);
}

void CSettingsDlg::FinishRebuild(const std::optional<CRebuildOutcome>& outcome) {
  ::KillTimer(m_hWnd, kProgressTimer);
  m_bRebuilding = false;
  ::SetDlgItemTextA(m_hWnd, IDC_UPDATE_LIST, "&Update File List");
  EnableEditing(true);
  ShowIndexCount();
  const bool apply = std::exchange(m_bApplyAfterRebuild, false);
  // Cancelled: the old list stays, and is still owed when folders changed.
  if (!outcome) return;
  if (!outcome->bWritten) {
    // A list that could not be written is still owed: OK tries again.
    m_bFoldersChanged = 1;
    win::ShowMessageBox(
        m_hWnd,
        WriteFailure("the file list", outcome->strFailedPath.empty() ? m_app.IndexPath() : outcome->strFailedPath,
                     outcome->strError),
        MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  m_bFoldersChanged = 0;
  // A list made again starts a new order without repeats.
  m_app.RestartOrders();
  if (apply && Apply()) EndDialog(IDOK);
}

void CSettingsDlg::OnOK() {
  if (m_bRebuilding || !UpdateData(true)) return;
  if (m_bFoldersChanged) {
    // The list first; the settings are written once it is in place.
    m_bApplyAfterRebuild = true;
    StartRebuild();
    return;
  }
  if (Apply()) EndDialog(IDOK);
}

void CSettingsDlg::OnCancel() {
  if (m_bRebuilding) {
    m_rebuilder.Cancel();
    ::KillTimer(m_hWnd, kProgressTimer);
    m_bRebuilding = false;
  }
  CDialog::OnCancel();
}

bool CSettingsDlg::Apply() {
  CShowSettings next = m_app.ScalarsOnly();
  next.m_arrFolders = m_app.m_arrFolders;
  next.m_bSubfolders = m_bSubfolders;
  next.m_bSmartCrop = m_bSmartCrop;
  next.m_bIgnoreSmall = m_bIgnoreSmall;
  next.m_nMinWidth = m_nMinWidth;
  next.m_bRandom = m_bRandom;
  next.m_bUpdateOnStart = m_bUpdateOnStart;
  next.m_nInterval = m_nInterval;
  next.m_bMinutes = m_bMinutes;
  next.m_nFitMode = m_nFitMode;
  next.m_nMonitor = m_nMonitor;
  std::string reason;
  if (!SaveSettingsFile(m_app.SettingsPath(), next, &reason)) {
    win::ShowMessageBox(m_hWnd, WriteFailure("the settings", m_app.SettingsPath(), reason), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  // The folders of monitors apart from settings.idx, in files of its format.
  for (const int32_t monitor : m_setEditedMonitors) {
    CMonitorPictures& own = m_app.MonitorPictures(monitor);
    if (!own.Save(next, &reason)) {
      win::ShowMessageBox(m_hWnd, WriteFailure("the settings", own.SettingsPath(), reason), MB_OK | MB_ICONEXCLAMATION);
      return false;
    }
  }
  m_setEditedMonitors.clear();
  for (const auto& field : kSettingsFields) m_app.*field.member = next.*field.member;
  m_app.m_nMonitorMask = m_nMonitorMask;
  m_app.m_bNoRepeats = m_bNoRepeats;
  m_app.m_bMatchShape = m_bMatchShape;
  m_app.m_bSamePictures = m_bSamePictures;
  m_app.m_bPauseOnBattery = m_bPauseOnBattery;
  m_app.m_bFade = m_bFade;
  const CProfile profile(CShowApp::kProfileCompany);
  // The sequential show starts again from the top after the next start.
  if (!m_app.WriteCounter(profile, 0)) Log("The show's position could not be reset in the registry.");
  if (!m_app.WriteNoRepeats(profile)) Log("The choice of no repeats could not be stored in the registry.");
  if (!m_app.WriteShowOptions(profile)) Log("The show's options could not be stored in the registry.");
  ApplyStartupEntry();
  return true;
}

void CSettingsDlg::ApplyStartupEntry() {
  std::string reason;
  const char* change = nullptr;
  if (!m_bStartWithWindows) {
    // Nothing stored, nothing to do: a key this user may not change is no
    // reason for a message then.
    if ((!m_startup.Read(&reason) && reason.empty()) || m_startup.Remove(&reason)) return;
    change = "remove itself from";
  } else {
    const std::string program = GetModulePath();
    const std::string command = StartupCommand(program);
    const std::optional<std::string> stored = m_startup.Read();
    if (stored == command) return;
    if (stored && !StartupCommandNames(*stored, program))
      Log("The sign-in start named " + *stored + "; it now starts " + command + ".");
    if (!program.empty() && m_startup.Write(command, &reason)) return;
    if (program.empty()) reason = "The program's own path is not known.";
    change = "add itself to";
  }
  const std::string what = std::string("Quadrivue could not ") + change + " the programs that start when you sign in";
  Log(what + ": " + reason);
  win::ShowMessageBox(m_hWnd, what + ":\n\n" + StartupEntryName(m_startup) + "\n\n" + reason,
                      MB_OK | MB_ICONEXCLAMATION);
}

void CSettingsDlg::ShowHotkeyNote() {
  const HWND note = GetDlgItem(IDC_HOTKEY_NOTE);
  if (!note || m_strHotkeyNote.empty()) return;
  ::SetWindowTextA(note, m_strHotkeyNote.c_str());
  // The note is as tall as its lines at its width; the dialog grows to hold
  // it with the margin the template keeps at its edges.
  RECT box{};
  ::GetWindowRect(note, &box);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&box), 2);
  RECT text{0, 0, box.right - box.left, 0};
  {
    const win::CWindowDC dc(note);
    const win::CSelectObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(::SendMessageA(note, WM_GETFONT, 0, 0)));
    ::DrawTextA(dc.Get(), m_strHotkeyNote.c_str(), static_cast<int>(m_strHotkeyNote.size()), &text,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  }
  const LONG height = std::max(text.bottom - text.top, box.bottom - box.top);
  ::SetWindowPos(note, nullptr, 0, 0, box.right - box.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT margin{0, 0, 0, 7};
  ::MapDialogRect(m_hWnd, &margin);
  const RECT client = GetClientRect();
  const LONG grow = box.top + height + margin.bottom - client.bottom;
  RECT frame{};
  ::GetWindowRect(m_hWnd, &frame);
  if (grow > 0)
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + grow,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(note, SW_SHOWNA);
}

bool CSettingsDlg::OnCommand(UINT id, UINT notifyCode) {
  switch (id) {
    case IDC_ADD_FOLDER:
      OnAddFolder();
      return true;
    case IDC_REMOVE_FOLDER:
      OnRemoveFolder();
      return true;
    case IDC_UPDATE_LIST:
      OnUpdateFileList();
      return true;
    case IDC_SUBFOLDERS:
      m_bFoldersChanged = 1;  // the box ticks itself
      return true;
    case IDC_MONITORS:
      if (notifyCode == LBN_SELCHANGE) OnMonitorClicked();
      return true;
    case IDC_SAME_PICTURES:
      m_bSamePictures = ::IsDlgButtonChecked(m_hWnd, IDC_SAME_PICTURES) == BST_CHECKED ? 1 : 0;
      RefreshFolderList();
      ShowIndexCount();
      return true;
    case IDC_DONATE_PICTURE:
      if (notifyCode == STN_CLICKED) m_linkDonate.FollowLink();
      return true;
    default:
      return CDialog::OnCommand(id, notifyCode);
  }
}

void CSettingsDlg::OnSysCommand(UINT command, LPARAM) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg::ShowOrActivate(m_hWnd);
    return;
  }
  Default();
}

void CSettingsDlg::OnPaint() {
  if (!::IsIconic(m_hWnd)) {
    Default();
    return;
  }
  const win::CPaintDC paint(m_hWnd);
  ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
  const RECT client = GetClientRect();
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(paint.Get(), x, y, m_hIcon);
}

LRESULT CSettingsDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYDRAGICON) return reinterpret_cast<LRESULT>(m_hIcon);
  return CDialog::WindowProc(message, wParam, lParam);
}

std::vector<int32_t> MonitorSelection(int32_t first, int32_t mask, size_t count) {
  std::vector<int32_t> selected;
  for (size_t i = 0; i < count; ++i) {
    const bool inMask = i < 32 && ((static_cast<uint32_t>(mask) >> i) & 1u);
    if (static_cast<int64_t>(i) == first || inMask) selected.push_back(static_cast<int32_t>(i));
  }
  return selected;
}

void MonitorsFromSelection(const std::vector<int32_t>& selected, int32_t& first, int32_t& mask) {
  first = selected.empty() ? -1 : selected.front();
  mask = 0;
  if (selected.size() < 2) return;
  for (const int32_t index : selected) {
    if (index >= 0 && index < 32) mask = static_cast<int32_t>(static_cast<uint32_t>(mask) | (1u << index));
  }
}

}  // namespace qv
