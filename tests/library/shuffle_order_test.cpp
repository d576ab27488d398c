#include "library/shuffle_order.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace qv {
namespace {

std::vector<int32_t> Walk(CShuffleOrder& order, int32_t count, int32_t draws) {
  std::vector<int32_t> picks;
  for (int32_t i = 0; i < draws; ++i) picks.push_back(order.Next(count));
  return picks;
}

// Every entry once in each round, for lengths around the powers of two the
// permutation is built on, and rounds that differ.
TEST(ShuffleOrder, EveryEntryOncePerRound) {
  for (const int32_t count : {1, 2, 3, 4, 5, 15, 16, 17, 255, 256, 1000, 4097}) {
    CShuffleOrder order(12345);
    std::vector<int32_t> rounds[2];
    for (auto& round : rounds) {
      round = Walk(order, count, count);
      EXPECT_EQ(std::set<int32_t>(round.begin(), round.end()).size(), static_cast<size_t>(count)) << count;
      for (const int32_t index : round) ASSERT_TRUE(index >= 0 && index < count) << count;
    }
    if (count > 4) {
      EXPECT_NE(rounds[0], rounds[1]) << count;
    }
    if (count > 1) {
      EXPECT_NE(rounds[0].back(), rounds[1].front()) << count << ": a round begins with the last one's end";
    }
  }
  EXPECT_EQ(CShuffleOrder(7).Next(0), 0);
}

// The stored seed, position and length go on with the same sequence; a list
// of another length, or one made again, starts a new permutation at once.
TEST(ShuffleOrder, StoredStateGoesOnAndAChangedListStartsAgain) {
  CShuffleOrder order(99);
  const std::vector<int32_t> first = Walk(order, 10, 4);
  CShuffleOrder restored(order.Seed(), order.Position(), order.Count());
  EXPECT_EQ(Walk(restored, 10, 16), Walk(order, 10, 16));

  CShuffleOrder shorter(99);
  Walk(shorter, 10, 4);
  const std::vector<int32_t> round = Walk(shorter, 6, 6);
  EXPECT_EQ(std::set<int32_t>(round.begin(), round.end()).size(), 6u);
  EXPECT_EQ(shorter.Position(), 6u);

  CShuffleOrder rebuilt(99);
  Walk(rebuilt, 10, 4);
  rebuilt.Restart();
  CShuffleOrder untouched(99);
  EXPECT_NE(Walk(rebuilt, 10, 10), Walk(untouched, 10, 10));
}

// Shows that share one order take consecutive entries of it: no two of them
// meet while the round lasts.
TEST(ShuffleOrder, SharedByShowsNeverRepeatsWithinARound) {
  CShuffleOrder order(4242);
  std::vector<int32_t> shown[3];
  for (int32_t slide = 0; slide < 7; ++slide) {
    for (auto& show : shown) show.push_back(order.Next(21));
  }
  std::set<int32_t> all;
  for (const auto& show : shown) all.insert(show.begin(), show.end());
  EXPECT_EQ(all.size(), 21u);
}

}  // namespace
}  // namespace qv
