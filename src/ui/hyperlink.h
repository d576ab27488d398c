// A static control of a dialog turned into a web link: underlined text in
// link colours, a hand cursor, a tooltip with the address, a tab stop that
// opens on Enter or Space, and opening of the address in the user's
// browser. And a dialog's picture that stands for a link.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win/gdi.h"
#include "platform/win/window.h"

namespace qv {

class CHyperLink : public win::CWnd {
 public:
  enum EOption : uint32_t {
    kUnderline = 0x01,
    kHoverColour = 0x02,
    kFitToText = 0x04,
    kOpenOnPress = 0x08,
    kFocusOnPress = 0x10,
    kDefaultCursor = 0x20,
    kNoFocusColour = 0x40,
  };
  static constexpr COLORREF kUnvisited = RGB(0, 0, 255);
  static constexpr COLORREF kVisited = RGB(128, 0, 128);
  static constexpr COLORREF kFocus = RGB(0, 128, 128);
  static constexpr COLORREF kHover = RGB(255, 0, 0);

  CHyperLink() = default;
  ~CHyperLink() override;

  // Takes over the dialog's static control. Every font it is given, now or
  // later (the dialog's again after a DPI change), is underlined and the
  // control fitted to its text in it.
  bool Attach(HWND control);
  void SetTarget(const std::string& address);
  const std::string& Target() const { return m_strTarget; }
  // Opens the target; on failure a beep and a message box.
  void FollowLink();

  // ShellExecuteA, else the ".htm" class's open command; above 32 is success.
  static intptr_t OpenLink(const std::string& address, int show);
  static void ShowOpenError(HWND owner, int32_t code);
  // The default value of root\subkey (at most 260 bytes); 0 or the error of
  // opening the key.
  static LONG QueryRegistryDefault(HKEY root, const std::string& subkey, std::string& value);

  bool Visited() const { return m_bVisited != 0; }
  COLORREF TextColour() const;

 protected:
  HBRUSH OnReflectedCtlColor(HDC dc) override;
  void OnMouseMove(UINT flags, POINT point) override;
  void OnLButtonDown(UINT flags, POINT point) override;
  void OnLButtonUp(UINT flags, POINT point) override;
  BOOL OnSetCursor(HWND window, UINT hitTest, UINT message) override;
  void OnSetFocus(HWND previous) override;
  void OnKillFocus(HWND next) override;
  void OnKeyDown(UINT key, UINT repeat, UINT flags) override;
  void OnPaint() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The text's box and a margin for the focus rectangle around it.
  void FitToText();
  void AddToolTip();
  void OnSetFont(HFONT font, LPARAM redraw);
  HFONT CurrentFont() const;
  static void LoadHandCursor();

  int32_t m_bFocus = 0;
  int32_t m_bOver = 0;
  int32_t m_bVisited = 0;
  uint32_t m_nOptions = kUnderline | kFitToText | kFocusOnPress;
  std::string m_strTarget;
  win::CFontHandle m_font;
  win::CWindowHandle m_toolTip;
};

// A dialog's static picture that stands for a link: a tab stop that Enter or
// Space clicks as the mouse does (the dialog hears STN_CLICKED), with a
// focus rectangle, and its bitmap (made for 96 DPI) drawn at the window's
// DPI, centred in the control's rectangle and never beyond it.
class CLinkPicture : public win::CWnd {
 public:
  bool Attach(HWND control) { return SubclassWindow(control); }

 protected:
  void OnPaint() override;
  void OnSetFocus(HWND previous) override;
  void OnKillFocus(HWND next) override;
  void OnKeyDown(UINT key, UINT repeat, UINT flags) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The size a picture made for 96 DPI is drawn at: scaled to dpi, then shrunk
// to the room, in proportion, where it is larger.
SIZE PictureSizeForDpi(SIZE picture, UINT dpi, SIZE room);

}  // namespace qv
