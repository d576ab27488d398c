#include "ui/folder_path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/directory.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

TEST(FolderPath, ComponentsRefuseEdgesAndReservedCharacters) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"photos", true}, {"a b", true},  {"a.b", true},   {"\xE9t\xE9", true}, {"", false},
      {" a", false},    {"a ", false},  {"\ta", false},  {".a", false},       {"a.", false},
      {"a\"b", false},  {"a*b", false}, {"a/b", false},  {"a:b", false},      {"a<b", false},
      {"a>b", false},   {"a?b", false}, {"a\\b", false}, {"a|b", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidPathComponent(c.text), c.valid) << '"' << c.text << '"';
}

TEST(FolderPath, ChecksTheFormOfTypedPaths) {
  const struct {
    const char* path;
    EFolderCheck expected;
  } cases[] = {
      {"E:\\", kFolderOk},
      {"e:\\photos", kFolderOk},
      {"E:\\photos\\2024 trip", kFolderOk},
      {"\\\\server\\share\\pictures", kFolderOk},
      {"E:\\photos\\", kFolderInvalid},  // a trailing backslash
      {"E:\\a.\\b", kFolderInvalid},
      {"E:\\ a", kFolderInvalid},
      {"E:\\a\\\\b", kFolderInvalid},  // an empty level
      {"E:/a", kFolderInvalid},
      {"E:\\a?b", kFolderInvalid},
      {"photos", kFolderInvalid},  // relative
      {"1:\\a", kFolderInvalid},
      {"", kFolderInvalid},
      {"\\", kFolderInvalid},  // too short to name a folder, read no further
      {"a\\", kFolderInvalid},
      {"\\\\", kFolderInvalid},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckOrCreatePath(c.path, false), c.expected) << c.path;
  // Never reads past the text: a view of the first two bytes of a longer path.
  EXPECT_EQ(CheckOrCreatePath(std::string_view("\\\\server", 2), false), kFolderInvalid);
}

// Creation needs the system's own path form.
TEST(FolderPath, CreatesEveryMissingLevel) {
  if (PathSeparator() != '\\') GTEST_SKIP() << "drive paths are a Windows form";
  test::TempDir dir;
  const std::string deep = dir.Path("new/sub");
  EXPECT_EQ(CheckOrCreatePath(deep, false), kFolderOk);
  EXPECT_FALSE(PathExists(deep));
  EXPECT_EQ(CheckOrCreatePath(deep, true), kFolderOk);
  EXPECT_TRUE(PathExists(dir.Path("new")));
  EXPECT_TRUE(PathExists(deep));
  EXPECT_EQ(CheckOrCreatePath(deep, true), kFolderOk);  // existing levels are fine
  // A level that is a file cannot become a folder.
  dir.Write("file");
  EXPECT_EQ(CheckOrCreatePath(dir.Path("file/sub"), true), kFolderNotCreated);
  EXPECT_EQ(CheckOrCreatePath("Q:\\", true), PathExists("Q:\\") ? kFolderOk : kFolderNotCreated);
}

}  // namespace
}  // namespace qv
