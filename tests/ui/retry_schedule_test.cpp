#include "ui/retry_schedule.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// Retries a schedule grants before it refuses (stops counting at limit).
uint32_t GrantedRetries(CRetrySchedule& schedule, uint32_t limit = 1000000) {
  uint32_t granted = 0;
  while (granted < limit && schedule.NextAfterFailure()) ++granted;
  return granted;
}

TEST(RetrySchedule, EveryTwoSecondsForAMinute) {
  CRetrySchedule schedule;
  EXPECT_EQ(schedule.IntervalMs(), 2000u);
  EXPECT_EQ(GrantedRetries(schedule), 30u);
  EXPECT_EQ(schedule.Retries(), 30u);
  EXPECT_FALSE(schedule.NextAfterFailure()) << "refuses for good once the minute is used up";

  schedule.Restart();
  EXPECT_EQ(schedule.Retries(), 0u);
  EXPECT_EQ(GrantedRetries(schedule), 30u);
}

TEST(RetrySchedule, Spans) {
  struct Case {
    uint32_t interval, span, retries, intervalTaken;
  };
  const Case cases[] = {
      {2000, 60000, 30, 2000},  // the span ends on a retry
      {2000, 59999, 29, 2000},  // the span ends between retries
      {2000, 1999, 0, 2000},    // shorter than one interval: no retry
      {0, 50, 50, 1},           // no interval means 1 ms, not a busy loop
      {0, 0, 0, 1},
  };
  for (const auto& c : cases) {
    CRetrySchedule schedule(c.interval, c.span);
    EXPECT_EQ(schedule.IntervalMs(), c.intervalTaken) << c.interval << "/" << c.span;
    EXPECT_EQ(GrantedRetries(schedule), c.retries) << c.interval << "/" << c.span;
  }
}

}  // namespace
}  // namespace qv
