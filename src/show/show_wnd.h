// The show window: a borderless window over one monitor's work area, kept at
// the bottom of the window stack and at its rectangle whatever is asked of
// it. It puts the next picture of the file list on show at every tick of its
// slide timer, paints it centred on black, and shows the picture's path
// while the left button is held down.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "library/show_app.h"
#include "platform/win/gdi.h"
#include "platform/win/window.h"
#include "show/show_image.h"

namespace qv {

// Off-screen drawing for one paint: a memory context with a compatible bitmap
// of the rectangle's size; at the end the result is copied to the target in
// one transfer and the off-screen objects are released.
class CBufferDC {
 public:
  CBufferDC(HDC target, const RECT& rect);
  CBufferDC(const CBufferDC&) = delete;
  CBufferDC& operator=(const CBufferDC&) = delete;
  ~CBufferDC();
  // The context to draw on: the off-screen one, or the target itself when
  // the off-screen objects could not be made.
  HDC Get() const { return m_memory ? m_memory.Get() : m_hTarget; }

 private:
  HDC m_hTarget;
  RECT m_rect;
  win::CMemoryDC m_memory;
  win::CBitmapHandle m_bitmap;
  win::CSelectObject m_displaced;
};

class CShowWnd : public win::CWnd {
 public:
  static constexpr const char* kClassName = "QuadrivueShow";
  static constexpr UINT_PTR kSlideTimer = 1;
  static constexpr UINT_PTR kRetryTimer = 2;
  static constexpr UINT kRetryMs = 50;

  explicit CShowWnd(CShowApp& app);
  ~CShowWnd() override;

  // Creates the window over rect, owned by owner; lowers the process to idle
  // priority and starts the show (or shows the help picture when the file
  // list is empty). True when the window exists.
  bool Create(const RECT& rect, HWND owner);
  // The next picture now, and the slide timer restarted with the interval.
  void StartShow();
  // One advance of the show.
  void NextPicture();
  // Paused, the slide timer is stopped (StartShow then only shows the next
  // picture); resuming starts it again with the interval.
  void SetPaused(bool paused);
  bool IsPaused() const { return m_bPaused != 0; }

  // The rectangle the window is pinned to; set before moving it.
  RECT m_rcMonitor{};

  // For tests and the frame.
  HBITMAP Bitmap() const { return m_hBitmap; }
  int32_t ShownCount() const { return m_nShownCount; }
  const std::string& CurrentFile() const { return m_strCurrentFile; }

 protected:
  void OnPaint() override;
  BOOL OnEraseBkgnd(HDC dc) override;
  void OnLButtonDown(UINT flags, POINT point) override;
  void OnLButtonUp(UINT flags, POINT point) override;
  void OnLButtonDblClk(UINT flags, POINT point) override;
  void OnWindowPosChanging(WINDOWPOS* position) override;
  void OnWindowPosChanged(WINDOWPOS* position) override;
  int OnMouseActivate(HWND topLevel, UINT hitTest, UINT message) override;
  void OnTimer(UINT_PTR id) override;

 private:
  void ShowHelpPicture();
  // The holder's pixels become the picture on show; the holder is emptied.
  void TakeBitmapFromHolder();
  void ReplaceBitmap(HBITMAP bitmap, int32_t width, int32_t height);
  static bool ScreenSaverRunning();

  CShowApp& m_app;
  CShowImage m_image;
  HBITMAP m_hBitmap = nullptr;
  int32_t m_nBitmapWidth = 0;
  int32_t m_nBitmapHeight = 0;
  int32_t m_bUpdatePending = 0;
  int32_t m_nShownCount = 0;
  int32_t m_bShowName = 0;
  int32_t m_bPaused = 0;
  std::string m_strCurrentFile;
};

}  // namespace qv
