#include "show/show_wnd.h"

#include "codec/ops/device_bitmap.h"
#include "platform/paths.h"
#include "show/slide_choice.h"
#include "show/slide_preparation.h"

namespace qv {

namespace {
constexpr COLORREF kOverlayText = RGB(255, 255, 224);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr int kOverlayInset = 4;

HBRUSH BlackBrush() { return static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)); }
}  // namespace

// ---- CBufferDC -------------------------------------------------------------

CBufferDC::CBufferDC(HDC target, const RECT& rect)
    : m_hTarget(target),
      m_rect(rect),
      m_memory(::CreateCompatibleDC(target)),
      m_bitmap(::CreateCompatibleBitmap(target, rect.right - rect.left, rect.bottom - rect.top)),
      m_displaced(m_memory.Get(), m_bitmap.Get()) {
  if (m_displaced.Ok()) ::SetWindowOrgEx(m_memory.Get(), rect.left, rect.top, nullptr);
}

CBufferDC::~CBufferDC() {
  if (!m_displaced.Ok()) return;
  ::BitBlt(m_hTarget, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, m_memory.Get(),
           m_rect.left, m_rect.top, SRCCOPY);
  m_displaced.Restore();
}

// ---- CShowWnd --------------------------------------------------------------

CShowWnd::CShowWnd(CShowApp& app) : m_app(app) {}

CShowWnd::~CShowWnd() {
  DestroyWindow();
  if (m_hBitmap) ::DeleteObject(m_hBitmap);
}

bool CShowWnd::Create(const RECT& rect, HWND owner) {
  m_rcMonitor = rect;
  RegisterClassOnce(kClassName, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, ::LoadCursorA(nullptr, IDC_ARROW), nullptr,
                    nullptr);
  const bool created = CreateEx(0, kClassName, "", WS_POPUP | WS_VISIBLE, rect, owner, nullptr);
  // The whole application, its dialogs included, only takes processor time
  // that nothing else wants.
  ::SetPriorityClass(::GetCurrentProcess(), IDLE_PRIORITY_CLASS);
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_IDLE);
  if (!created) return false;
  // Visible already; showing it again must not activate it.
  ::ShowWindow(m_hWnd, SW_SHOWNA);
  if (m_app.m_bUpdateOnStart) m_bUpdatePending = 1;
  if (m_app.GetFileCount() != 0)
    StartShow();
  else
    ShowHelpPicture();
  return true;
}

void CShowWnd::ShowHelpPicture() {
  m_image.Load(JoinPath(GetProgramFolder(), "help.png"), kTypeNone, 0);
  if (!m_image.IsEmpty()) TakeBitmapFromHolder();
}

void CShowWnd::StartShow() {
  if (!m_hWnd) return;
  const uint32_t period = SlideIntervalMs(m_app.m_nInterval, m_app.m_bMinutes);
  NextPicture();
  if (!m_bPaused) ::SetTimer(m_hWnd, kSlideTimer, period, nullptr);
}

void CShowWnd::SetPaused(bool paused) {
  m_bPaused = paused ? 1 : 0;
  if (!m_hWnd) return;
  if (paused) {
    ::KillTimer(m_hWnd, kSlideTimer);
  } else {
    ::SetTimer(m_hWnd, kSlideTimer, SlideIntervalMs(m_app.m_nInterval, m_app.m_bMinutes), nullptr);
  }
}

bool CShowWnd::ScreenSaverRunning() {
  BOOL running = FALSE;
  return ::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0) && running == 1;
}

void CShowWnd::NextPicture() {
  if (!m_hWnd || ScreenSaverRunning()) return;
  const int32_t index = PickNextIndex(m_app, m_app.GetFileCount());
  const std::string path = m_app.GetFileAt(index);
  const RECT rc = GetClientRect();
  const CSlidePreparation prep = PrepareSlide(m_image, path, m_app, rc.right - rc.left, rc.bottom - rc.top);
  switch (prep.outcome) {
    case ESlideOutcome::kNoFile:
    case ESlideOutcome::kUndecodable:
      // The picture on show stays.
      Invalidate();
      return;
    case ESlideOutcome::kTooNarrow:
      ::SetTimer(m_hWnd, kRetryTimer, kRetryMs, nullptr);
      return;
    case ESlideOutcome::kReady:
      break;
  }
  ++m_nShownCount;
  m_strCurrentFile = path;
  TakeBitmapFromHolder();
  Invalidate();
}

