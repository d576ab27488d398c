#include "show/show_wnd.h"

#include <windowsx.h>

#include <algorithm>
#include <set>
#include <span>

#include "codec/ops/device_bitmap.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "platform/win/dpi.h"
#include "res/resource.h"
#include "show/fade.h"
#include "show/picture_actions.h"
#include "show/slide_choice.h"
#include "show/slide_preparation.h"

namespace qv {

namespace {
constexpr COLORREF kOverlayText = RGB(255, 255, 224);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr int kOverlayInset = 4;
constexpr int kOverlayPoints = 9;
// Pictures named in the log at most this many times in a run.
constexpr size_t kLoggedPicturesLimit = 10000;

HBRUSH BlackBrush() { return static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)); }

// One line per picture however often it comes round, for every show.
void LogUnshowablePicture(const std::string& path, int32_t code) {
  static std::set<std::string> logged;
  if (logged.size() >= kLoggedPicturesLimit || !logged.insert(path).second) return;
  Log("Cannot show the picture \"" + path + "\": " + ISErrorName(code) + " (" + std::to_string(code) + ").");
}

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

COverlayFont MakeOverlayFont(UINT dpi) {
  LOGFONTA description{};
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    description = metrics.lfMessageFont;
  else
    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
  // Only the face is the system's: the size is this DPI's.
  description.lfHeight = -::MulDiv(kOverlayPoints, static_cast<int>(dpi), 72);
  description.lfWidth = 0;
  description.lfEscapement = 0;
  description.lfOrientation = 0;
  description.lfUnderline = FALSE;
  description.lfStrikeOut = FALSE;
  COverlayFont made;
  made.font.Reset(::CreateFontIndirectA(&description));
  made.dpi = dpi;
  return made;
}

void DrawPathOverlay(HDC dc, const RECT& rect, const std::string& path, const COverlayFont& font) {
  const win::CSelectObject selected(dc, font.font ? font.font.Get() : ::GetCurrentObject(dc, OBJ_FONT));
  ::SetBkColor(dc, kBlack);
  ::SetTextColor(dc, kOverlayText);
  ::SetBkMode(dc, OPAQUE);
  RECT text = rect;
  const int inset = win::ScaleForDpi(kOverlayInset, font.dpi);
  ::InflateRect(&text, -inset, -inset);
  ::DrawTextA(dc, path.c_str(), static_cast<int>(path.size()), &text, DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
}

// ---- CShowWnd --------------------------------------------------------------

CShowWnd::CShowWnd(CShowApp& app) : m_app(app) {}

CShowWnd::~CShowWnd() {
  // The worker goes first: nothing may arrive for a window that is gone.
  m_pWorker.reset();
  DestroyWindow();
}

bool CShowWnd::Create(const RECT& rect, HWND owner) {
  m_rcMonitor = rect;
  RegisterClassOnce(kClassName, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, ::LoadCursorA(nullptr, IDC_ARROW), nullptr,
                    nullptr);
  if (!CreateEx(0, kClassName, "", WS_POPUP | WS_VISIBLE, rect, owner, nullptr)) return false;
  m_overlayFont = MakeOverlayFont(win::DpiForWindow(m_hWnd));
  const HWND window = m_hWnd;
  m_pWorker = std::make_unique<CSlideWorker>([window] { ::PostMessageA(window, kSlideReadyMessage, 0, 0); });
  // Visible already; showing it again must not activate it.
  ::ShowWindow(m_hWnd, SW_SHOWNA);
  if (m_app.m_bUpdateOnStart) m_bUpdatePending = 1;
  if (m_app.PicturesFor(m_nMonitorIndex).index->GetFileCount() != 0)
    StartShow();
  else
    ShowHelpPicture();
  return true;
}

void CShowWnd::ShowHelpPicture() {
  // A small picture of our own, read on the spot.
  const std::string path = JoinPath(GetProgramFolder(), "help.png");
  CShowImage image;
  const int32_t result = image.Load(path, kTypeNone, 0);
  if (image.IsEmpty()) {
    Log("The help picture \"" + path + "\" cannot be shown: " + ISErrorName(result) + " (" + std::to_string(result) +
        ").");
    return;
  }
  TakeBitmapFrom(image);
}

void CShowWnd::StartShow() {
  if (!m_hWnd) return;
  const uint32_t period = SlideIntervalMs(m_app.m_nInterval, m_app.m_bMinutes);
  m_nShapeSkips = 0;
  NextPicture(ESlideOrigin::kUser);
  if (!m_bPaused && !m_bResting) ::SetTimer(m_hWnd, kSlideTimer, period, nullptr);
}

void CShowWnd::SetPaused(bool paused) {
  m_bPaused = paused ? 1 : 0;
  if (!m_hWnd) return;
  if (paused) {
    ::KillTimer(m_hWnd, kSlideTimer);
  } else if (!m_bResting) {
    ::SetTimer(m_hWnd, kSlideTimer, SlideIntervalMs(m_app.m_nInterval, m_app.m_bMinutes), nullptr);
  }
}

void CShowWnd::SetResting(bool resting) {
  if (resting == m_bResting) return;
  m_bResting = resting;
  if (!m_hWnd) return;
  if (resting) {
    ::KillTimer(m_hWnd, kSlideTimer);
    // A pick that was to follow a skipped picture ends its request here.
    if (::KillTimer(m_hWnd, kRetryTimer) && m_pOwner) m_pOwner->OnSlideSettled(*this);
    // A fade under way ends on the plain picture.
    if (IsFading()) {
      EndFade();
      Invalidate();
    }
    return;
  }
  if (m_bPaused) return;
  NextPicture(ESlideOrigin::kTimer);
  ::SetTimer(m_hWnd, kSlideTimer, SlideIntervalMs(m_app.m_nInterval, m_app.m_bMinutes), nullptr);
}

bool CShowWnd::ScreenSaverRunning() {
  BOOL running = FALSE;
  return ::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0) && running == 1;
}

