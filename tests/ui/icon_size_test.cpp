#include "ui/icon_size.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(IconSize, SmallIconFollowsTheDpi) {
  struct Case {
    uint32_t dpi;
    int size;
  };
  const Case cases[] = {
      {96, 16},  {120, 20}, {144, 24},   {168, 28},
      {192, 32}, {240, 40}, {288, 48},   {110, 18},           // 18.33: rounded down
      {102, 17},                                              // 17.0
      {105, 18},                                              // 17.5: rounded up
      {0, 16},                                                // unknown: the default
      {72, 12},  {1, 1},    {1536, 256}, {4000000000u, 256},  // never 0, never past the largest picture
  };
  for (const auto& c : cases) EXPECT_EQ(SmallIconSizeForDpi(c.dpi), c.size) << c.dpi << " DPI";
}

}  // namespace
}  // namespace qv
