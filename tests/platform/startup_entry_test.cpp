#include "platform/startup_entry.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/paths.h"

namespace qv {
namespace {

TEST(StartupEntry, CommandNamesTheProgram) {
  const std::string program = "C:\\Program Files\\Quadrivue\\Quadrivue.exe";
  EXPECT_EQ(StartupCommand(program), "\"" + program + "\"");
  const struct {
    const char* command;
    bool names;
  } kCases[] = {
      {"\"C:\\Program Files\\Quadrivue\\Quadrivue.exe\"", true},
      {"C:\\Program Files\\Quadrivue\\Quadrivue.exe", true},
      {"  \"c:\\program files\\QUADRIVUE\\quadrivue.EXE\"\t", true},
      {"\"C:\\Old\\Quadrivue.exe\"", false},
      {"\"C:\\Program Files\\Quadrivue\\Quadrivue.exe\" /pause", false},
      {"\"C:\\Program Files\\Quadrivue\\Quadrivue.exe", false},
      {"C:\\Program Files\\Quadrivue\\Quadrivue.exe\"", false},
      {"\"\"", false},
      {"", false},
      {"   ", false},
  };
  for (const auto& c : kCases) EXPECT_EQ(StartupCommandNames(c.command, program), c.names) << c.command;
  EXPECT_FALSE(StartupCommandNames("\"\"", ""));
}

#ifdef _WIN32
// A key of the test's own, removed with everything in it at the end.
class StartupEntryRegistry : public ::testing::Test {
 protected:
  static constexpr const char* kKey = "Software\\Quadrivue test\\Run";
  void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quadrivue test"); }
};

TEST_F(StartupEntryRegistry, WriteReadRewriteRemove) {
  ASSERT_TRUE(CStartupEntry::Supported());
  const CStartupEntry entry("Quadrivue", kKey);
  std::string reason = "stale";
  EXPECT_EQ(entry.Read(&reason), std::nullopt);
  EXPECT_EQ(reason, "");
  EXPECT_TRUE(entry.Remove(&reason)) << reason;

  ASSERT_TRUE(entry.Write("\"C:\\Old folder\\Quadrivue.exe\"", &reason)) << reason;
  const std::string command = StartupCommand(GetModulePath());
  ASSERT_TRUE(entry.Write(command, &reason)) << reason;
  EXPECT_EQ(entry.Read(), command);
  EXPECT_TRUE(StartupCommandNames(*entry.Read(), GetModulePath()));
  EXPECT_EQ(CStartupEntry("Other", kKey).Read(), std::nullopt);

  EXPECT_TRUE(entry.Remove(&reason)) << reason;
  EXPECT_EQ(entry.Read(), std::nullopt);
  EXPECT_TRUE(entry.Remove(&reason)) << reason;
}

// A value of another type is there all the same: it reads as an empty command.
TEST_F(StartupEntryRegistry, AValueOfAnotherTypeReadsEmpty) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD one = 1;
  ::RegSetValueExA(key, "Quadrivue", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  // Text stored without its final null keeps all of its characters.
  ::RegSetValueExA(key, "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("\"C:\\Q.exe\""), 10);
  ::RegCloseKey(key);
  EXPECT_EQ(CStartupEntry("Quadrivue", kKey).Read(), "");
  EXPECT_EQ(CStartupEntry("Unterminated", kKey).Read(), "\"C:\\Q.exe\"");
}
#else
TEST(StartupEntry, NotSupportedHere) {
  const CStartupEntry entry;
  std::string reason;
  EXPECT_FALSE(CStartupEntry::Supported());
  EXPECT_EQ(entry.Read(&reason), std::nullopt);
  EXPECT_FALSE(entry.Write("\"/usr/bin/quadrivue\"", &reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(entry.Remove());
}
#endif

}  // namespace
}  // namespace qv
