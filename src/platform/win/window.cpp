#include "platform/win/window.h"

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <utility>

#include "platform/log.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qv::win {

CWnd::~CWnd() {
  // A window attached by subclassing belongs to someone else: it is only
  // given back.
  if (m_bSubclassed)
    Detach();
  else
    DestroyWindow();
}

bool CWnd::RegisterClassOnce(const char* className, UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExA(ProgramInstance(), className, &existing)) return true;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = classStyle;
  wc.lpfnWndProc = &CWnd::StaticWindowProc;
  wc.hInstance = ProgramInstance();
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.hIcon = icon;
  wc.lpszClassName = className;
  return ::RegisterClassExA(&wc) != 0;
}

bool CWnd::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, const RECT& rect, HWND owner,
                    HMENU menu) {
  if (m_hWnd) return false;
  const HWND made = ::CreateWindowExA(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                                      rect.bottom - rect.top, owner, menu, ProgramInstance(), this);
  // WM_NCCREATE has set m_hWnd; a creation refused later (WM_CREATE
  // returning -1) has cleared it again through WM_NCDESTROY.
  return made != nullptr && m_hWnd == made;
}

bool CWnd::DestroyWindow() {
  if (!m_hWnd) return false;
  return ::DestroyWindow(m_hWnd) != FALSE;
}

void CWnd::Invalidate(bool erase) const {
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, erase ? TRUE : FALSE);
}

RECT CWnd::GetClientRect() const {
  RECT rc{};
  if (m_hWnd) ::GetClientRect(m_hWnd, &rc);
  return rc;
}

namespace {

// The object behind a window. A property of our own rather than the window's
// user data, which belongs to whoever made the window.
constexpr const char* kObjectProperty = "QuadrivueWindowObject";
// The one subclass each object installs (the object itself is the callback's
// reference data).
constexpr UINT_PTR kSubclassId = 1;

}  // namespace

void LogFailedMessage(UINT message, const char* reason) noexcept {
  try {
    char head[48];
    std::snprintf(head, sizeof head, "Window message 0x%04X failed: ", message);
    Log(std::string(head) + reason);
  } catch (...) {
    // Out of memory: the line is lost, the message still gets its default.
  }
}

CWnd* CWnd::FromHandle(HWND window) {
  if (!window) return nullptr;
  // Another process's windows may carry the same property with a value
  // that means nothing here.
  DWORD process = 0;
  if (!::GetWindowThreadProcessId(window, &process) || process != ::GetCurrentProcessId()) return nullptr;
  return static_cast<CWnd*>(::GetPropA(window, kObjectProperty));
}

bool CWnd::SubclassWindow(HWND window) {
  if (m_hWnd || !window || FromHandle(window)) return false;
  if (!::SetPropA(window, kObjectProperty, this)) return false;
  // Fails for a window of another thread.
  if (!::SetWindowSubclass(window, &CWnd::StaticSubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    ::RemovePropA(window, kObjectProperty);
    return false;
  }
  m_hWnd = window;
  m_bSubclassed = true;
  return true;
}

void CWnd::Detach() {
  if (!m_hWnd) return;
  if (m_bSubclassed) ::RemoveWindowSubclass(m_hWnd, &CWnd::StaticSubclassProc, kSubclassId);
  if (::GetPropA(m_hWnd, kObjectProperty) == this) ::RemovePropA(m_hWnd, kObjectProperty);
  m_hWnd = nullptr;
  m_bSubclassed = false;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    self = static_cast<CWnd*>(create->lpCreateParams);
    if (self) {
      // Without its property the window could never find its object: the
      // creation is refused instead.
      if (!::SetPropA(window, kObjectProperty, self)) return FALSE;
      self->m_hWnd = window;
    }
  } else {
    self = FromHandle(window);
  }
  // Messages before WM_NCCREATE, and those after Detach.
  if (!self || self->m_hWnd != window || self->m_bSubclassed) return ::DefWindowProcA(window, message, wParam, lParam);
  return self->Dispatch(CCurrentMessage{window, message, wParam, lParam, false});
}

LRESULT CALLBACK CWnd::StaticSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data) {
  auto* self = reinterpret_cast<CWnd*>(data);
  if (!self || self->m_hWnd != window) return ::DefSubclassProc(window, message, wParam, lParam);
  return self->Dispatch(CCurrentMessage{window, message, wParam, lParam, true});
}

