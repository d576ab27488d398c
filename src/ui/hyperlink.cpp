#include "ui/hyperlink.h"

#include <commctrl.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/win/dpi.h"
#include "platform/win/window.h"
#include "ui/link_open.h"

namespace qv {

namespace {

// Shared by every link of the process, loaded once, never destroyed.
HCURSOR g_hHandCursor = nullptr;

constexpr UINT_PTR kToolId = 1;
constexpr DWORD kRegistryValueBytes = 260;

// A link draws on its dialog's background: the dialog repaints what lies
// under it first, so that no earlier colour or focus rectangle stays.
void Repaint(HWND window) {
  if (const HWND parent = ::GetParent(window)) {
    RECT under{};
    ::GetWindowRect(window, &under);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&under), 2);
    ::InvalidateRect(parent, &under, TRUE);
  }
  ::InvalidateRect(window, nullptr, TRUE);
}

// Enter and Space belong to a focused link or picture, not to the dialog's
// default button.
bool IsActivationKey(LPARAM dialogMessage) {
  const auto* msg = reinterpret_cast<const MSG*>(dialogMessage);
  if (!msg) return false;
  if (msg->message == WM_KEYDOWN) return msg->wParam == VK_RETURN || msg->wParam == VK_SPACE;
  if (msg->message == WM_CHAR) return msg->wParam == '\r' || msg->wParam == ' ';
  return false;
}

// A held key opens the link once.
bool ActivatesOnce(UINT key, UINT flags) { return (key == VK_RETURN || key == VK_SPACE) && !(flags & KF_REPEAT); }

// Focus rectangles are drawn while the window has the focus and the dialog
// shows keyboard cues (a dialog opened with the mouse hides them until a key
// is used).
bool ShowsFocus(HWND window) {
  return ::GetFocus() == window && !(::SendMessageA(window, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
}

SIZE FocusMargin() {
  return SIZE{std::max(1, ::GetSystemMetrics(SM_CXFOCUSBORDER)), std::max(1, ::GetSystemMetrics(SM_CYFOCUSBORDER))};
}

// The background and text colours a static control asks its parent for.
HBRUSH ParentBrush(HWND control, HDC dc) {
  return reinterpret_cast<HBRUSH>(::SendMessageA(::GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                 reinterpret_cast<LPARAM>(control)));
}

}  // namespace

CHyperLink::~CHyperLink() = default;

bool CHyperLink::Attach(HWND control) {
  if (!SubclassWindow(control)) return false;
  const std::string text = win::WindowText(control);
  if (m_strTarget.empty()) m_strTarget = text;
  if (text.empty()) ::SetWindowTextA(control, m_strTarget.c_str());
  // The text is drawn as it is: an '&' in an address is no access key.
  ::SetWindowLongA(control, GWL_STYLE, ::GetWindowLongA(control, GWL_STYLE) | SS_NOPREFIX);

  // The font the control has comes back underlined, as every later one.
  if (const auto current = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)))
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(current), TRUE);
  else
    m_nOptions &= ~kFitToText;
  if (!(m_nOptions & kDefaultCursor)) LoadHandCursor();
  AddToolTip();
  return true;
}

void CHyperLink::AddToolTip() {
  m_toolTip.Reset(::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, m_hWnd, nullptr, win::ProgramInstance(), nullptr));
  if (!m_toolTip) return;
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  // The tool follows the control's own mouse messages.
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = m_hWnd;
  tool.uId = kToolId;
  tool.rect = GetClientRect();
  tool.lpszText = m_strTarget.data();
  ::SendMessageA(m_toolTip.Get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

HFONT CHyperLink::CurrentFont() const {
  const auto font = reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
  return font ? font : static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
}

void CHyperLink::OnSetFont(HFONT font, LPARAM redraw) {
  // The font the control draws with goes only once it has the new one.
  const win::CFontHandle previous = std::move(m_font);
  if (font) {
    LOGFONTA description{};
    if (::GetObjectA(font, sizeof description, &description)) {
      description.lfUnderline = (m_nOptions & kUnderline) ? TRUE : FALSE;
      m_font.Reset(::CreateFontIndirectA(&description));
    }
  }
  // The underlined font comes back here as the link's own and reaches the
  // control; without one the control takes the font as given.
  if (m_font)
    ::SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), redraw);
  else
    Default();
  FitToText();
  if (LOWORD(redraw)) Repaint(m_hWnd);
}

