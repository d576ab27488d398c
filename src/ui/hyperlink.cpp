#include "ui/hyperlink.h"

#include <commctrl.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/win/window.h"
#include "ui/link_open.h"

namespace qv {

namespace {

// Shared by every link of the process, loaded once, never destroyed.
HCURSOR g_hHandCursor = nullptr;

constexpr UINT_PTR kToolId = 1;
constexpr DWORD kRegistryValueBytes = 260;

void Repaint(HWND window) { ::InvalidateRect(window, nullptr, TRUE); }

}  // namespace

CHyperLink::~CHyperLink() = default;

bool CHyperLink::Attach(HWND control) {
  if (!SubclassWindow(control)) return false;
  const std::string text = win::WindowText(control);
  if (m_strTarget.empty()) m_strTarget = text;
  if (text.empty()) ::SetWindowTextA(control, m_strTarget.c_str());

  if (const auto current = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0))) {
    LOGFONTA description{};
    ::GetObjectA(current, sizeof description, &description);
    description.lfUnderline = (m_nOptions & kUnderline) ? TRUE : FALSE;
    m_font.Reset(::CreateFontIndirectA(&description));
    if (m_font) ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), TRUE);
    FitToText();
  } else {
    m_nOptions &= ~kFitToText;
  }
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

  const std::string text = win::WindowText(m_hWnd);
  SIZE extent{};
  {
    const win::CWindowDC dc(m_hWnd);
    const win::CSelectObject font(dc.Get(),
                                  m_font ? static_cast<HGDIOBJ>(m_font.Get()) : ::GetStockObject(DEFAULT_GUI_FONT));
    ::GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &extent);
  }
  RECT fitted = client;
  const LONG style = ::GetWindowLongA(m_hWnd, GWL_STYLE);
  const LONG height = client.bottom - client.top;
  const LONG width = client.right - client.left;
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
  // Back to the parent's coordinates, with the frame around the client area.
  const LONG frameX = (window.right - window.left) - width;
  const LONG frameY = (window.bottom - window.top) - height;
  ::MoveWindow(m_hWnd, window.left + fitted.left, window.top + fitted.top, fitted.right - fitted.left + frameX,
               fitted.bottom - fitted.top + frameY, TRUE);
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

void CHyperLink::OnKeyDown(UINT key, UINT, UINT) {
  if (key == VK_SPACE)
    FollowLink();
  else
    Default();
}

LRESULT CHyperLink::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // A static control is transparent to the mouse unless it says otherwise.
  if (message == WM_NCHITTEST) return HTCLIENT;
  // Keys reach a focused static control only when it asks for them.
  if (message == WM_GETDLGCODE) return DLGC_WANTCHARS | CWnd::WindowProc(message, wParam, lParam);
  // The tip belongs to the dialog's top-level window, which destroys it
  // first when it goes; a handle kept past that could name a new window.
  if (message == WM_NCDESTROY) m_toolTip.Reset();
  return CWnd::WindowProc(message, wParam, lParam);
}

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
