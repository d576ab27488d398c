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
  // Text of an older build in the legacy code page comes out in UTF-8 where
  // this process runs with UTF-8, and stays as stored where it runs with the
  // legacy code page itself (whichever the system gives the test).
  if (SystemLegacyCodePage() == 1252) {
    EXPECT_EQ(StoredTextToUtf8("caf\xE9"), ::GetACP() == CP_UTF8 ? "caf\xC3\xA9" : "caf\xE9") << "ACP " << ::GetACP();
  }
  if (::GetACP() != CP_UTF8) {
    EXPECT_EQ(StoredTextToUtf8("caf\xE9 \x80"), "caf\xE9 \x80");
  }
#endif
  EXPECT_EQ(StoredTextToUtf8("\xCE\x95 x"), "\xCE\x95 x");
}

#ifdef _WIN32
TEST(Text, StoredTextForTheProcessCodePage) {
  const struct {
    const char* what;
    std::string text;
    uint32_t process, legacy;
    std::string expected;
  } kCases[] = {
      // A process in the legacy code page opens names exactly as stored.
      {"legacy name, legacy process", "caf\xE9", 1252, 1252, "caf\xE9"},
      {"UTF-8 name, legacy process", "caf\xC3\xA9", 1252, 1252, "caf\xC3\xA9"},
      {"Shift JIS name, Japanese process", "\x8E\xCA\x90\x5E", 932, 932, "\x8E\xCA\x90\x5E"},
      // A UTF-8 process keeps UTF-8 and converts what an older build wrote.
      {"legacy name, UTF-8 process", "caf\xE9", 65001, 1252, "caf\xC3\xA9"},
      {"UTF-8 name, UTF-8 process", "caf\xC3\xA9", 65001, 1252, "caf\xC3\xA9"},
      {"ASCII", "C:\\Pictures\\a.jpg", 65001, 1252, "C:\\Pictures\\a.jpg"},
      {"empty", "", 65001, 1252, ""},
      {"Greek legacy page", "\xC5\xEB", 65001, 1253, "\xCE\x95\xCE\xBB"},
      {"Shift JIS legacy page", "\x8E\xCA\x90\x5E", 65001, 932, "\xE5\x86\x99\xE7\x9C\x9F"},
      // No legacy code page to convert from.
      {"legacy page unknown", "caf\xE9", 65001, 0, "caf\xE9"},
      {"legacy page UTF-8", "caf\xE9", 65001, 65001, "caf\xE9"},
  };
  for (const auto& c : kCases) EXPECT_EQ(StoredTextForCodePage(c.text, c.process, c.legacy), c.expected) << c.what;
}
#endif

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
