// The show window: a borderless window over one monitor's work area, kept at
// the bottom of the window stack and at its rectangle whatever is asked of
// it. At every tick of its slide timer it asks its background worker for the
// next picture of the file list and, once the picture is ready, paints it
// centred on black; it shows the picture's path while the left button is
// held down. The window's own thread only picks, paints and hands over: it
// never decodes or scales.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "library/show_app.h"
#include "platform/win/gdi.h"
#include "platform/win/window.h"
#include "show/show_image.h"
#include "show/slide_history.h"
#include "show/slide_worker.h"

namespace qv {

// Off-screen drawing for one paint: a memory context with a compatible bitmap
// of the rectangle's size; at the end the result is copied to the target in
// one transfer and the off-screen objects are released. Where the bitmap
// cannot be made (a huge window, GDI short of memory) drawing goes straight
// to the target instead.
class CBufferDC {
 public:
  CBufferDC(HDC target, const RECT& rect);
  CBufferDC(const CBufferDC&) = delete;
  CBufferDC& operator=(const CBufferDC&) = delete;
  ~CBufferDC();
  // The context to draw on: the off-screen one, or the target itself when
  // the off-screen objects could not be made.
  HDC Get() const { return m_displaced.Ok() ? m_memory.Get() : m_hTarget; }
  bool Buffered() const { return m_displaced.Ok(); }

 private:
  HDC m_hTarget;
  RECT m_rect;
  win::CMemoryDC m_memory;
  win::CBitmapHandle m_bitmap;
  win::CSelectObject m_displaced;
};

// The overlay's font at one DPI: the system's message face at 9 points.
struct COverlayFont {
  win::CFontHandle font;
  UINT dpi = 96;
};
COverlayFont MakeOverlayFont(UINT dpi);

// The path of the picture on show as the overlay draws it: light yellow on a
// black band inside rect (4 pixels in at 96 DPI, as far at the font's DPI),
// one line in the font (the context's own when the font could not be made),
// '&' shown as it is, a path too long for the band shortened in the middle
// with an ellipsis.
void DrawPathOverlay(HDC dc, const RECT& rect, const std::string& path, const COverlayFont& font);

class CShowWnd : public win::CWnd {
 public:
  static constexpr const char* kClassName = "QuadrivueShow";
  static constexpr UINT_PTR kSlideTimer = 1;
  static constexpr UINT_PTR kRetryTimer = 2;
  static constexpr UINT kRetryMs = 50;
  // The frames of a fade between two pictures.
  static constexpr UINT_PTR kFadeTimer = 3;
  // Posted by the worker when a prepared slide can be taken.
  static constexpr UINT kSlideReadyMessage = WM_APP + 1;

  // What the frame hears from its shows.
  class IOwner {
   public:
    // A preparation the show asked for has ended: shown, or given up.
    virtual void OnSlideSettled(CShowWnd& show) = 0;
    // "Update File List on Application start": the second picture of the
    // run went on show from the slide timer.
    virtual void OnStartUpdateDue(CShowWnd& show) = 0;

   protected:
    ~IOwner() = default;
  };

  explicit CShowWnd(CShowApp& app);
  ~CShowWnd() override;

  // Creates the window over rect, owned by owner, and starts the show (or
  // shows the help picture when the file list is empty). True when the
  // window exists.
  bool Create(const RECT& rect, HWND owner);
  void SetOwner(IOwner* owner) { m_pOwner = owner; }
  // The next picture now, and the slide timer restarted with the interval.
  void StartShow();
  // One advance of the show: picks the next file and asks for its slide.
  // False when nothing was asked for (screen saver running, no file).
  // A newer picture of the show's history comes first, if there is one.
  bool NextPicture(ESlideOrigin origin = ESlideOrigin::kUser);
  // The picture before the one on show, from the show's history; false
  // when there is none.
  bool PreviousPicture();
  // The picture on show opened in its program, or its folder opened with
  // it selected; failures explained in a message box.
  void OpenPicture();
  void ShowInFolder();
  // The picture on show is never shown again (excluded.txt) and the next
  // one comes at once.
  void NeverShowPicture();
  // The show's own menu at a point of the screen.
  void ShowMenu(POINT at);
  // Paused, the slide timer is stopped (StartShow then only shows the next
  // picture); resuming starts it again with the interval.
  void SetPaused(bool paused);
  bool IsPaused() const { return m_bPaused != 0; }
  // While nobody looks (or on battery) the show rests: no timer, nothing
  // picked, read or decoded; a slide already on its way may still arrive,
  // and at once. At the rest's end a fresh picture comes and the timer runs
  // again, unless the show is paused. Rest and pause are independent.
  void SetResting(bool resting);
  bool IsResting() const { return m_bResting; }
  // A new picture is fading in over the old one.
  bool IsFading() const { return static_cast<bool>(m_hFadeFrom); }
  // A slide is being prepared, or waits to be put on show.
  bool IsPreparing() const { return m_pWorker && m_pWorker->Busy(); }