bool CShowWnd::NextPicture(ESlideOrigin origin) {
  if (!m_hWnd || !m_pWorker || ScreenSaverRunning()) return false;
  if (std::optional<CHistoryEntry> entry = m_history.Forward()) {
    Prepare(std::move(entry->path), origin, EHistoryStep::kForward, entry->nCounter);
    return true;
  }
  const CShowApp::CPictureSource source = m_app.PicturesFor(m_nMonitorIndex);
  const int32_t count = source.index->GetFileCount();
  std::string path;
  bool unreadable = false;
  // Excluded pictures are passed over, one pass over the list at the most.
  for (int32_t attempt = 0; attempt < std::max(count, 1); ++attempt) {
    std::string picked = source.index->GetFileAt(
        PickNextIndex(m_app.m_bRandom, *source.counter, count, m_app.m_bNoRepeats ? source.shuffle : nullptr));
    if (picked.empty()) {
      unreadable = count > 0;
      break;
    }
    if (!m_app.IsExcluded(picked)) {
      path = std::move(picked);
      break;
    }
  }
  // Named in the log when it stops being readable, not at every tick.
  if (unreadable && !m_bListUnreadable) Log("The file list \"" + source.index->Path() + "\" cannot be read.");
  m_bListUnreadable = unreadable;
  if (path.empty()) {
    // The picture on show stays.
    Invalidate();
    return false;
  }
  Prepare(std::move(path), origin, EHistoryStep::kNew, *source.counter);
  return true;
}

bool CShowWnd::PreviousPicture() {
  if (!m_hWnd || !m_pWorker) return false;
  std::optional<CHistoryEntry> entry = m_history.Back();
  if (!entry) return false;
  Prepare(std::move(entry->path), ESlideOrigin::kUser, EHistoryStep::kBack, entry->nCounter);
  return true;
}

