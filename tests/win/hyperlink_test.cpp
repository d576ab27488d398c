#include "ui/hyperlink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/win/gdi.h"
#include "platform/win/window.h"

namespace qv {
namespace {

LOGFONTA FontOf(HWND control) {
  LOGFONTA description{};
  ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)), sizeof description, &description);
  return description;
}

LRESULT DialogCode(HWND control, UINT message, WPARAM key) {
  MSG msg{control, message, key, 0, 0, {}};
  return ::SendMessageA(control, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&msg));
}

// A link in a window standing in for its dialog: the font the dialog manager
// sends again after a change of scale comes back underlined, and the link
// fits its text in it; Enter and Space (only they) are the link's.
TEST(HyperLink, EveryFontItGetsIsUnderlinedAndEnterAndSpaceAreItsOwn) {
  const win::CWindowHandle parent(
      ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr, win::ProgramInstance(), nullptr));
  const HWND control = ::CreateWindowExA(0, "STATIC", "https://quadrivue.example/", WS_CHILD | WS_VISIBLE | SS_NOTIFY,
                                         10, 10, 300, 20, parent.Get(), nullptr, win::ProgramInstance(), nullptr);
  LOGFONTA small{};
  small.lfHeight = -12;
  std::strcpy(small.lfFaceName, "Tahoma");
  LOGFONTA large = small;
  large.lfHeight = -18;
  const win::CFontHandle smallFont(::CreateFontIndirectA(&small));
  const win::CFontHandle largeFont(::CreateFontIndirectA(&large));
  ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(smallFont.Get()), FALSE);
  CHyperLink link;
  ASSERT_TRUE(link.Attach(control));
  for (const HFONT font : {smallFont.Get(), largeFont.Get()}) {
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    LOGFONTA given{};
    ::GetObjectA(font, sizeof given, &given);
    const LOGFONTA now = FontOf(control);
    EXPECT_TRUE(now.lfUnderline) << given.lfHeight;
    EXPECT_EQ(now.lfHeight, given.lfHeight);
    SIZE extent{};
    const win::CWindowDC dc(control);
    const win::CSelectObject selected(dc.Get(), reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0)));
    ::GetTextExtentPoint32A(dc.Get(), "https://quadrivue.example/", 26, &extent);
    RECT client{};
    ::GetClientRect(control, &client);
    EXPECT_GE(client.right, extent.cx) << given.lfHeight;
    EXPECT_LE(client.right, extent.cx + 4) << given.lfHeight;
  }
  for (const auto& [message, key, wanted] : {std::tuple{WM_KEYDOWN, VK_RETURN, true},
                                             {WM_KEYDOWN, VK_SPACE, true},
                                             {WM_CHAR, WPARAM{' '}, true},
                                             {WM_KEYDOWN, VK_TAB, false},
                                             {WM_KEYDOWN, VK_ESCAPE, false}}) {
    EXPECT_EQ((DialogCode(control, message, key) & DLGC_WANTMESSAGE) != 0, wanted) << message << " " << key;
  }
}

TEST(HyperLink, PictureSizeFollowsTheDpiWithinItsRoom) {
  struct Case {
    SIZE picture;
    UINT dpi;
    SIZE room, drawn;
  };
  const Case cases[] = {
      {{37, 14}, 96, {100, 50}, {37, 14}},  {{37, 14}, 144, {100, 50}, {56, 21}},
      {{37, 14}, 192, {100, 50}, {74, 28}}, {{37, 14}, 288, {100, 50}, {100, 38}},  // too wide: shrunk in proportion
      {{40, 40}, 192, {200, 50}, {50, 50}},                                         // too high
      {{0, 14}, 144, {100, 50}, {0, 0}},    {{37, 14}, 144, {0, 50}, {0, 0}},
  };
  for (const auto& c : cases) {
    const SIZE drawn = PictureSizeForDpi(c.picture, c.dpi, c.room);
    EXPECT_EQ(drawn.cx, c.drawn.cx) << c.picture.cx << "x" << c.picture.cy << " at " << c.dpi;
    EXPECT_EQ(drawn.cy, c.drawn.cy) << c.picture.cx << "x" << c.picture.cy << " at " << c.dpi;
  }
}

}  // namespace
}  // namespace qv
