// The folder chooser: the system's browse-for-folder dialog with an edit box
// for typing a path; a typed folder that does not exist is offered for
// creation, every missing level included.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win/window.h"

namespace qv {

class CFolderDlg {
 public:
  static constexpr int kTreeId = 14145;
  static constexpr int kStatusId = 14147;
  static constexpr int kEditId = 14148;

  // caption and initialFolder may be empty (no caption change; the current
  // folder).
  CFolderDlg(std::string caption, std::string prompt, std::string initialFolder, HWND owner);

  // IDOK when a folder was accepted, -1 otherwise.
  int Browse();
  const std::string& GetPath() const { return m_szPath; }

  // 0 the folder exists or was created; -1 creation declined; 1 invalid
  // path; 2 cannot be created. Refusals are explained in a message box.
  static int32_t ValidateFolder(HWND owner, const std::string& path, bool ask);

 private:
  // The browse dialog's own window, to take its OK button and the edit box.
  class CHookWnd : public win::CWnd {
   public:
    explicit CHookWnd(CFolderDlg& owner) : m_owner(owner) {}

   protected:
    bool OnCommand(UINT id, UINT notifyCode) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

   private:
    CFolderDlg& m_owner;
  };

  static int CALLBACK BrowseCallback(HWND window, UINT event, LPARAM param, LPARAM data);
  void OnInitialized(HWND window);
  // The edit box above the folder tree, sized for the dialog's font.
  static void PlaceEditBox(HWND browse);
  void OnSelectionChanged(LPARAM item);
  bool OnOK();
  void OnEditChanged();
  std::string ReadEdit() const;

  std::string m_strCaption;
  std::string m_strPrompt;
  std::string m_pszInitialFolder;
  HWND m_hOwner;
  std::string m_szPath;
  HWND m_hBrowse = nullptr;
  int32_t m_bAccepted = 0;
  CHookWnd m_hook{*this};
};

}  // namespace qv