void CShowWnd::Prepare(std::string path, ESlideOrigin origin, EHistoryStep step, int32_t counter) {
  const RECT rc = GetClientRect();
  CSlideJob job;
  job.path = std::move(path);
  job.settings = m_app.ScalarsOnly();
  // A list whose length changed is searched for the shape again.
  const int32_t listCount = m_app.PicturesFor(m_nMonitorIndex).index->GetFileCount();
  if (listCount != m_nShapeListCount) {
    m_nShapeListCount = listCount;
    m_nShapeSkips = 0;
  }
  // The user's own steps, and every pick once a whole pass found nothing of
  // the window's shape, go on show whatever their shape.
  if (step != EHistoryStep::kNew || !ShapeStillMatters(m_nShapeSkips, m_nShapeListCount))
    job.settings.m_bMatchShape = 0;
  job.width = rc.right - rc.left;
  job.height = rc.bottom - rc.top;
  job.origin = origin;
  job.step = step;
  job.counter = counter;
  m_pWorker->Prepare(std::move(job));
}

void CShowWnd::RetryHistoryStep(const CPreparedSlide& slide) {
  m_history.Forget();
  if (slide.step == EHistoryStep::kBack) {
    if (!PreviousPicture()) Invalidate();
  } else {
    NextPicture(slide.origin);
  }
}

void CShowWnd::OnSlideReady() {
  std::optional<CPreparedSlide> slide = m_pWorker ? m_pWorker->Take() : std::nullopt;
  if (!slide) return;  // superseded by a newer request
  const bool fromHistory = slide->step != EHistoryStep::kNew;
  if (fromHistory && (slide->prep.outcome != ESlideOutcome::kReady || m_app.IsExcluded(slide->path))) {
    // Gone, changed or excluded since it was shown: passed over.
    RetryHistoryStep(*slide);
    return;
  }
  switch (slide->prep.outcome) {
    case ESlideOutcome::kNoFile:
      Invalidate();
      break;
    case ESlideOutcome::kUndecodable:
      // The picture on show stays.
      LogUnshowablePicture(slide->path, slide->prep.nLoadResult);
      Invalidate();
      break;
    case ESlideOutcome::kWrongShape:
      ++m_nShapeSkips;
      [[fallthrough]];
    case ESlideOutcome::kTooNarrow:
      // Another pick shortly, asked for by whoever asked for this one.
      m_eRetryOrigin = slide->origin;
      // Resting, the request ends here: the rest's end picks again.
      if (m_bResting) break;
      ::SetTimer(m_hWnd, kRetryTimer, kRetryMs, nullptr);
      return;
    case ESlideOutcome::kReady:
      // After a whole pass without a match a sequence or a permutation has
      // seen every picture: the list has none of the shape until it changes.
      // Independent draws may just have been unlucky.
      if (ShapeStillMatters(m_nShapeSkips, m_nShapeListCount) || (m_app.m_bRandom && !m_app.m_bNoRepeats))
        m_nShapeSkips = 0;
      ++m_nShownCount;
      m_strCurrentFile = slide->path;
      if (fromHistory) {
        // In sequential order the show goes on from the picture stepped to.
        *m_app.PicturesFor(m_nMonitorIndex).counter = slide->counter;
      } else {
        m_history.Record(slide->path, slide->counter);
      }
      if (FadeWanted())
        BeginFade();
      else
        EndFade();
      TakeBitmapFrom(*slide->image);
      Invalidate();
      // Once per run: when the second picture came from the slide timer.
      if (m_bUpdatePending && m_nShownCount == 2 && slide->origin == ESlideOrigin::kTimer && m_pOwner)
        m_pOwner->OnStartUpdateDue(*this);
      break;
  }
  if (m_pOwner) m_pOwner->OnSlideSettled(*this);
}

void CShowWnd::TakeBitmapFrom(CShowImage& image) {
  // The old bitmap goes first, so that two pictures are never held at once.
  m_hBitmap.Reset();
  const win::CWindowDC dc(m_hWnd);
  m_hBitmap.Reset(ISDIBToHBITMAP(image.GetBits(), image.m_nWidth, image.m_nHeight, nullptr, dc.Get()));
  m_nBitmapWidth = image.m_nWidth;
  m_nBitmapHeight = image.m_nHeight;
  image.Free();
}

