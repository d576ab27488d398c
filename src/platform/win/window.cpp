#include "platform/win/window.h"

#include <utility>

#include "platform/paths.h"
#include "platform/text.h"

namespace qv::win {

CWnd::~CWnd() {
  // A window attached by subclassing belongs to someone else: it is only
  // given back.
  if (m_pfnSuper)
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
// Windows made elsewhere (controls, system dialogs) keep their user data:
// their object is found through this property instead.
constexpr const char* kObjectProperty = "QuadrivueWindowObject";
}  // namespace

CWnd* CWnd::FromHandle(HWND window) {
  if (!window) return nullptr;
  if (auto* attached = static_cast<CWnd*>(::GetPropA(window, kObjectProperty))) return attached;
  return reinterpret_cast<CWnd*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

bool CWnd::SubclassWindow(HWND window) { return Attach(window, false); }

bool CWnd::Attach(HWND window, bool useUserData) {
  if (m_hWnd || !window) return false;
  if (useUserData) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  } else if (!::SetPropA(window, kObjectProperty, this)) {
    return false;
  }
  m_hWnd = window;
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
  return true;
}

void CWnd::Detach() {
  if (!m_hWnd) return;
  if (m_pfnSuper) ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  if (::GetPropA(m_hWnd, kObjectProperty) == this)
    ::RemovePropA(m_hWnd, kObjectProperty);
  else
    ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
  m_hWnd = nullptr;
  m_pfnSuper = nullptr;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    self = static_cast<CWnd*>(create->lpCreateParams);
    if (self) {
      self->m_hWnd = window;
      ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  } else {
    self = FromHandle(window);
  }
  if (!self) return ::DefWindowProcA(window, message, wParam, lParam);

  const CCurrentMessage outer = std::exchange(self->m_current, CCurrentMessage{message, wParam, lParam});
  const LRESULT result = self->WindowProc(message, wParam, lParam);
  self->m_current = outer;
  if (message == WM_NCDESTROY) self->Detach();
  return result;
}

LRESULT CWnd::Default() const {
  if (m_pfnSuper) return ::CallWindowProcA(m_pfnSuper, m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
  return ::DefWindowProcA(m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

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
