#include "ui/link_open.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(LinkOpen, PutsTheAddressWhereTheCommandHasItsPlaceholder) {
  const std::string address = "https://example.org/";
  const struct {
    const char* command;
    const char* expected;
  } cases[] = {
      {"\"C:\\browser.exe\" \"%1\" -flag", "\"C:\\browser.exe\"  https://example.org/"},
      {"C:\\browser.exe %1", "C:\\browser.exe  https://example.org/"},
      {"C:\\browser.exe -url %1 \"%1\"", "C:\\browser.exe -url %1  https://example.org/"},
      {"C:\\browser.exe", "C:\\browser.exe https://example.org/"},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildOpenCommand(c.command, address).value_or("none"), c.expected);
  // The line must fit its 520 characters, the blank and the address included.
  EXPECT_TRUE(BuildOpenCommand("b", std::string(kOpenCommandChars - 3, 'x')).has_value());
  EXPECT_FALSE(BuildOpenCommand("b", std::string(kOpenCommandChars - 2, 'x')).has_value());
}

TEST(LinkOpen, NamesEveryFailure) {
  const struct {
    int32_t code;
    const char* text;
  } cases[] = {
      {0, "The operating system is out\nof memory or resources."},
      {26, "A sharing violation occurred. "},
      {31, "There is no application associated\nwith the given filename extension."},
      {32, "The specified dynamic-link library was not found."},
      {4, "Unknown Error (4) occurred."},
      {-7, "Unknown Error (-7) occurred."},
  };
  for (const auto& c : cases) EXPECT_EQ(OpenErrorText(c.code), std::string("Can't open link:\n\n") + c.text);
}

}  // namespace
}  // namespace qv

#include "ui/about_info.h"

namespace qv {
namespace {

// The home links lead to the shipped guide only while the home page is a
// placeholder and the guide is there.
TEST(HomeLink, TheGuideStandsInForAPlaceholderHomePage) {
  const struct {
    const char* address;
    bool guideThere;
    const char* expected;
  } cases[] = {
      {"https://quadrivue.example/", true, "C:\\Q\\guide.html"},
      {"https://quadrivue.example:8080/x", true, "C:\\Q\\guide.html"},
      {"https://quadrivue.example/", false, "https://quadrivue.example/"},
      {"https://quadrivue.org/", true, "https://quadrivue.org/"},
      {"https://example.org/", true, "https://example.org/"},
      {"https://quadrivue.example.org/", true, "https://quadrivue.example.org/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(HomeLinkTarget(c.address, "C:\\Q\\guide.html", c.guideThere), c.expected) << c.address;
  EXPECT_TRUE(IsPlaceholderAddress(kHomePageAddress)) << "no site yet: the guide stands in";
}

}  // namespace
}  // namespace qv
