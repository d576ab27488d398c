#include "platform/number_field.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(NumberField, ReadsOneUnsignedNumberBetweenBlanks) {
  struct Case {
    std::string text;
    bool ok;
    uint32_t value;
  };
  const Case cases[] = {
      {"20", true, 20},
      {"  \t300\t ", true, 300},
      {"0", true, 0},
      {"007", true, 7},
      {"4294967295", true, 4294967295u},
      {"4294967296", false, 0},  // beyond 32 bits
      {"99999999999999999999", false, 0},
      {"", false, 0},
      {"   ", false, 0},
      {"-5", false, 0},
      {"+5", false, 0},
      {"abc", false, 0},
      {"12a", false, 0},
      {"1 2", false, 0},
      {"1.5", false, 0},
      // Only the first 31 characters count: what stands after them is not read.
      {std::string(30, ' ') + "7" + "garbage", true, 7},
      {std::string(31, ' ') + "7", false, 0},
  };
  for (const auto& c : cases) {
    uint32_t value = 12345;
    EXPECT_EQ(ParseUnsignedField(c.text, value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : 12345u) << '"' << c.text << '"';
  }
}

TEST(NumberField, ShowsTheValueInUnsignedDecimal) {
  EXPECT_EQ(FormatUnsignedField(300), "300");
  EXPECT_EQ(FormatUnsignedField(static_cast<uint32_t>(-1)), "4294967295");
}

}  // namespace
}  // namespace qv
