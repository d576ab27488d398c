#include "app/hotkey_registration.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "codec/codec_test_support.h"
#include "platform/log.h"
#include "platform/win/window.h"

namespace qv {
namespace {

constexpr uint32_t kNext = 0x0727, kPrevious = 0x0725, kPause = 0x0728;

struct CWindow {
  HWND h =
      ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr, win::ProgramInstance(), nullptr);
  ~CWindow() { ::DestroyWindow(h); }
};

// Whether another window could take key now (and gives it back).
bool Free(uint32_t key) {
  const CWindow other;
  if (!::RegisterHotKey(other.h, 1, HotkeyModifiers(key), HotkeyVirtualKey(key))) return false;
  ::UnregisterHotKey(other.h, 1);
  return true;
}

std::string LogText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A key another window holds is named in the note at every registration
// and logged once; the others are held until released.
TEST(HotkeyRegistration, AKeyHeldElsewhereIsReportedOnce) {
  test::CTempFolder folder;
  const std::string log = folder.Path("test.log");
  OpenProgramLog(log);
  struct CCloseLog {
    ~CCloseLog() { CloseProgramLog(); }
  } closeLog;
  const CWindow own, holder;
  ASSERT_TRUE(::RegisterHotKey(holder.h, 7, HotkeyModifiers(kNext), HotkeyVirtualKey(kNext)));
  {
    CHotkeyRegistration keys;
    for (int round = 0; round < 2; ++round) {
      keys.Register(own.h, {kNext, kPrevious, kPause});
      EXPECT_FALSE(keys.IsRegistered(EHotkeyAction::kNext));
      EXPECT_TRUE(keys.IsRegistered(EHotkeyAction::kPrevious));
      EXPECT_TRUE(keys.IsRegistered(EHotkeyAction::kPause));
      EXPECT_EQ(keys.Note(), "Hotkey Ctrl+Alt+Shift+Right is used by another program.");
      EXPECT_FALSE(Free(kPrevious));
    }
    const std::string text = LogText(log);
    const std::string line = "Hotkey Ctrl+Alt+Shift+Right is used by another program.";
    ASSERT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find(line, text.find(line) + 1), std::string::npos) << text;

    // A new set of keys gives back the old ones.
    keys.Register(own.h, {0, 0x0878, kNext});
    EXPECT_TRUE(Free(kPrevious));
    EXPECT_TRUE(keys.IsRegistered(EHotkeyAction::kPrevious));
    EXPECT_FALSE(keys.IsRegistered(EHotkeyAction::kPause));
    EXPECT_EQ(keys.Note(), "Hotkey Ctrl+Alt+Shift+Right is used by another program.");

    ::UnregisterHotKey(holder.h, 7);
    keys.Register(own.h, {kNext, kPrevious, kNext});
    EXPECT_TRUE(keys.IsRegistered(EHotkeyAction::kNext));
    EXPECT_EQ(keys.Note(), "Hotkey Ctrl+Alt+Shift+Right is set for more than one action; the first one takes it.");
    EXPECT_FALSE(Free(kNext));
  }
  EXPECT_TRUE(Free(kNext));
  EXPECT_TRUE(Free(kPrevious));
}

TEST(HotkeyRegistration, SeveralHeldKeysInOneSentence) {
  const CWindow own, holder;
  ASSERT_TRUE(::RegisterHotKey(holder.h, 1, HotkeyModifiers(kNext), HotkeyVirtualKey(kNext)));
  ASSERT_TRUE(::RegisterHotKey(holder.h, 2, HotkeyModifiers(kPause), HotkeyVirtualKey(kPause)));
  CHotkeyRegistration keys;
  keys.Register(own.h, {kNext, kPrevious, kPause});
  EXPECT_EQ(keys.Note(), "Hotkeys Ctrl+Alt+Shift+Right and Ctrl+Alt+Shift+Down are used by another program.");
  keys.Register(own.h, {0, 0, 0});
  EXPECT_EQ(keys.Note(), "");
}

// The key itself reaches the window as WM_HOTKEY with the action's id.
TEST(HotkeyRegistration, TheKeyArrivesAsItsAction) {
  EXPECT_EQ(CHotkeyRegistration::ActionOf(CHotkeyRegistration::kFirstId + 1), EHotkeyAction::kPrevious);
  EXPECT_EQ(CHotkeyRegistration::ActionOf(CHotkeyRegistration::kFirstId + 3), std::nullopt);
  EXPECT_EQ(CHotkeyRegistration::ActionOf(CHotkeyRegistration::kFirstId - 1), std::nullopt);

  const CWindow own;
  CHotkeyRegistration keys;
  keys.Register(own.h, {kNext, kPrevious, kPause});
  const WORD sequence[] = {VK_CONTROL, VK_MENU, VK_SHIFT, VK_DOWN};
  std::vector<INPUT> inputs;
  for (const bool up : {false, true}) {
    for (size_t i = 0; i < std::size(sequence); ++i) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = sequence[up ? std::size(sequence) - 1 - i : i];
      input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
      inputs.push_back(input);
    }
  }
  ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
  // Only WM_HOTKEY is taken from the queue: a pump would hand it to the window.
  MSG msg{};
  bool arrived = false;
  for (int wait = 0; wait < 500 && !arrived; ++wait) {
    arrived = ::PeekMessageA(&msg, own.h, WM_HOTKEY, WM_HOTKEY, PM_REMOVE) != FALSE;
    if (!arrived) ::Sleep(10);
  }
  ASSERT_TRUE(arrived);
  EXPECT_EQ(CHotkeyRegistration::ActionOf(msg.wParam), EHotkeyAction::kPause);
}

}  // namespace
}  // namespace qv
