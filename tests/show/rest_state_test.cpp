#include "show/rest_state.h"

#include <gtest/gtest.h>

#include "show/fade.h"

namespace qv {
namespace {

// One change of the conditions, whether it changed the rest, and the rest
// after it.
struct Step {
  char what;  // L locked, D display off, B on battery, P pause on battery
  bool value;
  bool changed;
  bool resting;
};

void Walk(std::initializer_list<Step> steps) {
  CRestState state;
  int i = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << i++ << " " << step.what << "=" << step.value);
    bool changed = false;
    switch (step.what) {
      case 'L':
        changed = state.SetLocked(step.value);
        break;
      case 'D':
        changed = state.SetDisplayOff(step.value);
        break;
      case 'B':
        changed = state.SetOnBattery(step.value);
        break;
      case 'P':
        changed = state.SetPauseOnBattery(step.value);
        break;
    }
    EXPECT_EQ(changed, step.changed);
    EXPECT_EQ(state.Resting(), step.resting);
  }
}

TEST(RestState, LockedAndOnBatteryOneEndsTheOtherHolds) {
  Walk({{'L', true, true, true}, {'B', true, false, true}, {'L', false, false, true}, {'B', false, true, false}});
  Walk({{'B', true, true, true}, {'L', true, false, true}, {'B', false, false, true}, {'L', false, true, false}});
}

TEST(RestState, BatteryCountsOnlyWithTheOption) {
  Walk({{'P', false, false, false}, {'B', true, false, false}, {'P', true, true, true}, {'P', false, true, false}});
  // Turned off while on battery and locked: the lock still holds.
  Walk({{'B', true, true, true}, {'L', true, false, true}, {'P', false, false, true}, {'L', false, true, false}});
}

TEST(RestState, DisplayOffAndOnAndRepeatedNotices) {
  Walk({{'D', true, true, true},
        {'D', true, false, true},
        {'L', true, false, true},
        {'D', false, false, true},
        {'L', false, true, false},
        {'L', false, false, false}});
}

TEST(FadeAlpha, RisesWithTimeAndEndsOpaque) {
  EXPECT_EQ(FadeAlpha(0), 0);
  EXPECT_EQ(FadeAlpha(200), 128);
  EXPECT_EQ(FadeAlpha(399), 254);
  EXPECT_EQ(FadeAlpha(400), 255);
  EXPECT_EQ(FadeAlpha(uint64_t{1} << 40), 255) << "a clock far ahead";
  EXPECT_EQ(FadeAlpha(0, 0), 255) << "no fade";
}

}  // namespace
}  // namespace qv