bool CShowWnd::FadeWanted() const {
  if (!m_app.m_bFade || m_bResting || !m_hBitmap || m_nShownCount < 2) return false;
  if (!::IsWindowVisible(m_hWnd) || ::IsIconic(m_hWnd)) return false;
  // Covered by other windows, nothing of it can be seen.
  const win::CWindowDC dc(m_hWnd);
  RECT box{};
  return dc.Get() && ::GetClipBox(dc.Get(), &box) > NULLREGION;
}

void CShowWnd::BeginFade() {
  const RECT rc = GetClientRect();
  const SIZE size{rc.right - rc.left, rc.bottom - rc.top};
  const win::CWindowDC screen(m_hWnd);
  const win::CMemoryDC memory(::CreateCompatibleDC(screen.Get()));
  // A fade still running goes on from the frame it has reached, kept in
  // the same bitmap.
  const bool running = IsFading() && size.cx == m_szFadeFrom.cx && size.cy == m_szFadeFrom.cy;
  if (!running) EndFade();
  win::CBitmapHandle frame(running ? nullptr : ::CreateCompatibleBitmap(screen.Get(), size.cx, size.cy));
  const HBITMAP target = running ? m_hFadeFrom.Get() : frame.Get();
  const win::CSelectObject selected(memory.Get(), target);
  if (!memory || !target || !selected.Ok()) {
    // No memory for it: the change is instant.
    EndFade();
    return;
  }
  if (running)
    BlendPicture(memory.Get(), rc, m_nFadeAlpha);
  else
    Compose(memory.Get(), rc);
  if (!running) m_hFadeFrom = std::move(frame);
  m_szFadeFrom = size;
  m_nFadeStart = ::GetTickCount64();
  m_nFadeAlpha = 0;
  ::SetTimer(m_hWnd, kFadeTimer, kFadeFrameMs, nullptr);
}

void CShowWnd::EndFade() {
  if (m_hWnd) ::KillTimer(m_hWnd, kFadeTimer);
  m_hFadeFrom.Reset();
  m_szFadeFrom = SIZE{};
  m_nFadeAlpha = 255;
}

void CShowWnd::OnFadeTick() {
  m_nFadeAlpha = FadeAlpha(::GetTickCount64() - m_nFadeStart);
  // The last frame is the plain picture.
  if (m_nFadeAlpha == 255) EndFade();
  Invalidate();
}

void CShowWnd::OnTimer(UINT_PTR id) {
  if (id == kFadeTimer) {
    OnFadeTick();
    Default();
    return;
  }
  // A slide whose message went astray is put on show now.
  OnSlideReady();
  const bool retry = id == kRetryTimer;
  if (retry) ::KillTimer(m_hWnd, kRetryTimer);
  // A tick already queued when the show was paused, or before it rested,
  // is dropped.
  if ((id == kSlideTimer && m_bPaused) || m_bResting) {
    Default();
    return;
  }
  // A tick while the next picture is still being prepared is dropped too:
  // that picture comes first, and a slow one is never abandoned for the
  // timer's sake.
  if (!IsPreparing()) {
    const ESlideOrigin origin = retry ? m_eRetryOrigin : ESlideOrigin::kTimer;
    // A retry that finds nothing to prepare ends the request it continued.
    if (!NextPicture(origin) && retry && m_pOwner) m_pOwner->OnSlideSettled(*this);
  }
  Default();
}

void CShowWnd::OnDestroy() {
  if (m_pWorker) m_pWorker->Cancel();
  EndFade();
  Default();
}