void CHyperLink::SetTarget(const std::string& address) {
  m_strTarget = address;
  if (!m_hWnd) return;
  ::ShowWindow(m_hWnd, SW_HIDE);
  FitToText();
  if (m_toolTip) {
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = m_hWnd;
    tool.uId = kToolId;
    tool.lpszText = m_strTarget.data();
    ::SendMessageA(m_toolTip.Get(), TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  ::ShowWindow(m_hWnd, SW_SHOW);
}

void CHyperLink::FitToText() {
  if (!(m_nOptions & kFitToText) || !m_hWnd) return;
  const HWND parent = ::GetParent(m_hWnd);
  RECT window{};
  ::GetWindowRect(m_hWnd, &window);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&window), 2);
  const RECT client = GetClientRect();
  const RECT before = window;

  const std::string text = win::WindowText(m_hWnd);
  SIZE extent{};
  {
    const win::CWindowDC dc(m_hWnd);
    const win::CSelectObject font(dc.Get(), CurrentFont());
    ::GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &extent);
  }
  // The text's box lies inside the margin kept for the focus rectangle.
  const SIZE margin = FocusMargin();
  RECT box = client;
  ::InflateRect(&box, -margin.cx, -margin.cy);
  RECT fitted = box;
  const LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
  const LONG height = box.bottom - box.top;
  const LONG width = box.right - box.left;
  if (style & SS_CENTERIMAGE) {
    const LONG shrink = (height - extent.cy) / 2;
    fitted.top += shrink;
    fitted.bottom -= shrink;
  } else {
    fitted.bottom = fitted.top + extent.cy;
  }
  if (style & SS_CENTER) {
    const LONG shrink = (width - extent.cx) / 2;
    fitted.left += shrink;
    fitted.right -= shrink;
  } else if (style & SS_RIGHT) {
    fitted.left = fitted.right - extent.cx;
  } else {
    fitted.right = fitted.left + extent.cx;
  }
  ::InflateRect(&fitted, margin.cx, margin.cy);
  // Back to the parent's coordinates, with the frame around the client area.
  const LONG frameX = (window.right - window.left) - (client.right - client.left);
  const LONG frameY = (window.bottom - window.top) - (client.bottom - client.top);
  ::MoveWindow(m_hWnd, window.left + fitted.left, window.top + fitted.top, fitted.right - fitted.left + frameX,
               fitted.bottom - fitted.top + frameY, TRUE);
  // Where the control was, the dialog's background again.
  ::InvalidateRect(parent, &before, TRUE);
  Repaint(m_hWnd);
  if (m_toolTip) {
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = m_hWnd;
    tool.uId = kToolId;
    tool.rect = GetClientRect();
    ::SendMessageA(m_toolTip.Get(), TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void CHyperLink::LoadHandCursor() {
  if (g_hHandCursor) return;
  // The old help program carries a hand; current systems have their own.
  std::array<char, MAX_PATH> folder{};
  const UINT length = ::GetWindowsDirectoryA(folder.data(), static_cast<UINT>(folder.size()));
  if (length > 0 && length < folder.size()) {
    const std::string helper = std::string(folder.data(), length) + "\\winhlp32.exe";
    if (const HMODULE module = ::LoadLibraryExA(helper.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
      if (const HCURSOR hand = ::LoadCursorA(module, MAKEINTRESOURCEA(106)))
        g_hHandCursor = static_cast<HCURSOR>(::CopyImage(hand, IMAGE_CURSOR, 0, 0, 0));
      ::FreeLibrary(module);
    }
  }
  if (!g_hHandCursor) g_hHandCursor = ::LoadCursorA(nullptr, IDC_HAND);
}

COLORREF CHyperLink::TextColour() const {
  if (m_bOver && (m_nOptions & kHoverColour)) return kHover;
  if (m_bFocus && !(m_nOptions & kNoFocusColour)) return kFocus;
  return m_bVisited ? kVisited : kUnvisited;
}

HBRUSH CHyperLink::OnReflectedCtlColor(HDC dc) {
  ::SetTextColor(dc, TextColour());
  ::SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

void CHyperLink::OnMouseMove(UINT, POINT point) {
  if (m_bOver) {
    const RECT client = GetClientRect();
    if (!::PtInRect(&client, point)) {
      m_bOver = 0;
      ::ReleaseCapture();
      Repaint(m_hWnd);
    }
  } else {
    m_bOver = 1;
    Repaint(m_hWnd);
    ::SetCapture(m_hWnd);
  }
}

void CHyperLink::OnLButtonDown(UINT, POINT) {
  if (m_nOptions & kFocusOnPress) ::SetFocus(m_hWnd);
  if (m_nOptions & kOpenOnPress) FollowLink();
  m_bFocus = 1;
}

void CHyperLink::OnLButtonUp(UINT, POINT) {
  if (m_bFocus && !(m_nOptions & kOpenOnPress)) FollowLink();
}

BOOL CHyperLink::OnSetCursor(HWND, UINT, UINT) {
  if (!g_hHandCursor) return static_cast<BOOL>(Default());
  ::SetCursor(g_hHandCursor);
  return TRUE;
}

void CHyperLink::OnSetFocus(HWND) {
  m_bFocus = 1;
  Repaint(m_hWnd);
}

void CHyperLink::OnKillFocus(HWND) {
  m_bOver = 0;
  m_bFocus = 0;
  Repaint(m_hWnd);
}

void CHyperLink::OnKeyDown(UINT key, UINT, UINT flags) {
  if (ActivatesOnce(key, flags))
    FollowLink();
  else if (key != VK_RETURN && key != VK_SPACE)
    Default();
}

void CHyperLink::OnPaint() {
  const win::CPaintDC paint(m_hWnd);
  const HDC dc = paint.Get();
  const RECT client = GetClientRect();
  // Colours as a static control has them: asked of the dialog, which hands
  // the question back to the link.
  if (const HBRUSH brush = ParentBrush(m_hWnd, dc)) ::FillRect(dc, &client, brush);
  const win::CSelectObject font(dc, CurrentFont());
  const SIZE margin = FocusMargin();
  RECT box = client;
  ::InflateRect(&box, -margin.cx, -margin.cy);
  const LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
  UINT format = DT_SINGLELINE | DT_NOPREFIX;
  if (style & SS_CENTER)
    format |= DT_CENTER;
  else if (style & SS_RIGHT)
    format |= DT_RIGHT;
  if (style & SS_CENTERIMAGE) format |= DT_VCENTER;
  const std::string text = win::WindowText(m_hWnd);
  ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
  if (ShowsFocus(m_hWnd)) ::DrawFocusRect(dc, &client);
}

LRESULT CHyperLink::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCHITTEST:
      // A static control is transparent to the mouse unless it says otherwise.
      return HTCLIENT;
    case WM_GETDLGCODE: {
      // Keys reach a focused static control only when it asks for them.
      const LRESULT code = CWnd::WindowProc(message, wParam, lParam);
      return IsActivationKey(lParam) ? code | DLGC_WANTMESSAGE : code;
    }
    case WM_SETFONT: {
      const auto font = reinterpret_cast<HFONT>(wParam);
      // The underlined font on its way to the control.
      if (font && font == m_font.Get()) return Default();
      OnSetFont(font, lParam);
      return 0;
    }
    case win::kDpiChangedAfterParent:
      // The dialog has scaled its controls: the link fits its text again.
      FitToText();
      return Default();
    case WM_UPDATEUISTATE: {
      const LRESULT result = Default();
      if (::GetFocus() == m_hWnd) Repaint(m_hWnd);
      return result;
    }
    case WM_NCDESTROY:
      // The tip belongs to the dialog's top-level window, which destroys it
      // first when it goes; a handle kept past that could name a new window.
      m_toolTip.Reset();
      return CWnd::WindowProc(message, wParam, lParam);
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

// ---- CLinkPicture ------------------------------------------------------------

SIZE PictureSizeForDpi(SIZE picture, UINT dpi, SIZE room) {
  if (picture.cx <= 0 || picture.cy <= 0 || room.cx <= 0 || room.cy <= 0) return SIZE{0, 0};
  SIZE drawn{win::ScaleForDpi(picture.cx, dpi), win::ScaleForDpi(picture.cy, dpi)};
  if (drawn.cx > room.cx) {
    drawn.cy = ::MulDiv(drawn.cy, room.cx, drawn.cx);
    drawn.cx = room.cx;
  }
  if (drawn.cy > room.cy) {
    drawn.cx = ::MulDiv(drawn.cx, room.cy, drawn.cy);
    drawn.cy = room.cy;
  }
  return drawn;
}

void CLinkPicture::OnPaint() {
  const win::CPaintDC paint(m_hWnd);
  const HDC dc = paint.Get();
  const RECT client = GetClientRect();
  const HBRUSH brush = ParentBrush(m_hWnd, dc);
  ::FillRect(dc, &client, brush ? brush : ::GetSysColorBrush(COLOR_BTNFACE));
  const auto bitmap = reinterpret_cast<HBITMAP>(::SendMessageA(m_hWnd, STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP info{};
  if (bitmap && ::GetObjectA(bitmap, sizeof info, &info) && info.bmWidth > 0 && info.bmHeight > 0) {
    const SIZE room{client.right - client.left, client.bottom - client.top};
    const SIZE drawn = PictureSizeForDpi(SIZE{info.bmWidth, info.bmHeight}, win::DpiForWindow(m_hWnd), room);
    const win::CMemoryDC memory(::CreateCompatibleDC(dc));
    const win::CSelectObject selected(memory.Get(), bitmap);
    if (selected.Ok() && drawn.cx > 0 && drawn.cy > 0) {
      // Whole multiples keep the picture's pixels sharp; other scales are
      // smoothed.
      const bool whole = drawn.cx % info.bmWidth == 0 && drawn.cy % info.bmHeight == 0;
      ::SetStretchBltMode(dc, whole ? COLORONCOLOR : HALFTONE);
      ::SetBrushOrgEx(dc, 0, 0, nullptr);
      ::StretchBlt(dc, (room.cx - drawn.cx) / 2, (room.cy - drawn.cy) / 2, drawn.cx, drawn.cy, memory.Get(), 0, 0,
                   info.bmWidth, info.bmHeight, SRCCOPY);
    }
  }
  if (ShowsFocus(m_hWnd)) ::DrawFocusRect(dc, &client);
}

void CLinkPicture::OnSetFocus(HWND) { Invalidate(); }

void CLinkPicture::OnKillFocus(HWND) { Invalidate(); }

void CLinkPicture::OnKeyDown(UINT key, UINT, UINT flags) {
  if (ActivatesOnce(key, flags)) {
    ::SendMessageA(::GetParent(m_hWnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(m_hWnd), STN_CLICKED),
                   reinterpret_cast<LPARAM>(m_hWnd));
  } else if (key != VK_RETURN && key != VK_SPACE) {
    Default();
  }
}

LRESULT CLinkPicture::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETDLGCODE: {
      const LRESULT code = CWnd::WindowProc(message, wParam, lParam);
      return IsActivationKey(lParam) ? code | DLGC_WANTMESSAGE : code;
    }
    case WM_SIZE:
    case WM_UPDATEUISTATE: {
      // A new size after a DPI change, or the focus cues shown.
      const LRESULT result = Default();
      Invalidate();
      return result;
    }
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

// ---- CHyperLink: opening -------------------------------------------------------

void CHyperLink::FollowLink() {
  const intptr_t result = OpenLink(m_strTarget, SW_SHOW);
  if (result <= 32) {
    ::MessageBeep(MB_ICONEXCLAMATION);
    ShowOpenError(::GetParent(m_hWnd), static_cast<int32_t>(result));
    return;
  }
  m_bVisited = 1;
  Repaint(m_hWnd);
}

LONG CHyperLink::QueryRegistryDefault(HKEY root, const std::string& subkey, std::string& value) {
  HKEY key = nullptr;
  const LONG opened = ::RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (opened != ERROR_SUCCESS) return opened;
  std::array<char, kRegistryValueBytes + 1> buffer{};
  DWORD size = kRegistryValueBytes;
  DWORD type = 0;
  const LONG read = ::RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  ::RegCloseKey(key);
  if (read != ERROR_SUCCESS) return read;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  // The value need not end with its terminator: the buffer's spare byte does.
  value.assign(buffer.data(), std::min<size_t>(size, kRegistryValueBytes));
  value.resize(std::strlen(value.c_str()));
  return ERROR_SUCCESS;
}

intptr_t CHyperLink::OpenLink(const std::string& address, int show) {
  const auto shell =
      reinterpret_cast<intptr_t>(::ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, show));
  if (static_cast<uintptr_t>(shell) > 32) return shell;
  std::string documentClass;
  if (QueryRegistryDefault(HKEY_CLASSES_ROOT, ".htm", documentClass) != ERROR_SUCCESS) return shell;
  std::string command;
  if (QueryRegistryDefault(HKEY_CLASSES_ROOT, documentClass + "\\shell\\open\\command", command) != ERROR_SUCCESS)
    return shell;
  const auto line = BuildOpenCommand(command, address);
  if (!line) return shell;
  return static_cast<intptr_t>(::WinExec(line->c_str(), static_cast<UINT>(show)));
}

void CHyperLink::ShowOpenError(HWND owner, int32_t code) {
  win::ShowMessageBox(owner, OpenErrorText(code), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace qv
