#include "app/show_win_app.h"

#include <commctrl.h>
#include <windows.h>

#include <ctime>

#include "platform/win/window.h"
#include "show/slide_choice.h"

namespace qv {

CShowWinApp::CShowWinApp() = default;
CShowWinApp::~CShowWinApp() = default;

bool CShowWinApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  LoadCounter();
  LoadProfileOptions();
  LoadSettings();
  SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
  m_pMainWnd = std::make_unique<CMainFrame>(*this);
  if (m_pMainWnd->Create()) return true;
  m_pMainWnd.reset();
  return false;
}

void CShowWinApp::ExitInstance() { SaveCounter(); }

int CShowWinApp::Run() {
  const int code = InitInstance() ? win::RunMessageLoop() : 0;
  // The frame's window is gone by now; its object (tray, show, monitors)
  // goes before the position is stored.
  m_pMainWnd.reset();
  ExitInstance();
  return code;
}

}  // namespace qv
