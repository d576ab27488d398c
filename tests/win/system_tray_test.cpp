#include "ui/system_tray.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <set>
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

// The width of an icon's picture; -1 for no icon.
int IconWidth(HICON icon) {
  ICONINFO info{};
  if (!icon || !::GetIconInfo(icon, &info)) return -1;
  BITMAP bitmap{};
  ::GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor) ::DeleteObject(info.hbmColor);
  if (info.hbmMask) ::DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

// The main window stand-in: records the commands it gets, and the default
// item of a popup menu, which it closes at once without a choice.
class CRecordingTarget : public win::CWnd {
 public:
  CRecordingTarget() {
    RegisterClassOnce("QvTrayTarget", 0, nullptr, nullptr, nullptr);
    CreateEx(0, "QvTrayTarget", "", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, nullptr);
  }
  std::vector<UINT> m_commands;
  int m_nMenuDefault = -2;
  int m_nMenusShown = 0;

 protected:
  bool OnCommand(UINT id, UINT) override {
    m_commands.push_back(id);
    return true;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_INITMENUPOPUP) {
      ++m_nMenusShown;
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
      {IDR_TRAYMENU, NIN_SELECT, 1, {}},                   // follows the press, which has advanced
      {IDR_TRAYMENU, NIN_KEYSELECT, 1, {ID_HOMEPAGE}},     // Enter or Space: as a double click
      {IDR_TRAYMENU, NIN_KEYSELECT, 1, {}},                // the shell's second one for Enter
      {IDR_TRAYMENU + 1, WM_LBUTTONDOWN, 0, {}},           // another icon's
      {IDR_TRAYMENU + 1, WM_LBUTTONDBLCLK, 0, {}},
      {IDR_TRAYMENU + 1, NIN_KEYSELECT, 0, {}},
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
  EXPECT_EQ(itemText(ID_PAUSE_SHOW), (std::pair<std::string, UINT>("&Pause Slideshow", ID_PAUSE_SHOW)));
  tray.SetMenuItemText(ID_PAUSE_SHOW, "&Resume Slideshow");
  EXPECT_EQ(itemText(ID_PAUSE_SHOW).first, "&Resume Slideshow");
  EXPECT_EQ(itemText(ID_SETTINGS).first, "&Settings...");
  EXPECT_TRUE(tray.SetTip("Quadrivue (paused)"));
  EXPECT_TRUE(ShellKnowsIcon());
}

// Every item of the tray menu and of a show's menu keeps its command and has
// an access key of its own, so a keyboard user runs any of them with one key.
TEST(SystemTray, MenuItemsKeepTheirCommandsAndHaveAccessKeysOfTheirOwn) {
  struct MenuCase {
    int resource;
    std::vector<UINT> commands;  // 0: a separator
  };
  const MenuCase menus[] = {
      {IDR_TRAYMENU,
       {ID_APP_ABOUT, ID_HOMEPAGE, 0, ID_SETTINGS, ID_PAUSE_SHOW, ID_NEXT_PICTURE, ID_PREVIOUS_PICTURE, ID_OPEN_PICTURE,
        0, ID_APP_EXIT}},
      {IDR_SHOWMENU,
       {ID_NEXT_PICTURE, ID_PREVIOUS_PICTURE, ID_OPEN_PICTURE, ID_SHOW_IN_FOLDER, ID_NEVER_SHOW, 0, ID_PAUSE_SHOW,
        ID_SETTINGS}},
  };
  for (const auto& [resource, commands] : menus) {
    SCOPED_TRACE(resource);
    const HMENU menu = ::LoadMenuA(win::ProgramInstance(), MAKEINTRESOURCEA(resource));
    ASSERT_NE(menu, nullptr);
    const HMENU sub = ::GetSubMenu(menu, 0);
    ASSERT_EQ(::GetMenuItemCount(sub), static_cast<int>(commands.size()));
    std::set<int> keys;
    for (int i = 0; i < static_cast<int>(commands.size()); ++i) {
      if (commands[i] == 0) {
        EXPECT_NE(::GetMenuState(sub, i, MF_BYPOSITION) & MF_SEPARATOR, 0u) << "item " << i;
        continue;
      }
      EXPECT_EQ(::GetMenuItemID(sub, i), commands[i]) << "item " << i;
      char text[64] = {};
      ::GetMenuStringA(sub, i, text, sizeof text, MF_BYPOSITION);
      const std::string item(text);
      EXPECT_EQ(std::count(item.begin(), item.end(), '&'), 1) << item;
      const size_t amp = item.find('&');
      if (amp == std::string::npos || amp + 1 >= item.size()) continue;
      EXPECT_TRUE(keys.insert(std::tolower(static_cast<unsigned char>(item[amp + 1]))).second)
          << item << ": another item has this key";
    }
    ::DestroyMenu(menu);
  }
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

  CRecordingTarget target;
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

// Each add (the first, a retry, after "TaskbarCreated") is followed by the
// choice of the keyboard-aware callbacks, the one call made with the larger
// record.
TEST_F(RefusingTrayTest, EveryAddIsFollowedByTheCallbackVersion) {
  auto expectVersionAfterAdd = [&](const char* when) {
    SCOPED_TRACE(when);
    const auto& calls = tray.m_calls;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].first, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls.back().first, static_cast<DWORD>(NIM_SETVERSION));
    EXPECT_EQ(calls.back().second.cbSize, CSystemTray::kNotifyIconDataSizeV2);
    EXPECT_EQ(calls.back().second.uVersion, static_cast<UINT>(NOTIFYICON_VERSION));
    for (const auto& [message, nid] : calls) {
      if (message != NIM_SETVERSION) {
        EXPECT_EQ(nid.cbSize, CSystemTray::kNotifyIconDataSize) << message;
      }
    }
  };
  ASSERT_TRUE(tray.AddIcon(nullptr, kCallback, "Quadrivue", nullptr, IDR_TRAYMENU));
  expectVersionAfterAdd("first add");
  TaskbarCreated();
  expectVersionAfterAdd("TaskbarCreated");
  tray.m_bRefusing = true;
  TaskbarCreated();
  EXPECT_NE(tray.m_calls.back().first, static_cast<DWORD>(NIM_SETVERSION));
  tray.m_bRefusing = false;
  ASSERT_TRUE(test::PumpUntil([&] { return tray.IsIconAdded(); }, 5s));
  expectVersionAfterAdd("retry");
}

