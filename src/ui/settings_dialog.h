// The settings dialog: picture folders, scan option, interval, display
// options and monitor; rebuilds the file list and saves the settings. And
// the small about box.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "library/show_app.h"
#include "platform/win/dialog.h"
#include "ui/hyperlink.h"

namespace qv {

class CAboutDlg : public win::CDialog {
 public:
  explicit CAboutDlg(HWND parent);

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
  CSettingsDlg(CShowApp& app, HWND parent);

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

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(win::CDataExchange& dx) override;
  void OnOK() override;
  bool OnCommand(UINT id, UINT notifyCode) override;
  void OnSysCommand(UINT command, LPARAM lParam) override;
  void OnPaint() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnAddFolder();
  void OnRemoveFolder();
  void OnUpdateFileList();
  void RefreshFolderList();
  void ShowIndexCount();
  void EnableEditing(bool enable);
  // The file list rebuilt and the settings written; a file that cannot be
  // written is named in a message box and false keeps the dialog open.
  bool Apply();

  CShowApp& m_app;
  CHyperLink m_linkDonate;
  CHyperLink m_linkHome;
  HWND m_staticIndexInfo = nullptr;
  int32_t m_bFoldersChanged = 0;
  HICON m_hIcon = nullptr;
  bool m_bListWriteFailed = false;
};

}  // namespace qv
