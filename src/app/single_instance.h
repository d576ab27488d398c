// One running copy per session and program folder. The first copy holds a
// named mutex in the session's namespace ("Local\Quadrivue-<key>", the key
// naming the program folder) and marks its hidden frame window with the same
// key; a later start finds that window and hands its command-line word over
// with a registered message, then ends.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/command_line.h"

namespace qv {

class CInstanceLock {
 public:
  explicit CInstanceLock(uint64_t key);
  CInstanceLock(const CInstanceLock&) = delete;
  CInstanceLock& operator=(const CInstanceLock&) = delete;
  ~CInstanceLock();
  // True when this process is (now) the one copy; it stays so until the end.
  bool TryAcquire();

 private:
  HANDLE m_hMutex = nullptr;
  bool m_bOwned = false;
};

// The message a later start sends to the running copy's frame: wParam an
// ERemoteCommand; the frame answers 1 when it took the command.
UINT RemoteCommandMessage();

// Marks the frame of the running copy (a window property holding the key).
void MarkInstanceWindow(HWND frame, uint64_t key);
void UnmarkInstanceWindow(HWND frame);

// The running copy's frame for this key, or null.
HWND FindRunningCopy(uint64_t key);

// Hands command to the frame of a running copy. For kExit it also waits (up
// to waitMs) for that copy to end. False when the copy did not take it.
bool HandOver(HWND frame, ERemoteCommand command, DWORD waitMs);

}  // namespace qv
