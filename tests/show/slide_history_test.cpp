#include "show/slide_history.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

// One user action and what it must give. 'R' records path/counter; 'B' and
// 'F' step and must return path/counter (nullptr: nothing); 'X' forgets the
// current entry. After every step the current entry must be current.
struct Step {
  char op;
  const char* path;
  int32_t counter;
  const char* current;
};

TEST(SlideHistory, StepsThroughTheShownPictures) {
  const Step steps[] = {
      {'B', nullptr, 0, nullptr},  // nothing shown yet
      {'R', "a", 1, "a"},         {'R', "b", 2, "b"},         {'R', "c", 3, "c"},
      {'B', "b", 2, "b"},         {'B', "a", 1, "a"},         {'B', nullptr, 0, "a"},  // the oldest
      {'F', "b", 2, "b"},         {'F', "c", 3, "c"},         {'F', nullptr, 0, "c"},  // a new pick is due
      {'R', "d", 4, "d"},         {'B', "c", 3, "c"},         {'B', "b", 2, "b"},
      {'R', "e", 5, "e"},  // c and d were stepped over: a b e
      {'F', nullptr, 0, "e"},     {'B', "b", 2, "b"},         {'B', "a", 1, "a"},
      {'X', nullptr, 0, "b"},                          // a failed to load: back where the step came from
      {'B', nullptr, 0, "b"},     {'R', "f", 6, "f"},  // b f
      {'R', "g", 7, "g"},                              // b f g
      {'B', "f", 6, "f"},         {'B', "b", 2, "b"},         {'F', "f", 6, "f"},
      {'X', nullptr, 0, "b"},  // f failed on the way forward
      {'F', "g", 7, "g"},         {'F', nullptr, 0, "g"},     {'X', nullptr, 0, "b"},
      {'X', nullptr, 0, nullptr}, {'F', nullptr, 0, nullptr},
  };
  CSlideHistory history;
  int i = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << i++ << " " << step.op);
    std::optional<CHistoryEntry> got;
    if (step.op == 'R') history.Record(step.path, step.counter);
    if (step.op == 'B') got = history.Back();
    if (step.op == 'F') got = history.Forward();
    if (step.op == 'X') history.Forget();
    if (step.op == 'B' || step.op == 'F') {
      EXPECT_EQ(got.has_value(), step.path != nullptr);
      EXPECT_EQ(got.value_or(CHistoryEntry{}).path, step.path ? step.path : "");
      EXPECT_EQ(got.value_or(CHistoryEntry{}).nCounter, step.counter);
    }
    const CHistoryEntry* current = history.Current();
    EXPECT_EQ(current ? current->path : "", step.current ? step.current : "");
  }
}

TEST(SlideHistory, KeepsTheNewestFifty) {
  CSlideHistory history;
  for (int32_t n = 1; n <= 60; ++n) {
    // Spelled out step by step: GCC 12 for MinGW warns wrongly (-Wrestrict) on "p" + std::to_string(n).
    std::string path = "p";
    path += std::to_string(n);
    history.Record(path, n * 10);
  }
  EXPECT_EQ(history.Size(), CSlideHistory::kLimit);
  std::optional<CHistoryEntry> last;
  int steps = 0;
  while (auto entry = history.Back()) last = entry, ++steps;
  EXPECT_EQ(steps, 49);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->path, "p11");
  EXPECT_EQ(last->nCounter, 110);
}

}  // namespace
}  // namespace qv