void CShowWnd::TakeBitmapFromHolder() {
  // The old bitmap goes first, so that two pictures are never held at once.
  ReplaceBitmap(nullptr, 0, 0);
  const win::CWindowDC dc(m_hWnd);
  ReplaceBitmap(ISDIBToHBITMAP(m_image.GetBits(), m_image.m_nWidth, m_image.m_nHeight, nullptr, dc.Get()),
                m_image.m_nWidth, m_image.m_nHeight);
  m_image.Free();
}

void CShowWnd::ReplaceBitmap(HBITMAP bitmap, int32_t width, int32_t height) {
  if (m_hBitmap) ::DeleteObject(m_hBitmap);
  m_hBitmap = bitmap;
  m_nBitmapWidth = width;
  m_nBitmapHeight = height;
}

void CShowWnd::OnTimer(UINT_PTR id) {
  if (id == kRetryTimer) ::KillTimer(m_hWnd, kRetryTimer);
  // A tick already queued when the show was paused is dropped.
  if (id == kSlideTimer && m_bPaused) {
    Default();
    return;
  }
  const int32_t shownBefore = m_nShownCount;
  NextPicture();
  // Once per run: in the tick that put the second picture on show. A later
  // tick that shows nothing new leaves the count at 2 and must not rebuild
  // again.
  if (m_bUpdatePending && m_nShownCount == 2 && shownBefore != 2) m_app.RebuildFileList(nullptr);
  Default();
}

void CShowWnd::OnPaint() {
  const win::CPaintDC paint(m_hWnd);
  const RECT rc = GetClientRect();
  if (!m_hBitmap) {
    ::FillRect(paint.Get(), &rc, BlackBrush());
    return;
  }
  const CBufferDC buffer(paint.Get(), rc);
  const HDC dc = buffer.Get();
  ::FillRect(dc, &rc, BlackBrush());
  const CPlacement at = CentredPlacement(m_nBitmapWidth, m_nBitmapHeight, rc.right - rc.left, rc.bottom - rc.top);
  ISDrawHBITMAP(dc, m_hBitmap, at.x, at.y, m_nBitmapWidth, m_nBitmapHeight, nullptr);
  if (m_bShowName) {
    ::SetBkColor(dc, kBlack);
    ::SetTextColor(dc, kOverlayText);
    ::SetBkMode(dc, OPAQUE);
    RECT text = rc;
    ::InflateRect(&text, -kOverlayInset, -kOverlayInset);
    ::DrawTextA(dc, m_strCurrentFile.c_str(), static_cast<int>(m_strCurrentFile.size()), &text, DT_SINGLELINE);
  }
}

BOOL CShowWnd::OnEraseBkgnd(HDC) { return 0; }

void CShowWnd::OnLButtonDown(UINT, POINT) {
  m_bShowName = 1;
  // Held outside the window the button still ends the overlay on release.
  ::SetCapture(m_hWnd);
  Invalidate();
  Default();
}

void CShowWnd::OnLButtonUp(UINT, POINT) {
  m_bShowName = 0;
  if (::GetCapture() == m_hWnd) ::ReleaseCapture();
  Invalidate();
  Default();
}

void CShowWnd::OnLButtonDblClk(UINT, POINT) {
  NextPicture();
  Default();
}

void CShowWnd::OnWindowPosChanging(WINDOWPOS* position) {
  // Every raise, activation, move or size becomes a placement at the bottom
  // of the stack at the pinned rectangle. Without SWP_NOACTIVATE some window
  // managers bring an activated window to the top after this message.
  position->hwndInsertAfter = HWND_BOTTOM;
  position->x = m_rcMonitor.left;
  position->y = m_rcMonitor.top;
  position->cx = m_rcMonitor.right - m_rcMonitor.left;
  position->cy = m_rcMonitor.bottom - m_rcMonitor.top;
  position->flags |= SWP_NOACTIVATE;
  Default();
}

void CShowWnd::OnWindowPosChanged(WINDOWPOS* position) {
  // Some system paths (showing or activating the window) raise it after
  // the placement above; a window that moved in the stack and is not at
  // its bottom goes back there. Only our own placement runs this, so two
  // windows that both keep to the bottom never take turns.
  if (!(position->flags & SWP_NOZORDER) && ::GetWindow(m_hWnd, GW_HWNDNEXT) != nullptr)
    ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Default();
}

int CShowWnd::OnMouseActivate(HWND, UINT, UINT) { return MA_NOACTIVATE; }

}  // namespace qv
