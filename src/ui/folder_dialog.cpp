#include "ui/folder_dialog.h"

#include <shlobj.h>

#include <array>
#include <vector>

#include "platform/directory.h"
#include "ui/folder_path.h"

namespace qv {

namespace {

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
// The edit box in dialog units: an edit control's usual height, and the gap
// between it and the folder tree below.
constexpr int kEditHeightUnits = 14;
constexpr int kEditGapUnits = 3;
constexpr int kPromptId = 14146;

std::string Replace(std::string text, const std::string& path) {
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

// The shell's allocator, released at the end.
class CShellMalloc {
 public:
  CShellMalloc() {
    if (FAILED(::SHGetMalloc(&m_p))) m_p = nullptr;
  }
  CShellMalloc(const CShellMalloc&) = delete;
  CShellMalloc& operator=(const CShellMalloc&) = delete;
  ~CShellMalloc() {
    if (m_p) m_p->Release();
  }
  IMalloc* Get() const { return m_p; }

 private:
  IMalloc* m_p = nullptr;
};

}  // namespace

CFolderDlg::CFolderDlg(std::string caption, std::string prompt, std::string initialFolder, HWND owner)
    : m_strCaption(std::move(caption)),
      m_strPrompt(std::move(prompt)),
      m_pszInitialFolder(std::move(initialFolder)),
      m_hOwner(owner) {}

int CFolderDlg::Browse() {
  std::array<char, MAX_PATH> displayName{};
  BROWSEINFOA info{};
  info.hwndOwner = m_hOwner;
  info.pszDisplayName = displayName.data();
  info.lpszTitle = m_strPrompt.c_str();
  info.ulFlags = kBrowseFlags;
  info.lpfn = &CFolderDlg::BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  const CShellMalloc malloc;
  if (!malloc.Get()) return -1;
  m_bAccepted = 0;
  if (const LPITEMIDLIST chosen = ::SHBrowseForFolderA(&info)) malloc.Get()->Free(chosen);
  m_hook.Detach();
  m_hBrowse = nullptr;
  return m_bAccepted ? IDOK : -1;
}

int CALLBACK CFolderDlg::BrowseCallback(HWND window, UINT event, LPARAM param, LPARAM data) {
  auto* self = reinterpret_cast<CFolderDlg*>(data);
  if (!self) return 0;
  if (event == BFFM_INITIALIZED) self->OnInitialized(window);
  if (event == BFFM_SELCHANGED) self->OnSelectionChanged(param);
  return 0;
}

void CFolderDlg::OnInitialized(HWND window) {
  m_hBrowse = window;
  if (!m_strCaption.empty()) ::SetWindowTextA(window, m_strCaption.c_str());
  m_hook.SubclassWindow(window);
  ::ShowWindow(::GetDlgItem(window, kStatusId), SW_HIDE);

  const HWND edit = ::CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                      0, 0, 0, 0, window, nullptr, win::ProgramInstance(), nullptr);
  if (edit) {
    ::SetWindowLongPtrA(edit, GWLP_ID, kEditId);
    PlaceEditBox(window);
  }

  std::string initial = m_pszInitialFolder;
  if (initial.empty()) {
    std::vector<char> current(::GetCurrentDirectoryA(0, nullptr) + 1, '\0');
    initial.assign(current.data(), ::GetCurrentDirectoryA(static_cast<DWORD>(current.size()), current.data()));
  }
  ::SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(initial.c_str()));
}

void CFolderDlg::OnSelectionChanged(LPARAM item) {
  std::array<char, MAX_PATH> path{};
  const bool ok = item && ::SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(item), path.data());
  if (!ok) path[0] = '\0';
  ::SendMessageA(m_hBrowse, BFFM_ENABLEOK, 0, ok ? 1 : 0);
  ::SendMessageA(m_hBrowse, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path.data()));
  ::SetDlgItemTextA(m_hBrowse, kEditId, path.data());
}

void CFolderDlg::PlaceEditBox(HWND browse) {
  const HWND edit = ::GetDlgItem(browse, kEditId);
  const HWND tree = ::GetDlgItem(browse, kTreeId);
  if (!edit || !tree) return;
  // Above the folder tree, as wide as it, in the dialog's own font and units,
  // so that it grows with the dialog at every DPI.
  ::SendMessageA(edit, WM_SETFONT, ::SendMessageA(browse, WM_GETFONT, 0, 0), TRUE);
  RECT units{0, kEditGapUnits, 0, kEditHeightUnits};
  ::MapDialogRect(browse, &units);
  RECT box{};
  ::GetWindowRect(tree, &box);
  ::MapWindowPoints(nullptr, browse, reinterpret_cast<POINT*>(&box), 2);
  // First in the tab order (after the prompt, which takes no focus): it
  // stands above the tree.
  const HWND prompt = ::GetDlgItem(browse, kPromptId);
  ::SetWindowPos(edit, prompt ? prompt : HWND_TOP, box.left, box.top - units.top - units.bottom, box.right - box.left,
                 units.bottom, SWP_NOACTIVATE);
}

std::string CFolderDlg::ReadEdit() const { return win::WindowText(::GetDlgItem(m_hBrowse, kEditId)); }

bool CFolderDlg::OnOK() {
  m_szPath = ReadEdit();
  if (ValidateFolder(m_hBrowse, m_szPath, true) != 0) {
    ::SetFocus(::GetDlgItem(m_hBrowse, kEditId));
    return true;
  }
  m_bAccepted = 1;
  ::EndDialog(m_hBrowse, IDOK);
  return true;
}

void CFolderDlg::OnEditChanged() {
  m_szPath = ReadEdit();
  ::SendMessageA(m_hBrowse, BFFM_ENABLEOK, 0, m_szPath.empty() ? 0 : 1);
}

LRESULT CFolderDlg::CHookWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_DPICHANGED) return CWnd::WindowProc(message, wParam, lParam);
  // The system scales the dialog and the controls of its template; the
  // edit box is ours to place again.
  const LRESULT result = CWnd::WindowProc(message, wParam, lParam);
  PlaceEditBox(GetSafeHwnd());
  return result;
}

bool CFolderDlg::CHookWnd::OnCommand(UINT id, UINT notifyCode) {
  if (id == IDOK && notifyCode == BN_CLICKED) return m_owner.OnOK();
  if (id == kEditId && notifyCode == EN_CHANGE) {
    m_owner.OnEditChanged();
    return true;
  }
  return false;
}

int32_t CFolderDlg::ValidateFolder(HWND owner, const std::string& path, bool ask) {
  int32_t result = CheckOrCreatePath(path, false);
  if (result == kFolderOk) {
    if (PathExists(path)) return 0;
    if (ask && win::ShowMessageBox(
                   owner, Replace("The folder:\n\n%s\n\ndoes not exist. Do you want the folder to be created?", path),
                   MB_YESNO | MB_ICONQUESTION) != IDYES)
      return -1;
    result = CheckOrCreatePath(path, true);
    if (result == kFolderOk) return 0;
  }
  const char* text = result == kFolderInvalid ? "The folder:\n\n%s\n\nis invalid. Please reenter."
                                              : "The folder:\n\n%s\n\ncan not be created. Please double check.";
  win::ShowMessageBox(owner, Replace(text, path), MB_OK | MB_ICONEXCLAMATION);
  return result;
}

}  // namespace qv
