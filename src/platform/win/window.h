// The shell's window base class: owns one HWND, finds itself from the
// window's user data (set from WM_NCCREATE's create parameters) and hands
// the messages it knows to virtual On... handlers. Whatever a handler does
// not take goes to the system's default processing.
#pragma once

#include <windows.h>

#include <string>

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

  // Takes over the messages of a window made elsewhere (a dialog's control,
  // a system dialog); what the handlers leave goes to its own procedure.
  // The window is given back when it is destroyed or this object ends.
  bool SubclassWindow(HWND window);
  void Detach();
  // The object behind a window made or subclassed here; null otherwise.
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

  // Subclassing that keeps the object in the window's user data: for the
  // program's own dialogs.
  bool Attach(HWND window, bool useUserData);

  HWND m_hWnd = nullptr;

 private:
  static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC m_pfnSuper = nullptr;  // the procedure of a subclassed window

  // The message in hand, for Default().
  struct CCurrentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };
  CCurrentMessage m_current;
};

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