// Shift+F10 or the menu key opens the menu; closed without a choice, the
// focus goes back to the notification area. A right click opens it once,
// although the shell follows it with WM_CONTEXTMENU.
TEST_F(RefusingTrayTest, TheKeyboardOpensTheMenuAndARightClickOpensItOnce) {
  tray.SetTargetWindow(target.GetSafeHwnd());
  ASSERT_TRUE(tray.AddIcon(nullptr, kCallback, "Quadrivue", nullptr, IDR_TRAYMENU));
  struct Step {
    UINT message;
    int menusShown;
    bool focusBack;
  };
  const Step steps[] = {
      {WM_CONTEXTMENU, 1, true},
      {WM_RBUTTONUP, 2, false},
      {WM_CONTEXTMENU, 2, false},  // the right click's own
      {WM_CONTEXTMENU, 3, true},   // the keyboard again
  };
  for (const auto& step : steps) {
    tray.m_calls.clear();
    EXPECT_EQ(::SendMessageA(tray.GetSafeHwnd(), kCallback, IDR_TRAYMENU, step.message), 1);
    EXPECT_EQ(target.m_nMenusShown, step.menusShown) << "after " << step.message;
    const NOTIFYICONDATAA* focus = tray.LastCall(NIM_SETFOCUS);
    EXPECT_EQ(focus != nullptr, step.focusBack) << "after " << step.message;
    if (focus) {
      EXPECT_EQ(focus->cbSize, CSystemTray::kNotifyIconDataSizeV2);
      EXPECT_EQ(focus->uID, static_cast<UINT>(IDR_TRAYMENU));
    }
  }
  EXPECT_TRUE(target.m_commands.empty());
}

// The icon is made for the notification area's DPI: anew after a change of
// scale, after the broadcasts that may announce one, and when the shell
// restarts.
TEST_F(RefusingTrayTest, TheIconFollowsTheNotificationAreasDpi) {
  ASSERT_TRUE(tray.AddIcon(nullptr, kCallback, "Quadrivue", nullptr, IDR_TRAYMENU));
  ASSERT_TRUE(tray.ChangeIcon(IDI_TRAY));
  const int startWidth = IconWidth(tray.LastCall(NIM_MODIFY)->hIcon);
  ASSERT_GT(startWidth, 0);
  struct Step {
    UINT message;
    UINT dpi;
    int width;  // 0: the width at start
  };
  const Step steps[] = {
      {WM_DPICHANGED, 120, 20}, {WM_DPICHANGED, 144, 24}, {WM_DPICHANGED, 192, 32},
      {WM_SETTINGCHANGE, 0, 0}, {WM_DPICHANGED, 192, 32}, {WM_DISPLAYCHANGE, 0, 0},
  };
  RECT suggested{0, 0, 10, 10};
  auto dpiChanged = [&](UINT dpi) {
    ::SendMessageA(tray.GetSafeHwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  };
  for (const auto& step : steps) {
    tray.m_calls.clear();
    if (step.message == WM_DPICHANGED) {
      dpiChanged(step.dpi);
    } else {
      ::SendMessageA(tray.GetSafeHwnd(), step.message, 0, 0);
    }
    const NOTIFYICONDATAA* changed = tray.LastCall(NIM_MODIFY);
    ASSERT_NE(changed, nullptr) << step.message << " " << step.dpi;
    EXPECT_EQ(IconWidth(changed->hIcon), step.width ? step.width : startWidth) << step.message << " " << step.dpi;
  }
  dpiChanged(144);
  ASSERT_TRUE(tray.ChangeIcon(IDI_TRAY_BUSY));
  EXPECT_EQ(IconWidth(tray.LastCall(NIM_MODIFY)->hIcon), 24) << "every icon at the new size";
  TaskbarCreated();
  ASSERT_NE(tray.LastCall(NIM_ADD), nullptr);
  EXPECT_EQ(IconWidth(tray.LastCall(NIM_ADD)->hIcon), startWidth);
}

}  // namespace
}  // namespace qv