LRESULT CShowWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kSlideReadyMessage:
      OnSlideReady();
      return 0;
    case WM_CAPTURECHANGED:
      // Alt+Tab, a message box: the button's release never comes here.
      if (reinterpret_cast<HWND>(lParam) != m_hWnd) EndOverlay();
      return 0;
    case WM_CONTEXTMENU: {
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      // From the keyboard: at the window's corner.
      if (lParam == -1) at = POINT{m_rcMonitor.left + 16, m_rcMonitor.top + 16};
      ShowMenu(at);
      return 0;
    }
    case WM_DPICHANGED:
      // The window stays at its monitor's work area, whatever rectangle the
      // system suggests: only the overlay follows the new DPI.
      m_overlayFont = MakeOverlayFont(LOWORD(wParam) ? LOWORD(wParam) : win::DpiForWindow(m_hWnd));
      if (m_bShowName) Invalidate();
      return 0;
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

void CShowWnd::ShowMenu(POINT at) {
  const HMENU menu = ::LoadMenuA(win::ProgramInstance(), MAKEINTRESOURCEA(IDR_SHOWMENU));
  const HMENU sub = menu ? ::GetSubMenu(menu, 0) : nullptr;
  if (!sub) {
    if (menu) ::DestroyMenu(menu);
    return;
  }
  if (m_bPaused) ::ModifyMenuA(sub, ID_PAUSE_SHOW, MF_BYCOMMAND | MF_STRING, ID_PAUSE_SHOW, "&Resume Slideshow");
  const UINT onShow = m_strCurrentFile.empty() ? MF_GRAYED : MF_ENABLED;
  for (const UINT command : {ID_OPEN_PICTURE, ID_SHOW_IN_FOLDER, ID_NEVER_SHOW})
    ::EnableMenuItem(sub, command, MF_BYCOMMAND | onShow);
  // The menu belongs to the hidden frame: activating the show would lift it
  // from the bottom of the stack.
  const HWND owner = ::GetWindow(m_hWnd, GW_OWNER) ? ::GetWindow(m_hWnd, GW_OWNER) : m_hWnd;
  ::SetForegroundWindow(owner);
  const auto command = static_cast<UINT>(
      ::TrackPopupMenuEx(sub, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x, at.y, owner, nullptr));
  ::PostMessageA(owner, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
  switch (command) {
    case ID_NEXT_PICTURE:
      NextPicture(ESlideOrigin::kUser);
      break;
    case ID_PREVIOUS_PICTURE:
      PreviousPicture();
      break;
    case ID_OPEN_PICTURE:
      OpenPicture();
      break;
    case ID_SHOW_IN_FOLDER:
      ShowInFolder();
      break;
    case ID_NEVER_SHOW:
      NeverShowPicture();
      break;
    case ID_PAUSE_SHOW:
    case ID_SETTINGS:
      // For every show: the frame's.
      ::PostMessageA(owner, WM_COMMAND, command, 0);
      break;
    default:
      break;
  }
}

void CShowWnd::OpenPicture() {
  if (!m_strCurrentFile.empty()) OpenPictureFile(::GetWindow(m_hWnd, GW_OWNER), m_strCurrentFile);
}

void CShowWnd::ShowInFolder() {
  if (!m_strCurrentFile.empty()) ShowPictureInFolder(::GetWindow(m_hWnd, GW_OWNER), m_strCurrentFile);
}

void CShowWnd::NeverShowPicture() {
  if (m_strCurrentFile.empty()) return;
  std::string error;
  if (!m_app.ExcludePicture(m_strCurrentFile, &error)) {
    win::ShowMessageBox(
        ::GetWindow(m_hWnd, GW_OWNER),
        "The picture:\n\n" + m_strCurrentFile + "\n\ncould not be added to \"" + m_app.ExcludedPath() + "\":\n" + error,
        MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  NextPicture(ESlideOrigin::kUser);
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
  Compose(dc, rc);
  if (m_bShowName) DrawPathOverlay(dc, rc, m_strCurrentFile, m_overlayFont);
}

void CShowWnd::Compose(HDC dc, const RECT& rc) const {
  const int width = rc.right - rc.left;
  const int height = rc.bottom - rc.top;
  if (m_hFadeFrom && m_szFadeFrom.cx == width && m_szFadeFrom.cy == height) {
    const win::CMemoryDC source(::CreateCompatibleDC(dc));
    const win::CSelectObject selected(source.Get(), m_hFadeFrom.Get());
    if (selected.Ok() && ::BitBlt(dc, rc.left, rc.top, width, height, source.Get(), 0, 0, SRCCOPY)) {
      BlendPicture(dc, rc, m_nFadeAlpha);
      return;
    }
  }
  ::FillRect(dc, &rc, BlackBrush());
  const CPlacement at = CentredPlacement(m_nBitmapWidth, m_nBitmapHeight, width, height);
  ISDrawHBITMAP(dc, m_hBitmap.Get(), rc.left + at.x, rc.top + at.y, m_nBitmapWidth, m_nBitmapHeight, nullptr);
}

void CShowWnd::BlendPicture(HDC dc, const RECT& rc, uint8_t alpha) const {
  const CPlacement at = CentredPlacement(m_nBitmapWidth, m_nBitmapHeight, rc.right - rc.left, rc.bottom - rc.top);
  const RECT placed{rc.left + at.x, rc.top + at.y, rc.left + at.x + m_nBitmapWidth, rc.top + at.y + m_nBitmapHeight};
  RECT picture{};
  ::IntersectRect(&picture, &placed, &rc);
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, 0};
  const win::CMemoryDC source(::CreateCompatibleDC(dc));
  {
    // Around the picture its black comes in: one black pixel stretched
    // over each band.
    const uint32_t black = 0;
    const win::CBitmapHandle dot(::CreateBitmap(1, 1, 1, 32, &black));
    const win::CSelectObject selected(source.Get(), dot.Get());
    const RECT bands[] = {
        {rc.left, rc.top, rc.right, picture.top},
        {rc.left, picture.bottom, rc.right, rc.bottom},
        {rc.left, picture.top, picture.left, picture.bottom},
        {picture.right, picture.top, rc.right, picture.bottom},
    };
    for (const RECT& band : ::IsRectEmpty(&picture) ? std::span<const RECT>(&rc, 1) : std::span<const RECT>(bands)) {
      if (selected.Ok() && band.right > band.left && band.bottom > band.top)
        ::AlphaBlend(dc, band.left, band.top, band.right - band.left, band.bottom - band.top, source.Get(), 0, 0, 1, 1,
                     blend);
    }
  }
  const win::CSelectObject selected(source.Get(), m_hBitmap.Get());
  if (selected.Ok())
    ::AlphaBlend(dc, placed.left, placed.top, m_nBitmapWidth, m_nBitmapHeight, source.Get(), 0, 0, m_nBitmapWidth,
                 m_nBitmapHeight, blend);
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
  EndOverlay();
  if (::GetCapture() == m_hWnd) ::ReleaseCapture();
  Default();
}

void CShowWnd::EndOverlay() {
  if (!m_bShowName) return;
  m_bShowName = 0;
  Invalidate();
}

void CShowWnd::OnLButtonDblClk(UINT, POINT) {
  NextPicture(ESlideOrigin::kUser);
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

HWND CShowWnd::WindowBelow() const {
  const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  for (HWND below = ::GetWindow(m_hWnd, GW_HWNDNEXT); below; below = ::GetWindow(below, GW_HWNDNEXT)) {
    if (below != owner) return below;
  }
  return nullptr;
}

void CShowWnd::OnWindowPosChanged(WINDOWPOS* position) {
  // Some system paths (showing or activating the window) raise it after
  // the placement above; a window that moved in the stack and is not at
  // its bottom goes back there. Only our own placement runs this, so two
  // windows that both keep to the bottom never take turns; and the
  // re-placement's own notification does not place it again.
  if (!m_bRepinning && !(position->flags & SWP_NOZORDER) && WindowBelow() != nullptr) {
    m_bRepinning = true;
    ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    m_bRepinning = false;
  }
  Default();
}

int CShowWnd::OnMouseActivate(HWND, UINT, UINT) { return MA_NOACTIVATE; }

}  // namespace qv
