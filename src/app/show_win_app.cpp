#include "app/show_win_app.h"

#include <commctrl.h>
#include <objbase.h>
#include <windows.h>

#include <ctime>

#include "app/single_instance.h"
#include "platform/data_folder.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/win/window.h"
#include "res/resource.h"
#include "show/slide_choice.h"

namespace qv {

namespace {

// How long a start waits for a copy that holds the lock to show its window
// (it may be starting itself), and for a copy told to exit to end.
constexpr DWORD kFindCopyMs = 10000;
constexpr DWORD kExitWaitMs = 15000;

// COM for the folder browser, apartment-threaded on the window thread.
class CComApartment {
 public:
  CComApartment() : m_bInitialised(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;
  ~CComApartment() {
    if (m_bInitialised) ::CoUninitialize();
  }

 private:
  bool m_bInitialised;
};

}  // namespace

CShowWinApp::CShowWinApp(ERemoteCommand command)
    : m_eCommand(command), m_nInstanceKey(InstanceKey(GetProgramFolder())) {}

CShowWinApp::~CShowWinApp() = default;

bool CShowWinApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  LoadCounter();
  LoadProfileOptions();
  LoadSettings();
  SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
  m_pMainWnd = std::make_unique<CMainFrame>(*this, m_nInstanceKey);
  if (m_pMainWnd->Create()) return true;
  m_pMainWnd.reset();
  return false;
}

void CShowWinApp::ExitInstance() {
  if (!SaveCounter()) Log("The show's position could not be stored in the registry.");
}

int CShowWinApp::Run() {
  CInstanceLock lock(m_nInstanceKey);
  // The lock is free, or a copy runs: then its frame takes this start's
  // word. A copy that is only starting shows its frame shortly; one that is
  // ending frees the lock.
  const DWORD until = ::GetTickCount() + kFindCopyMs;
  while (!lock.TryAcquire()) {
    if (const HWND running = FindRunningCopy(m_nInstanceKey)) return HandOver(running, m_eCommand, kExitWaitMs) ? 0 : 1;
    if (static_cast<LONG>(::GetTickCount() - until) >= 0) return 1;
    ::Sleep(100);
  }
  if (!StartsWhenAlone(m_eCommand)) return 0;

  OpenProgramLog(JoinPath(GetDataFolder(), "Quadrivue.log"));
  const CComApartment com;
  int code = 0;
  if (InitInstance()) {
    if (m_eCommand == ERemoteCommand::kSettings) ::PostMessageA(m_pMainWnd->GetSafeHwnd(), WM_COMMAND, ID_SETTINGS, 0);
    code = win::RunMessageLoop();
  }
  // The frame's window is gone by now; its object (tray, shows, monitors,
  // workers) goes before the position is stored.
  m_pMainWnd.reset();
  ExitInstance();
  CloseProgramLog();
  return code;
}

}  // namespace qv
