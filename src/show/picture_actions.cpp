#include "show/picture_actions.h"

#include <shellapi.h>
#include <shlobj.h>

#include "platform/log.h"
#include "platform/system_error.h"
#include "platform/win/window.h"

namespace qv {

namespace {

void ShowFailure(HWND owner, const std::string& what, const std::string& path, const std::string& reason) {
  Log(what + " \"" + path + "\": " + reason);
  win::ShowMessageBox(owner, what + ":\n\n" + path + "\n\n" + reason, MB_OK | MB_ICONEXCLAMATION);
}

// The shell's answer for a path: its item list, freed at the end.
class CItemList {
 public:
  explicit CItemList(const std::string& path) : m_p(::ILCreateFromPathA(path.c_str())) {}
  CItemList(const CItemList&) = delete;
  CItemList& operator=(const CItemList&) = delete;
  ~CItemList() {
    if (m_p) ::ILFree(m_p);
  }
  PIDLIST_ABSOLUTE Get() const { return m_p; }

 private:
  PIDLIST_ABSOLUTE m_p = nullptr;
};

}  // namespace

bool OpenPictureFile(HWND owner, const std::string& path) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner;
  info.lpVerb = "open";
  info.lpFile = path.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (::ShellExecuteExA(&info)) return true;
  const uint32_t code = LastSystemError();
  const auto result = reinterpret_cast<intptr_t>(info.hInstApp);
  const bool noProgram = code == ERROR_NO_ASSOCIATION || result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE;
  ShowFailure(
      owner, "Can't open picture", path,
      noProgram ? "There is no application associated\nwith the given filename extension." : SystemErrorText(code));
  return false;
}

bool ShowPictureInFolder(HWND owner, const std::string& path) {
  const CItemList item(path);
  if (item.Get() && SUCCEEDED(::SHOpenFolderAndSelectItems(item.Get(), 0, nullptr, 0))) return true;
  // Where the shell cannot, Explorer itself selects the file.
  const std::string parameters = "/select,\"" + path + "\"";
  const auto result =
      reinterpret_cast<intptr_t>(::ShellExecuteA(owner, "open", "explorer.exe", parameters.c_str(), nullptr, SW_SHOW));
  if (result > 32) return true;
  ShowFailure(owner, "Can't show the picture in its folder", path, SystemErrorText(LastSystemError()));
  return false;
}

}  // namespace qv
