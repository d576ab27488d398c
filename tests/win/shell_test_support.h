// Shared pieces of the window tests: a message pump that waits for a
// condition, and z-order questions.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

namespace qv::test {

// Dispatches this thread's messages until done() holds or the time is up;
// returns done().
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  MSG msg;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (!done()) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// Dispatches what is queued now.
inline void PumpPending() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// True when lower comes after upper in the stack of top-level windows.
inline bool IsBelow(HWND lower, HWND upper) {
  for (HWND w = ::GetWindow(upper, GW_HWNDNEXT); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (w == lower) return true;
  }
  return false;
}

}  // namespace qv::test
