// The shell's window base class: owns one HWND, is found from the window
// through a property of its own (set at WM_NCCREATE for the windows it makes,
// at SubclassWindow for the others) and hands the messages it knows to
// virtual On... handlers. Whatever a handler does not take goes to the
// system's default processing; whatever a handler throws ends at the window
// procedure as one line in the program's log and the message's default
// processing.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace qv::win {

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  // Destroys the window if it still exists.
  virtual ~CWnd();

  // Registers the class once per process (later calls reuse it).
  static bool RegisterClassOnce(const char* className, UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon);

  // CreateWindowExA with this object as the create parameter. True when the
  // window exists.
  bool CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, const RECT& rect, HWND owner,
                HMENU menu);
  bool DestroyWindow();

  HWND GetSafeHwnd() const { return m_hWnd; }
  bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
  void Invalidate(bool erase = true) const;
  RECT GetClientRect() const;

  // Takes over the messages of a window of this thread made elsewhere (a
  // dialog's control, a system dialog, one of the program's dialogs); what
  // the handlers leave goes to its own procedure. The window is given back
  // when it is destroyed, on Detach or when this object ends. False when
  // another object holds the window already.
  bool SubclassWindow(HWND window);
  // Lets the window go without destroying it: a subclassed window gets its
  // own procedure back, a window made here answers with the system's
  // default processing from then on.
  void Detach();
  // The object behind a window of this process made or subclassed here;
  // null for any other window, whatever its user data holds.
  static CWnd* FromHandle(HWND window);

  // A static control's colours, asked of the control by its dialog; null
  // when the control leaves them to the dialog.
  virtual HBRUSH OnReflectedCtlColor(HDC dc);

 protected:
  // The message dispatch; derived classes may take further messages here
  // and pass the rest on to it.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Default processing of the message being handled.
  LRESULT Default() const;

  // Handlers: each one's default is the system's default processing.
  virtual int OnCreate(CREATESTRUCTA* create);
  virtual void OnDestroy();
  virtual void OnClose();
  virtual void OnPaint();
  virtual BOOL OnEraseBkgnd(HDC dc);
  virtual void OnTimer(UINT_PTR id);
  virtual void OnLButtonDown(UINT flags, POINT point);
  virtual void OnLButtonUp(UINT flags, POINT point);
  virtual void OnLButtonDblClk(UINT flags, POINT point);
  virtual void OnWindowPosChanging(WINDOWPOS* position);
  virtual void OnWindowPosChanged(WINDOWPOS* position);
  virtual int OnMouseActivate(HWND topLevel, UINT hitTest, UINT message);
  // A command from a menu, an accelerator or another window; false to pass
  // it to default processing.
  virtual bool OnCommand(UINT id, UINT notifyCode);
  virtual void OnEndSession(bool ending);
  virtual void OnMouseMove(UINT flags, POINT point);
  virtual BOOL OnSetCursor(HWND window, UINT hitTest, UINT message);
  virtual void OnSetFocus(HWND previous);
  virtual void OnKillFocus(HWND next);
  virtual void OnKeyDown(UINT key, UINT repeat, UINT flags);
  virtual void OnSysCommand(UINT command, LPARAM lParam);

  HWND m_hWnd = nullptr;

 private:
  // The message in hand, for Default(): which window, and whether it came
  // through the subclass chain or the class procedure.
  struct CCurrentMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool subclassed = false;
  };

  static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK StaticSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                             DWORD_PTR data);
  // One message through WindowProc: the boundary no exception crosses.
  LRESULT Dispatch(const CCurrentMessage& current);
  static LRESULT DefaultProcessing(const CCurrentMessage& current);

  bool m_bSubclassed = false;
  CCurrentMessage m_current;
};

// Owner of a window made outside the framework (a tooltip, a helper window):
// destroys it at the end unless it is gone already. Movable, not copyable.
class CWindowHandle {
 public:
  CWindowHandle() = default;
  explicit CWindowHandle(HWND window) : m_hWnd(window) {}
  CWindowHandle(CWindowHandle&& other) noexcept : m_hWnd(std::exchange(other.m_hWnd, nullptr)) {}
  CWindowHandle& operator=(CWindowHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_hWnd, nullptr));
    return *this;
  }
  CWindowHandle(const CWindowHandle&) = delete;
  CWindowHandle& operator=(const CWindowHandle&) = delete;
  ~CWindowHandle() { Reset(); }

  HWND Get() const { return m_hWnd; }
  explicit operator bool() const { return m_hWnd != nullptr; }
  // Destroys the window held (when it still exists) and holds the given one.
  void Reset(HWND window = nullptr) {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    m_hWnd = window;
  }
  // Gives the window up without destroying it.
  HWND Release() { return std::exchange(m_hWnd, nullptr); }

 private:
  HWND m_hWnd = nullptr;
};

// One line in the program's log for a message whose handler failed.
void LogFailedMessage(UINT message, const char* reason) noexcept;

// The thread's message loop until WM_QUIT; returns the quit code.
int RunMessageLoop();

// A window's whole text, however long.
std::string WindowText(HWND window);

// A message box captioned with the program's name.
int ShowMessageBox(HWND owner, const std::string& text, UINT type = MB_OK);

// Resources of the running program.
HINSTANCE ProgramInstance();
// An icon at the system's small (tray) size, or at the large size; shared
// with the system, never destroyed. Null when missing.
HICON LoadSmallIcon(int id);
HICON LoadLargeIcon(int id);
// A string resource; empty when missing.
std::string LoadResourceString(int id);

}  // namespace qv::win
