// Owners of GDI handles and device contexts: each releases what it holds on
// every path, keeps every argument it needs for that, and can be moved but
// not copied.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

namespace qv::win {

// One handle, released with Release at the end.
template <class H, auto Release>
class CGdiHandle {
 public:
  CGdiHandle() = default;
  explicit CGdiHandle(H handle) : m_h(handle) {}
  CGdiHandle(CGdiHandle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
  CGdiHandle& operator=(CGdiHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_h, nullptr));
    return *this;
  }
  CGdiHandle(const CGdiHandle&) = delete;
  CGdiHandle& operator=(const CGdiHandle&) = delete;
  ~CGdiHandle() { Reset(); }

  H Get() const { return m_h; }
  explicit operator bool() const { return m_h != nullptr; }
  void Reset(H handle = nullptr) {
    if (m_h) Release(m_h);
    m_h = handle;
  }

 private:
  H m_h = nullptr;
};

inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }

using CBitmapHandle = CGdiHandle<HBITMAP, &DeleteGdiObject>;
using CBrushHandle = CGdiHandle<HBRUSH, &DeleteGdiObject>;
using CFontHandle = CGdiHandle<HFONT, &DeleteGdiObject>;
using CPaletteHandle = CGdiHandle<HPALETTE, &DeleteGdiObject>;
using CMemoryDC = CGdiHandle<HDC, &::DeleteDC>;
using CEnhMetafileHandle = CGdiHandle<HENHMETAFILE, &::DeleteEnhMetaFile>;
using CMetafileHandle = CGdiHandle<HMETAFILE, &::DeleteMetaFile>;

// A window's device context (the screen's for a null window), released at
// the end; or a context given by the caller, which stays the caller's.
class CWindowDC {
 public:
  explicit CWindowDC(HWND window) : m_hWnd(window), m_hDC(::GetDC(window)), m_bOwned(true) {}
  static CWindowDC Borrow(HDC given) { return CWindowDC(given); }
  // The given context, or the screen's when none is given.
  static CWindowDC GivenOrScreen(HDC given) { return given ? Borrow(given) : CWindowDC(HWND{nullptr}); }
  CWindowDC(CWindowDC&& other) noexcept
      : m_hWnd(other.m_hWnd), m_hDC(std::exchange(other.m_hDC, nullptr)), m_bOwned(other.m_bOwned) {}
  CWindowDC& operator=(CWindowDC&&) = delete;
  CWindowDC(const CWindowDC&) = delete;
  CWindowDC& operator=(const CWindowDC&) = delete;
  ~CWindowDC() {
    if (m_bOwned && m_hDC) ::ReleaseDC(m_hWnd, m_hDC);
  }
  HDC Get() const { return m_hDC; }

 private:
  explicit CWindowDC(HDC given) : m_hWnd(nullptr), m_hDC(given), m_bOwned(false) {}
  HWND m_hWnd;
  HDC m_hDC;
  bool m_bOwned;
};

// BeginPaint to EndPaint.
class CPaintDC {
 public:
  explicit CPaintDC(HWND window) : m_hWnd(window) { m_hDC = ::BeginPaint(window, &m_ps); }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
  HDC Get() const { return m_hDC; }

 private:
  HWND m_hWnd;
  PAINTSTRUCT m_ps{};
  HDC m_hDC = nullptr;
};

// An object selected into a context; the one it displaced goes back on
// Restore or at the end.
class CSelectObject {
 public:
  CSelectObject(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hOld(::SelectObject(dc, object)) {}
  CSelectObject(CSelectObject&& other) noexcept : m_hDC(other.m_hDC), m_hOld(std::exchange(other.m_hOld, nullptr)) {}
  CSelectObject& operator=(CSelectObject&&) = delete;
  CSelectObject(const CSelectObject&) = delete;
  CSelectObject& operator=(const CSelectObject&) = delete;
  ~CSelectObject() { Restore(); }
  bool Ok() const { return m_hOld && m_hOld != HGDI_ERROR; }
  void Restore() {
    if (Ok()) ::SelectObject(m_hDC, m_hOld);
    m_hOld = nullptr;
  }

 private:
  HDC m_hDC;
  HGDIOBJ m_hOld;
};

// A palette selected (not forced to the background) and realised; the
// previous palette goes back at the end. A null palette selects nothing.
class CSelectPalette {
 public:
  CSelectPalette(HDC dc, HPALETTE palette) : m_hDC(dc) {
    if (!palette) return;
    m_hOld = ::SelectPalette(dc, palette, FALSE);
    ::RealizePalette(dc);
  }
  CSelectPalette(CSelectPalette&& other) noexcept : m_hDC(other.m_hDC), m_hOld(std::exchange(other.m_hOld, nullptr)) {}
  CSelectPalette& operator=(CSelectPalette&&) = delete;
  CSelectPalette(const CSelectPalette&) = delete;
  CSelectPalette& operator=(const CSelectPalette&) = delete;
  ~CSelectPalette() {
    if (m_hOld) ::SelectPalette(m_hDC, m_hOld, FALSE);
  }

 private:
  HDC m_hDC;
  HPALETTE m_hOld = nullptr;
};

// The process's live GDI objects. Where the system keeps no count (Wine),
// every handle index of the process's table is asked for its object type.
inline int64_t CountGdiObjects() {
  const DWORD counted = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return counted;
  int64_t live = 0;
  for (uintptr_t index = 1; index < 0x10000; ++index) {
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
  }
  return live;
}

}  // namespace qv::win
