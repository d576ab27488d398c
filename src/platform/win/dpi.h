// The DPI a window is drawn at, and sizes made for 96 DPI scaled to it. The
// program is aware of each monitor's DPI, so nothing it draws is scaled by
// the system: whatever has a size in pixels takes it from here.
#pragma once

#include <windows.h>

namespace qv::win {

inline constexpr UINT kBaseDpi = 96;
// Sent to each child after its top-level window has followed a DPI change
// (Windows 10 1703 and later).
inline constexpr UINT kDpiChangedAfterParent = 0x02E3;

// The screen's DPI, the whole system's where monitors differ.
inline UINT SystemDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

// The DPI of the window's monitor where the system tells (Windows 10 1607
// and later), else the system's.
inline UINT DpiForWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (window && getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window)) return dpi;
  }
  return SystemDpi();
}

// A size in pixels at 96 DPI, at dpi.
inline int ScaleForDpi(int value, UINT dpi) { return ::MulDiv(value, static_cast<int>(dpi), kBaseDpi); }

}  // namespace qv::win
