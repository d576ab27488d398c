#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <set>

#include "platform/directory.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using test::TempDir;

TEST(Paths, JoinAddsOneSeparator) {
  const std::string s(1, PathSeparator());
  EXPECT_EQ(JoinPath("a", "b"), "a" + s + "b");
  EXPECT_EQ(JoinPath("a" + s, "b"), "a" + s + "b");
  EXPECT_EQ(JoinPath("", "b"), "b");
}

TEST(Paths, ProgramFolderAndName) {
  const std::string module = GetModulePath();
  const std::string folder = GetProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), PathSeparator());
  EXPECT_EQ(module.compare(0, folder.size(), folder), 0);
  EXPECT_EQ(GetProgramName(), "platform_test");
}

TEST(Directory, ListsEveryEntryWithItsKind) {
  TempDir dir;
  dir.Write("a.jpg");
  dir.Write(".hidden");
  dir.Write("sub/inner.png");
  std::set<std::string> files, dirs;
  ASSERT_TRUE(EnumerateDirectory(dir.Str() + PathSeparator(), [&](const CDirEntry& e) {
    (e.isDirectory ? dirs : files).insert(std::string(e.name));
  }));
  EXPECT_EQ(files, (std::set<std::string>{"a.jpg", ".hidden"}));
  EXPECT_TRUE(dirs.count("sub"));
  EXPECT_FALSE(EnumerateDirectory(dir.Path("missing") + PathSeparator(), [](const CDirEntry&) {}));
}

TEST(Directory, FolderIdentityDoesNotDependOnThePath) {
  TempDir dir;
  dir.Write("a/f.txt");
  dir.Write("b/f.txt");
  const auto a = QueryFolderIdentity(dir.Path("a"));
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(QueryFolderIdentity(dir.Path("a") + PathSeparator()), a);
  EXPECT_EQ(QueryFolderIdentity(dir.Path("b/../a")), a);
  EXPECT_NE(QueryFolderIdentity(dir.Path("b")), a);
  EXPECT_NE(QueryFolderIdentity(dir.Str()), a);
  EXPECT_FALSE(QueryFolderIdentity(dir.Path("missing")).has_value());

  std::error_code ec;
  std::filesystem::create_directory_symlink(dir.Path("a"), dir.Path("link"), ec);
  if (ec) GTEST_SKIP() << "links to folders cannot be made here";
  EXPECT_EQ(QueryFolderIdentity(dir.Path("link") + PathSeparator()), a);
}

TEST(Text, LowerCaseAndWideConversion) {
  EXPECT_EQ(LowerCaseAnsi("C:\\Pics\\X.JPG"), "c:\\pics\\x.jpg");
  EXPECT_EQ(WideToAnsi(u"Folder 1"), "Folder 1");
  EXPECT_EQ(WideToAnsi(u""), "");
}

TEST(Text, Utf8Detection) {
  const struct {
    const char* what;
    std::string text;
    bool utf8;
  } kCases[] = {
      {"ASCII", "C:\\Pictures\\a.jpg", true},
      {"Greek", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1", true},
      {"Japanese", "\xE5\x86\x99\xE7\x9C\x9F", true},
      {"outside the basic plane", "\xF0\x9F\x93\xB7", true},
      {"legacy e acute", "caf\xE9", false},
      {"lone continuation", "\x80", false},
      {"cut short", "\xE5\x86", false},
      {"overlong", "\xC0\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"past the last character", "\xF4\x90\x80\x80", false},
  };
  for (const auto& c : kCases) EXPECT_EQ(IsUtf8(c.text), c.utf8) << c.what;
#ifdef _WIN32
  // Text of an older build in the legacy code page comes out in UTF-8.
  char number[8] = {};
  ::GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, number, sizeof number);
  if (std::string(number) == "1252") {
    EXPECT_EQ(StoredTextToUtf8("caf\xE9"), "caf\xC3\xA9");
  }
#endif
  EXPECT_EQ(StoredTextToUtf8("\xCE\x95 x"), "\xCE\x95 x");
}

TEST(AtomicFileWriter, CommitReplacesAndAbandonKeeps) {
  TempDir dir;
  const std::string path = dir.Write("f.bin", "old");
  {
    CAtomicFileWriter writer(path);
    ASSERT_TRUE(writer.Write("new!", 4));
    // Until committed, the old file is what readers see.
    EXPECT_EQ(TempDir::Read(path), "old");
  }
  EXPECT_EQ(TempDir::Read(path), "old");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  {
    CAtomicFileWriter writer(path);
    ASSERT_TRUE(writer.Write("new!", 4));
    ASSERT_TRUE(writer.Commit());
  }
  EXPECT_EQ(TempDir::Read(path), "new!");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  uint64_t size = 0;
  ASSERT_TRUE(QueryFileSize(path, size));
  EXPECT_EQ(size, 4u);
  EXPECT_FALSE(QueryFileSize(dir.Path("none"), size));
  EXPECT_FALSE(QueryFileSize(dir.Str(), size));
}

}  // namespace
}  // namespace qv
