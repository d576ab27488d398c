// The settings dialog: picture folders, scan option, interval, display
// options and monitor; rebuilds the file list and saves the settings. And
// the small about box.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "library/file_list_rebuilder.h"
#include "library/show_app.h"
#include "platform/startup_entry.h"
#include "platform/win/dialog.h"
#include "ui/hyperlink.h"

namespace qv {

// Brings a window forward, or the chooser or message box it has open over it.
void BringToFront(HWND window);

// Where "Visit Home Page..." and the about box's link lead here: the guide
// beside the program while the home page is a placeholder.
std::string HomeLink();

class CAboutDlg : public win::CDialog {
 public:
  explicit CAboutDlg(HWND parent);
  // One about box at a time: runs it, or brings the open one forward.
  static void ShowOrActivate(HWND parent);

 protected:
  BOOL OnInitDialog() override;

 private:
  CHyperLink m_linkHome;
};

// The selections of a monitor list for a first monitor and a mask, and back.
std::vector<int32_t> MonitorSelection(int32_t first, int32_t mask, size_t count);
void MonitorsFromSelection(const std::vector<int32_t>& selected, int32_t& first, int32_t& mask);

class CSettingsDlg : public win::CDialog {
 public:
  // The file list is rebuilt by rebuilder, on its thread; the dialog shows
  // its progress and offers to cancel it.
  CSettingsDlg(CShowApp& app, HWND parent, CFileListRebuilder& rebuilder);
  static constexpr UINT_PTR kProgressTimer = 1;
  static constexpr UINT kProgressMs = 100;

  std::vector<std::string> m_arrMonitorNames;

  // Working copies of the settings. The monitor list takes several
  // selections: m_nMonitor is the first selected, m_nMonitorMask all of them
  // (bit i: monitor i) when there are more than one, else 0.
  int32_t m_nMonitor = -1;
  int32_t m_nMonitorMask = 0;
  int32_t m_bSmartCrop = 0;
  int32_t m_bIgnoreSmall = 0;
  int32_t m_nMinWidth = 0;
  int32_t m_bRandom = 0;
  int32_t m_bUpdateOnStart = 0;
  int32_t m_bSubfolders = 0;
  int32_t m_nInterval = 0;
  int32_t m_bMinutes = 0;
  int32_t m_nFitMode = 0;
  // Whether Windows starts this program at sign-in: read from the sign-in
  // entry when the dialog opens, written to it by OK.
  int32_t m_bStartWithWindows = 0;
  // Random order walks a permutation (the profile's "NoRepeats").
  int32_t m_bNoRepeats = 0;
  // The profile's options beside it.
  int32_t m_bMatchShape = 0;
  int32_t m_bSamePictures = 1;
  int32_t m_bPauseOnBattery = 1;
  int32_t m_bFade = 1;

  // Hotkeys other programs hold, shown under the controls; set before
  // DoModal (empty: no note).
  void SetHotkeyNote(std::string note) { m_strHotkeyNote = std::move(note); }
  // The sign-in entry the box stands for (tests use one of their own).
  void SetStartupEntry(CStartupEntry entry) { m_startup = std::move(entry); }

  // A rebuild the dialog started runs; its outcome is the dialog's to take.
  bool WaitsForRebuild() const { return m_bRebuilding; }

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(win::CDataExchange& dx) override;
  void OnOK() override;
  void OnCancel() override;
  void OnTimer(UINT_PTR id) override;
  bool OnCommand(UINT id, UINT notifyCode) override;
  void OnSysCommand(UINT command, LPARAM lParam) override;
  void OnPaint() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnAddFolder();
  void OnRemoveFolder();
  void OnUpdateFileList();
  // The rebuild on the record's folders with the working subfolder value;
  // editing waits and the button becomes "Cancel" meanwhile.
  void StartRebuild();
  void CancelRebuild();
  // The rebuild has ended (outcome empty: cancelled or superseded).
  void FinishRebuild(const std::optional<CRebuildOutcome>& outcome);
  // The folders the folder list edits: those of settings.idx while every
  // monitor shows the same pictures, else those of the monitor last clicked
  // in the monitor list (settings.idx's for the first one selected).
  std::vector<std::string>& EditedFolders();
  // The monitor last clicked, while it has folders apart; else -1.
  int32_t EditedOwnMonitor() const;
  void OnMonitorClicked();
  void RefreshFolderList();
  void ShowIndexCount();
  void EnableEditing(bool enable);
  // The settings written, then applied to the record: a file that cannot be
  // written is named in a message box, the record keeps its values and
  // false keeps the dialog open.
  bool Apply();
  // The sign-in entry made to start this executable, or removed; a failure
  // is logged and named in a message box (the settings stay saved).
  void ApplyStartupEntry();
  // The note shown below the controls, the dialog grown to hold it.
  void ShowHotkeyNote();

  CShowApp& m_app;
  CFileListRebuilder& m_rebuilder;
  bool m_bRebuilding = false;
  bool m_bApplyAfterRebuild = false;
  CHyperLink m_linkDonate;
  CHyperLink m_linkHome;
  CLinkPicture m_pictureDonate;
  HWND m_staticIndexInfo = nullptr;
  int32_t m_bFoldersChanged = 0;
  // The monitor whose folders the list shows, and the monitors whose own
  // folders were edited.
  int32_t m_nEditedMonitor = -1;
  std::set<int32_t> m_setEditedMonitors;
  HICON m_hIcon = nullptr;
  CStartupEntry m_startup;
  std::string m_strHotkeyNote;
};

}  // namespace qv
