#include "ui/system_tray.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "shell_test_support.h"

namespace qv {
namespace {

constexpr UINT kCallback = WM_USER + 10;

// The main window stand-in: records the commands it gets, and the default
// item of a popup menu, which it closes at once.
class CRecordingTarget : public win::CWnd {
 public:
  CRecordingTarget() {
    RegisterClassOnce("QvTrayTarget", 0, nullptr, nullptr, nullptr);
    CreateEx(0, "QvTrayTarget", "", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, nullptr);
  }
  std::vector<UINT> m_commands;
  int m_nMenuDefault = -2;

 protected:
  bool OnCommand(UINT id, UINT) override {
    m_commands.push_back(id);
    return true;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_INITMENUPOPUP) {
      m_nMenuDefault = static_cast<int>(::GetMenuDefaultItem(reinterpret_cast<HMENU>(wParam), TRUE, 0));
      ::SetTimer(m_hWnd, 1, 10, nullptr);
    }
    if (message == WM_TIMER) {
      ::KillTimer(m_hWnd, 1);
      ::EndMenu();
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

class SystemTrayTest : public testing::Test {
 protected:
  void SetUp() override {
    tray.SetTargetWindow(target.GetSafeHwnd());
    ASSERT_TRUE(tray.AddIcon(nullptr, kCallback, "Quadrivue", nullptr, IDR_TRAYMENU));
    ASSERT_TRUE(tray.SetDefaultMenuItem(1, true));
  }
  LRESULT Notify(WPARAM id, UINT mouse) {
    target.m_commands.clear();
    return ::SendMessageA(tray.GetSafeHwnd(), kCallback, id, mouse);
  }
  // Whether the shell still knows the icon.
  bool ShellKnowsIcon() {
    NOTIFYICONDATAA nid{};
    nid.cbSize = CSystemTray::kNotifyIconDataSize;
    nid.hWnd = tray.GetSafeHwnd();
    nid.uID = IDR_TRAYMENU;
    return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
  }

  CRecordingTarget target;
  CSystemTray tray;
};

TEST(SystemTray, ChangeIconBeforeAnAddFailsAndTouchesNothing) {
  CSystemTray tray;
  EXPECT_FALSE(tray.ChangeIcon(IDI_TRAY));
  EXPECT_FALSE(tray.IsIconAdded());
  EXPECT_EQ(tray.GetSafeHwnd(), nullptr);
  tray.RemoveIcon();  // nothing to remove
}

TEST_F(SystemTrayTest, TurnsMouseNotificationsIntoCommands) {
  struct Case {
    WPARAM id;
    UINT mouse;
    LRESULT result;
    std::vector<UINT> commands;
  };
  const Case cases[] = {
      {IDR_TRAYMENU, WM_LBUTTONDOWN, 1, {ID_NEXT_PICTURE}},  // on the press, once
      {IDR_TRAYMENU, WM_LBUTTONUP, 1, {}},
      {IDR_TRAYMENU, WM_MOUSEMOVE, 1, {}},
      {IDR_TRAYMENU, WM_LBUTTONDBLCLK, 1, {ID_HOMEPAGE}},  // the default item, by position
      {IDR_TRAYMENU + 1, WM_LBUTTONDOWN, 0, {}},           // another icon's
      {IDR_TRAYMENU + 1, WM_LBUTTONDBLCLK, 0, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Notify(c.id, c.mouse), c.result) << "id " << c.id << " message " << c.mouse;
    EXPECT_EQ(target.m_commands, c.commands) << "id " << c.id << " message " << c.mouse;
  }
  ASSERT_TRUE(tray.SetDefaultMenuItem(ID_APP_EXIT, false));
  Notify(IDR_TRAYMENU, WM_LBUTTONDBLCLK);
  EXPECT_EQ(target.m_commands, std::vector<UINT>{ID_APP_EXIT});
}

TEST_F(SystemTrayTest, RightClickShowsTheMenuWithItsDefaultItem) {
  EXPECT_EQ(Notify(IDR_TRAYMENU, WM_RBUTTONUP), 1);
  EXPECT_EQ(target.m_nMenuDefault, 1);  // "Visit Home Page..." in bold
  EXPECT_TRUE(target.m_commands.empty());
}

// The pause item follows "Settings..." and shows the text last set for it;
// the tip changes with it.
TEST_F(SystemTrayTest, MenuItemTextAndTipFollowThePause) {
  auto itemText = [&](UINT command) {
    const HMENU menu = tray.LoadTrayMenu();
    char text[64] = {};
    ::GetMenuStringA(::GetSubMenu(menu, 0), command, text, sizeof text, MF_BYCOMMAND);
    const UINT after = ::GetMenuItemID(::GetSubMenu(menu, 0), 4);
    ::DestroyMenu(menu);
    return std::pair<std::string, UINT>(text, after);
  };
  EXPECT_EQ(itemText(ID_PAUSE_SHOW), (std::pair<std::string, UINT>("Pause Slideshow", ID_PAUSE_SHOW)));
  tray.SetMenuItemText(ID_PAUSE_SHOW, "Resume Slideshow");
  EXPECT_EQ(itemText(ID_PAUSE_SHOW).first, "Resume Slideshow");
  EXPECT_EQ(itemText(ID_SETTINGS).first, "Settings...");
  EXPECT_TRUE(tray.SetTip("Quadrivue (paused)"));
  EXPECT_TRUE(ShellKnowsIcon());
}

TEST_F(SystemTrayTest, ChangesTheIconAndAddsItAgainWhenTheShellRestarts) {
  EXPECT_TRUE(tray.ChangeIcon(IDI_TRAY_BUSY));
  EXPECT_TRUE(tray.ChangeIcon(IDI_TRAY));
  // The notification area restarts and forgets the icon.
  NOTIFYICONDATAA nid{};
  nid.cbSize = CSystemTray::kNotifyIconDataSize;
  nid.hWnd = tray.GetSafeHwnd();
  nid.uID = IDR_TRAYMENU;
  ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &nid));
  EXPECT_FALSE(ShellKnowsIcon());
  ::SendMessageA(tray.GetSafeHwnd(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_TRUE(ShellKnowsIcon());
  EXPECT_TRUE(tray.IsIconAdded());
  tray.RemoveIcon();
  EXPECT_FALSE(ShellKnowsIcon());
  EXPECT_FALSE(tray.ChangeIcon(IDI_TRAY));
}

}  // namespace
}  // namespace qv
