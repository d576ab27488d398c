#include "show/slide_choice.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/param_names.h"

namespace qv {
namespace {

TEST(SlideIntervalMs, UnitIsMinutesOnlyForExactlyOne) {
  struct Case {
    int32_t interval, minutes;
    uint32_t ms;
  };
  const Case cases[] = {{20, 0, 20000}, {2, 1, 120000}, {5, 2, 5000}, {5, -1, 5000}, {0, 1, 0}, {0, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(SlideIntervalMs(c.interval, c.minutes), c.ms) << c.interval << "," << c.minutes;
}

TEST(SlideIntervalMs, LongPeriodsHeldAtTimerMaximum) {
  struct Case {
    uint32_t interval;
    int32_t minutes;
    uint32_t ms;
  };
  const Case cases[] = {
      {35791, 1, 2147460000u},  // last whole minute below the maximum
      {35792, 1, kUserTimerMaximum},
      {71582, 1, kUserTimerMaximum},  // fits 32 bits, not the timer
      {71583, 1, kUserTimerMaximum},  // would wrap in 32 bits
      {2147483, 0, 2147483000u},      // last whole second below the maximum
      {2147484, 0, kUserTimerMaximum},
      {4294967, 0, kUserTimerMaximum},
      {4294968, 0, kUserTimerMaximum},
      {UINT32_MAX, 0, kUserTimerMaximum},  // the largest number the field takes
      {UINT32_MAX, 1, kUserTimerMaximum},
      {100000, 1, kUserTimerMaximum},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SlideIntervalMs(static_cast<int32_t>(c.interval), c.minutes), c.ms) << c.interval << "," << c.minutes;
}

TEST(Random, SequenceFromSeed) {
  SeedRandom(0);
  EXPECT_EQ(NextRandom(), 38);  // state 2531011
  SeedRandom(0);
  uint32_t state = 0;
  for (int i = 0; i < 1000; ++i) {
    state = state * 214013u + 2531011u;
    ASSERT_EQ(NextRandom(), static_cast<int32_t>((state >> 16) & 32767u));
  }
}

TEST(Random, IndexFromValue) {
  struct Case {
    int32_t value, count, index;
  };
  const Case cases[] = {{0, 10, 0}, {32767, 10, 9}, {16384, 10, 5},        {32767, 1, 0},
                        {0, 0, 0},  {32767, 0, 0},  {32766, 32767, 32766}, {32767, INT32_MAX, INT32_MAX - 1}};
  for (const auto& c : cases) EXPECT_EQ(IndexFromRandom(c.value, c.count), c.index) << c.value << "/" << c.count;
}

TEST(PickNextIndex, RandomDrawsOneValueAndLeavesCounter) {
  CShowSettings s;
  s.m_bRandom = 1;
  s.m_nCounter = 7;
  SeedRandom(0);
  EXPECT_EQ(PickNextIndex(s, 32768), IndexFromRandom(38, 32768));
  EXPECT_EQ(s.m_nCounter, 7);
  SeedRandom(0);
  NextRandom();
  const int32_t second = NextRandom();
  SeedRandom(0);
  PickNextIndex(s, 100);
  EXPECT_EQ(PickNextIndex(s, 100), IndexFromRandom(second, 100));
}

// A whole pass over the list without a picture of the window's shape lets any
// picture go; an empty list still tries once.
TEST(ShapeStillMatters, UntilAWholePassFoundNothing) {
  const struct {
    int32_t skips, count;
    bool matters;
  } cases[] = {{0, 5, true}, {4, 5, true}, {5, 5, false}, {9, 5, false}, {0, 0, true}, {1, 0, false}};
  for (const auto& c : cases) EXPECT_EQ(ShapeStillMatters(c.skips, c.count), c.matters) << c.skips << " of " << c.count;
}

TEST(PickNextIndex, SequentialAdvancesAndWraps) {
  struct Case {
    int32_t counter, count;
    std::vector<int32_t> indices;
  };
  const Case cases[] = {
      {1, 3, {2, 0, 1}},     {7, 3, {0, 1}},      {0, 0, {0, 0}},  // empty list: index 0 reads as an empty path
      {-5, 3, {0, 1}},                             // a negative stored position never gives a negative index
      {INT32_MIN, 3, {0}},   {INT32_MAX, 3, {0}},  // no overflow past the largest position
      {-1, 3, {0, 1, 2, 0}},
  };
  for (const auto& c : cases) {
    CShowSettings s;
    s.m_bRandom = 0;
    s.m_nCounter = c.counter;
    for (const int32_t expected : c.indices) {
      EXPECT_EQ(PickNextIndex(s, c.count), expected) << "counter " << c.counter << " count " << c.count;
      EXPECT_EQ(s.m_nCounter, expected);
    }
  }
}

struct FramingCase {
  const char* name;
  int32_t pw, ph, W, H, fit, smart;
  FramingResult expected;
};

void PrintTo(const FramingCase& c, std::ostream* os) {
  *os << c.name << ": " << c.pw << " x " << c.ph << " in " << c.W << " x " << c.H << ", fit " << c.fit
      << ", smart crop " << c.smart;
}

class ComputeFramingTest : public testing::TestWithParam<FramingCase> {};

TEST_P(ComputeFramingTest, SizesAndCrop) {
  const auto& c = GetParam();
  const FramingResult r = ComputeFraming(c.pw, c.ph, c.W, c.H, c.fit, c.smart);
  EXPECT_EQ(r.nWidth, c.expected.nWidth);
  EXPECT_EQ(r.nHeight, c.expected.nHeight);
  ASSERT_EQ(r.bCrop, c.expected.bCrop);
  if (r.bCrop) {
    EXPECT_EQ(r.nLeft, c.expected.nLeft);
    EXPECT_EQ(r.nTop, c.expected.nTop);
    EXPECT_EQ(r.nRight, c.expected.nRight);
    EXPECT_EQ(r.nBottom, c.expected.nBottom);
  }
}

FramingResult Crop(int32_t w, int32_t h, int32_t l, int32_t t, int32_t r, int32_t b) {
  return {w, h, true, l, t, r, b};
}
FramingResult NoCrop(int32_t w, int32_t h) { return {w, h, false, 0, 0, 0, 0}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, ComputeFramingTest,
    testing::Values(
        FramingCase{"Landscape43Fit0", 1600, 1200, 1920, 1200, 0, 1, Crop(1920, 1440, 0, 34, 1920, 1234)},
        FramingCase{"Landscape169Fit0", 1600, 900, 1920, 1200, 0, 1, NoCrop(1920, 1080)},
        FramingCase{"Landscape169Fit1", 1600, 900, 1920, 1200, 1, 1, Crop(2133, 1200, 106, 0, 2026, 1200)},
        FramingCase{"PortraitNoSmartFit0", 900, 1600, 1920, 1200, 0, 0, NoCrop(675, 1200)},
        FramingCase{"PortraitNoSmartFit1", 900, 1600, 1920, 1200, 1, 0, NoCrop(675, 1200)},
        FramingCase{"PortraitSmartFit0", 900, 1600, 1920, 1200, 0, 1, Crop(1920, 3413, 0, 316, 1920, 1516)},
        FramingCase{"PortraitSmartFit1", 900, 1600, 1920, 1200, 1, 1, Crop(1920, 3413, 0, 316, 1920, 1516)},
        FramingCase{"SquareIsPortrait", 1000, 1000, 1920, 1200, 1, 0, NoCrop(1200, 1200)},
        FramingCase{"OverflowByTenKept", 1920, 1210, 1920, 1200, 0, 1, NoCrop(1920, 1210)},
        FramingCase{"OverflowByElevenCropped", 1920, 1211, 1920, 1200, 0, 1, Crop(1920, 1211, 0, 1, 1920, 1201)},
        FramingCase{"WidthOverflowByTenKept", 1930, 1200, 1920, 1200, 1, 1, NoCrop(1930, 1200)},
        FramingCase{"OtherFitModeStretches", 900, 1600, 1920, 1200, 2, 1, NoCrop(1920, 1200)},
        FramingCase{"ZeroHeightPicture", 100, 0, 1920, 1200, 1, 1, NoCrop(1920, 1200)},
        FramingCase{"HugeAspectSaturates", INT32_MAX, 1, 1920, 1200, 1, 1,
                    Crop(INT32_MAX, 1200, 1073740863, 0, 1073742783, 1200)},
        // 1920 / (1 / 100000.0) is just below 192000000 in double precision.
        FramingCase{"ExtremelyTall", 1, 100000, 1920, 1200, 0, 1, Crop(1920, 191999999, 0, 27428399, 1920, 27429599)}),
    test::NameFrom<&FramingCase::name>());

}  // namespace
}  // namespace qv
