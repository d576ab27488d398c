#include "ui/system_tray.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "shell_test_support.h"

using namespace std::chrono_literals;

namespace qv {
namespace {

constexpr UINT kCallback = WM_USER + 10;

// Whether the shell knows the tray icon of this window.
bool ShellKnowsIconOf(HWND window) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = CSystemTray::kNotifyIconDataSize;
  nid.hWnd = window;
  nid.uID = IDR_TRAYMENU;
  return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

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
  bool ShellKnowsIcon() { return ShellKnowsIconOf(tray.GetSafeHwnd()); }

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

// The shell as the tray sees it at sign-in: refusing while told to, and
// every call recorded with the record it was given.
class CRefusingTray : public CSystemTray {
 public:
  bool m_bRefusing = false;
  std::vector<std::pair<DWORD, NOTIFYICONDATAA>> m_calls;
  std::vector<uint32_t> m_gaveUp;

  CRefusingTray() {
    SetRetrySchedule(CRetrySchedule(20, 100));
    SetGiveUpHandler([this](uint32_t attempts) { m_gaveUp.push_back(attempts); });
  }
  // The last add (or change) the shell was asked for.
  const NOTIFYICONDATAA* LastCall(DWORD message) const {
    for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it) {
      if (it->first == message) return &it->second;
    }
    return nullptr;
  }

 protected:
  BOOL Notify(DWORD message, NOTIFYICONDATAA* data) override {
    m_calls.emplace_back(message, *data);
    if (m_bRefusing && message != NIM_DELETE) return FALSE;
    return CSystemTray::Notify(message, data);
  }
};

class RefusingTrayTest : public testing::Test {
 protected:
  bool ShellKnowsIcon() { return ShellKnowsIconOf(tray.GetSafeHwnd()); }
  void TaskbarCreated() { ::SendMessageA(tray.GetSafeHwnd(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0); }

  CRefusingTray tray;
};

// At sign-in the shell is not ready: the add is tried again until it takes
// the icon, with the icon and tip set meanwhile.
TEST_F(RefusingTrayTest, ARefusedAddIsRetriedUntilTheShellTakesIt) {
  tray.m_bRefusing = true;
  EXPECT_FALSE(tray.AddIcon(nullptr, kCallback, "Quadrivue", nullptr, IDR_TRAYMENU));
  EXPECT_TRUE(tray.IsRetrying());
  const HICON busy = win::LoadSmallIcon(IDI_TRAY_BUSY);
  EXPECT_FALSE(tray.ChangeIcon(busy));
  EXPECT_FALSE(tray.SetTip("Quadrivue (paused)"));
  ASSERT_TRUE(test::PumpUntil([&] { return tray.m_calls.size() >= 8; }, 5s)) << "the retries come";
  tray.m_bRefusing = false;
  ASSERT_TRUE(test::PumpUntil([&] { return tray.IsIconAdded(); }, 5s));
  EXPECT_FALSE(tray.IsRetrying());
  EXPECT_TRUE(tray.EverAdded());
  EXPECT_TRUE(tray.m_gaveUp.empty());
  EXPECT_TRUE(ShellKnowsIcon());
  const NOTIFYICONDATAA* added = tray.LastCall(NIM_ADD);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->hIcon, busy);
  EXPECT_STREQ(added->szTip, "Quadrivue (paused)");
  tray.RemoveIcon();
  EXPECT_FALSE(ShellKnowsIcon());
}

// Every try refused: the series ends once, saying how many tries it made;
// the next "TaskbarCreated" adds the icon after all.
TEST_F(RefusingTrayTest, ASeriesThatNeverSucceedsEndsOnceAndTaskbarCreatedTriesAgain) {
  tray.m_bRefusing = true;
  EXPECT_FALSE(tray.AddIcon(nullptr, kCallback, "Quadrivue", nullptr, IDR_TRAYMENU));
  ASSERT_TRUE(test::PumpUntil([&] { return !tray.m_gaveUp.empty(); }, 5s));
  EXPECT_FALSE(test::PumpUntil([&] { return tray.m_gaveUp.size() > 1; }, 200ms));
  EXPECT_EQ(tray.m_gaveUp, std::vector<uint32_t>{6});  // the first try and 5 retries, 20 ms apart in 100 ms
  EXPECT_FALSE(tray.IsRetrying());
  EXPECT_FALSE(tray.EverAdded());
  tray.m_bRefusing = false;
  TaskbarCreated();
  EXPECT_TRUE(tray.IsIconAdded());
  EXPECT_TRUE(ShellKnowsIcon());
}

// Any program may broadcast "TaskbarCreated" while the icon exists: it is
// deleted and added again with its current picture and tip. A re-add the
// shell refuses leaves the tray working: changes are kept, the removal
// still reaches the shell, and the next broadcast adds it.
TEST_F(RefusingTrayTest, TaskbarCreatedAddsTheIconAgainWhateverTheTrayBelieves) {
  ASSERT_TRUE(tray.AddIcon(nullptr, kCallback, "Quadrivue", nullptr, IDR_TRAYMENU));
  const HICON busy = win::LoadSmallIcon(IDI_TRAY_BUSY);
  ASSERT_TRUE(tray.ChangeIcon(busy));
  tray.m_calls.clear();
  TaskbarCreated();
  ASSERT_GE(tray.m_calls.size(), 2u);
  EXPECT_EQ(tray.m_calls[0].first, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(tray.m_calls[1].first, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(tray.m_calls[1].second.hIcon, busy);
  EXPECT_TRUE(ShellKnowsIcon());

  tray.m_bRefusing = true;
  TaskbarCreated();
  EXPECT_FALSE(tray.IsIconAdded());
  EXPECT_FALSE(tray.SetTip("later"));
  tray.m_bRefusing = false;
  TaskbarCreated();
  EXPECT_TRUE(tray.IsIconAdded());
  EXPECT_STREQ(tray.LastCall(NIM_ADD)->szTip, "later");
  tray.m_bRefusing = true;
  TaskbarCreated();
  tray.m_calls.clear();
  tray.RemoveIcon();
  ASSERT_NE(tray.LastCall(NIM_DELETE), nullptr) << "the removal reaches the shell";
  EXPECT_FALSE(ShellKnowsIcon());
}

}  // namespace
}  // namespace qv
