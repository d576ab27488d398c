// Names of parameterised cases. GoogleTest takes only letters, digits and
// underscores in a case's name, and prints a parameter that has no PrintTo of
// its own as raw bytes; each case table therefore names its cases with
// NameFrom (or TestName) and gives its case type a PrintTo beside it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv::test {

// The text as a case name: ASCII letters and digits kept, every other byte an
// underscore; "_" for no text.
inline std::string TestName(std::string_view text) {
  std::string name(text);
  for (char& ch : name) {
    const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    if (!letter && !(ch >= '0' && ch <= '9')) ch = '_';
  }
  return name.empty() ? std::string("_") : name;
}

// Bytes for a printout: "03 09 FF".
inline std::string HexBytes(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// Names each case after one of its fields, as the last argument of
// INSTANTIATE_TEST_SUITE_P:
//   INSTANTIATE_TEST_SUITE_P(Table, BmpRefusals, ValuesIn(kRefusals), NameFrom<&RefusalCase::label>());
template <auto Field>
struct NameFrom {
  template <class Param>
  std::string operator()(const testing::TestParamInfo<Param>& info) const {
    return TestName(info.param.*Field);
  }
};

}  // namespace qv::test