LRESULT CWnd::Dispatch(const CCurrentMessage& current) {
  const CCurrentMessage outer = std::exchange(m_current, current);
  LRESULT result = 0;
  // An exception must not unwind through the system's frames: it ends here
  // as a line in the log, and the message gets its default processing.
  try {
    result = WindowProc(current.message, current.wParam, current.lParam);
  } catch (const std::exception& failure) {
    LogFailedMessage(current.message, failure.what());
    result = DefaultProcessing(current);
  } catch (...) {
    LogFailedMessage(current.message, "unknown exception");
    result = DefaultProcessing(current);
  }
  m_current = outer;
  if (current.message == WM_NCDESTROY && m_hWnd == current.window) Detach();
  return result;
}

LRESULT CWnd::DefaultProcessing(const CCurrentMessage& current) {
  // No message in hand, or the window went while a handler ran.
  if (!current.window || !::IsWindow(current.window)) return 0;
  if (current.subclassed) return ::DefSubclassProc(current.window, current.message, current.wParam, current.lParam);
  return ::DefWindowProcA(current.window, current.message, current.wParam, current.lParam);
}

LRESULT CWnd::Default() const { return DefaultProcessing(m_current); }

namespace {
POINT PointFrom(LPARAM lParam) { return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }
}  // namespace

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(reinterpret_cast<CREATESTRUCTA*>(lParam));
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_LBUTTONDOWN:
      OnLButtonDown(static_cast<UINT>(wParam), PointFrom(lParam));
      return 0;
    case WM_LBUTTONUP:
      OnLButtonUp(static_cast<UINT>(wParam), PointFrom(lParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      OnLButtonDblClk(static_cast<UINT>(wParam), PointFrom(lParam));
      return 0;
    case WM_WINDOWPOSCHANGING:
      OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam));
      return 0;
    case WM_WINDOWPOSCHANGED:
      OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(lParam));
      return 0;
    case WM_MOUSEACTIVATE:
      return OnMouseActivate(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? 0 : Default();
    case WM_MOUSEMOVE:
      OnMouseMove(static_cast<UINT>(wParam), PointFrom(lParam));
      return 0;
    case WM_SETCURSOR:
      return OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
    case WM_SETFOCUS:
      OnSetFocus(reinterpret_cast<HWND>(wParam));
      return 0;
    case WM_KILLFOCUS:
      OnKillFocus(reinterpret_cast<HWND>(wParam));
      return 0;
    case WM_KEYDOWN:
      OnKeyDown(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SYSCOMMAND:
      OnSysCommand(static_cast<UINT>(wParam), lParam);
      return 0;
    case WM_ENDSESSION:
      OnEndSession(wParam != FALSE);
      return 0;
    default:
      return Default();
  }
}

int CWnd::OnCreate(CREATESTRUCTA*) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(HDC) { return static_cast<BOOL>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnLButtonDown(UINT, POINT) { Default(); }
void CWnd::OnLButtonUp(UINT, POINT) { Default(); }
void CWnd::OnLButtonDblClk(UINT, POINT) { Default(); }
void CWnd::OnWindowPosChanging(WINDOWPOS*) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }
int CWnd::OnMouseActivate(HWND, UINT, UINT) { return static_cast<int>(Default()); }
bool CWnd::OnCommand(UINT, UINT) { return false; }
void CWnd::OnEndSession(bool) { Default(); }
void CWnd::OnMouseMove(UINT, POINT) { Default(); }
BOOL CWnd::OnSetCursor(HWND, UINT, UINT) { return static_cast<BOOL>(Default()); }
void CWnd::OnSetFocus(HWND) { Default(); }
void CWnd::OnKillFocus(HWND) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
HBRUSH CWnd::OnReflectedCtlColor(HDC) { return nullptr; }

int RunMessageLoop() {
  MSG msg{};
  for (;;) {
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return -1;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

std::string WindowText(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  const int got = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

int ShowMessageBox(HWND owner, const std::string& text, UINT type) {
  const std::string caption = GetProgramName();
  return ::MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

HINSTANCE ProgramInstance() { return ::GetModuleHandleA(nullptr); }

namespace {
HICON LoadIconAtSize(int id, int widthMetric, int heightMetric) {
  return static_cast<HICON>(::LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                         ::GetSystemMetrics(widthMetric), ::GetSystemMetrics(heightMetric), LR_SHARED));
}
}  // namespace

HICON LoadSmallIcon(int id) { return LoadIconAtSize(id, SM_CXSMICON, SM_CYSMICON); }
HICON LoadLargeIcon(int id) { return LoadIconAtSize(id, SM_CXICON, SM_CYICON); }

std::string LoadResourceString(int id) {
  // With a zero length the wide form hands out a pointer to the resource
  // itself, so no buffer can be too short.
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(ProgramInstance(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return std::string();
  return WideToAnsi(std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length)));
}

}  // namespace qv::win