  // The rectangle the window is pinned to; set before moving it.
  RECT m_rcMonitor{};
  // The monitor (0-based) whose pictures the show draws from.
  int32_t m_nMonitorIndex = -1;

  // For tests and the frame.
  HBITMAP Bitmap() const { return m_hBitmap.Get(); }
  int32_t ShownCount() const { return m_nShownCount; }
  const std::string& CurrentFile() const { return m_strCurrentFile; }
  const COverlayFont& OverlayFont() const { return m_overlayFont; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(HDC dc) override;
  void OnLButtonDown(UINT flags, POINT point) override;
  void OnLButtonUp(UINT flags, POINT point) override;
  void OnLButtonDblClk(UINT flags, POINT point) override;
  void OnWindowPosChanging(WINDOWPOS* position) override;
  void OnWindowPosChanged(WINDOWPOS* position) override;
  int OnMouseActivate(HWND topLevel, UINT hitTest, UINT message) override;
  void OnTimer(UINT_PTR id) override;
  void OnDestroy() override;

 private:
  void ShowHelpPicture();
  void Prepare(std::string path, ESlideOrigin origin, EHistoryStep step, int32_t counter);
  // A picture of the history that could not be shown is forgotten and the
  // same step made again.
  void RetryHistoryStep(const CPreparedSlide& slide);
  // A prepared slide from the worker goes on show (or is skipped).
  void OnSlideReady();
  // The holder's pixels become the picture on show; the holder is emptied.
  void TakeBitmapFrom(CShowImage& image);
  // The window as it shows now (a fade's frame included), without the
  // overlay, drawn on dc over rc.
  void Compose(HDC dc, const RECT& rc) const;
  // The picture on show laid over what dc holds with the given opacity,
  // the black around it included.
  void BlendPicture(HDC dc, const RECT& rc, uint8_t alpha) const;
  // Whether the next picture fades in: the option is on, an earlier picture
  // is on show, and someone can see the window.
  bool FadeWanted() const;
  // Keeps the window's frame as it shows now for the fade to start from.
  void BeginFade();
  void EndFade();
  void OnFadeTick();
  void EndOverlay();
  // The window below this one, passing over its owner (an owned window
  // always stays above its owner, so that is no reason to move).
  HWND WindowBelow() const;
  static bool ScreenSaverRunning();

  CShowApp& m_app;
  IOwner* m_pOwner = nullptr;
  std::unique_ptr<CSlideWorker> m_pWorker;
  win::CBitmapHandle m_hBitmap;
  int32_t m_nBitmapWidth = 0;
  int32_t m_nBitmapHeight = 0;
  int32_t m_bUpdatePending = 0;
  int32_t m_nShownCount = 0;
  int32_t m_bShowName = 0;
  int32_t m_bPaused = 0;
  bool m_bRepinning = false;
  bool m_bListUnreadable = false;
  bool m_bResting = false;
  // During a fade: the window's frame the change started from, its size,
  // when the fade began and the new picture's opacity now.
  win::CBitmapHandle m_hFadeFrom;
  SIZE m_szFadeFrom{};
  uint64_t m_nFadeStart = 0;
  uint8_t m_nFadeAlpha = 255;
  ESlideOrigin m_eRetryOrigin = ESlideOrigin::kTimer;
  // Pictures passed over in a row for their shape, and the list length they
  // were counted against: a whole pass without a match lets any picture go.
  int32_t m_nShapeSkips = 0;
  int32_t m_nShapeListCount = 0;
  std::string m_strCurrentFile;
  CSlideHistory m_history;
  // Made for the window's DPI, and again when the window's monitor changes
  // it.
  COverlayFont m_overlayFont;
};

}  // namespace qv
