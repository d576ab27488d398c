#include "app/single_instance.h"

#include <cstdio>
#include <string>

#include "app/main_frame.h"

namespace qv {

namespace {

constexpr const char* kInstanceProperty = "QuadrivueInstanceKey";
constexpr DWORD kSendTimeoutMs = 5000;

std::string MutexName(uint64_t key) {
  char name[64];
  std::snprintf(name, sizeof name, "Local\\Quadrivue-%016llx", static_cast<unsigned long long>(key));
  return name;
}

HANDLE KeyAsHandle(uint64_t key) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(key)); }

struct CSearch {
  uint64_t key;
  HWND found;
};

BOOL CALLBACK MatchFrame(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<CSearch*>(data);
  char cls[64] = {};
  ::GetClassNameA(window, cls, sizeof cls);
  if (std::string(cls) != CMainFrame::kClassName) return TRUE;
  if (::GetPropA(window, kInstanceProperty) != KeyAsHandle(search->key)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

CInstanceLock::CInstanceLock(uint64_t key) { m_hMutex = ::CreateMutexA(nullptr, FALSE, MutexName(key).c_str()); }

CInstanceLock::~CInstanceLock() {
  if (!m_hMutex) return;
  if (m_bOwned) ::ReleaseMutex(m_hMutex);
  ::CloseHandle(m_hMutex);
}

bool CInstanceLock::TryAcquire() {
  if (m_bOwned) return true;
  // Without a mutex (no namespace, no memory) nothing guards: run.
  if (!m_hMutex) return true;
  const DWORD state = ::WaitForSingleObject(m_hMutex, 0);
  // An abandoned mutex: the copy that held it died; this one takes over.
  m_bOwned = state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
  return m_bOwned;
}

UINT RemoteCommandMessage() { return ::RegisterWindowMessageA("Quadrivue.RemoteCommand"); }

void MarkInstanceWindow(HWND frame, uint64_t key) { ::SetPropA(frame, kInstanceProperty, KeyAsHandle(key)); }

void UnmarkInstanceWindow(HWND frame) { ::RemovePropA(frame, kInstanceProperty); }

HWND FindRunningCopy(uint64_t key) {
  CSearch search{key, nullptr};
  ::EnumWindows(&MatchFrame, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool HandOver(HWND frame, ERemoteCommand command, DWORD waitMs) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(frame, &pid);
  // This start came from the user: the running copy may bring its window
  // to the front.
  ::AllowSetForegroundWindow(pid);
  const HANDLE process = command == ERemoteCommand::kExit ? ::OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
  DWORD_PTR answer = 0;
  const bool taken = ::SendMessageTimeoutA(frame, RemoteCommandMessage(), static_cast<WPARAM>(command), 0,
                                           SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &answer) != 0 &&
                     answer == 1;
  bool ended = true;
  if (process) {
    ended = taken && ::WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
    ::CloseHandle(process);
  }
  return taken && ended;
}

}  // namespace qv
