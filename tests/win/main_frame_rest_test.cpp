#include "app/main_frame.h"

#include <gtest/gtest.h>
#include <wtsapi32.h>

#include "codec/codec_test_support.h"

namespace qv {
namespace {

constexpr GUID kDisplay{0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr GUID kSource{0x5d3e9a59, 0xe9d5, 0x4b00, {0xa6, 0xbd, 0xff, 0x34, 0xff, 0x51, 0x65, 0x48}};
constexpr GUID kOther{0x12345678, 0x1, 0x2, {0, 1, 2, 3, 4, 5, 6, 7}};

// The notices the system sends the frame, one after the other, and whether
// the shows rest after each.
TEST(MainFrameRest, FollowsTheSessionTheDisplayAndThePowerSource) {
  test::CTempFolder dir;
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  CMainFrame frame(app, 1);
  struct Notice {
    const GUID* setting;  // nullptr: a session event in value
    DWORD value;
    bool resting;
  };
  const Notice notices[] = {
      {&kDisplay, 0, true},
      {&kDisplay, 2, false},  // dimmed is still seen
      {&kDisplay, 0, true},
      {&kOther, 1, true},
      {&kDisplay, 1, false},
      {nullptr, WTS_SESSION_LOCK, true},
      {nullptr, WTS_SESSION_UNLOCK, false},
      {nullptr, WTS_REMOTE_DISCONNECT, true},
      {nullptr, WTS_CONSOLE_CONNECT, false},
      {&kSource, 1, true},
      {&kSource, 2, true},
      {&kSource, 0, false},
  };
  int i = 0;
  for (const Notice& notice : notices) {
    if (notice.setting)
      frame.OnPowerSetting(*notice.setting, notice.value);
    else
      frame.OnSessionChange(notice.value);
    EXPECT_EQ(frame.IsResting(), notice.resting) << "notice " << i++;
  }
  // On battery without "Pause on battery" the shows go on.
  frame.OnPowerSetting(kSource, 1);
  app.m_bPauseOnBattery = 0;
  frame.ApplyRestOptions();
  EXPECT_FALSE(frame.IsResting());
}

}  // namespace
}  // namespace qv
