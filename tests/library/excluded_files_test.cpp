#include "library/excluded_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <utility>
#include <vector>

#include "library/file_list_rebuilder.h"
#include "library/show_app.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using test::TempDir;

TEST(ExcludedFiles, ReadsTheFile) {
  struct Case {
    const char* name;
    const char* bytes;  // nullptr: no file
    bool ignoreCase;
    std::vector<std::pair<std::string, bool>> queries;
    size_t count;
  };
  const Case cases[] = {
      {"comments and blank lines, CRLF, no last line end",
       "# edit me\r\n\r\n/p/a.jpg\r\n \t\n#/p/b.jpg\n/p/c.jpg",
       false,
       {{"/p/a.jpg", true}, {"/p/c.jpg", true}, {"/p/b.jpg", false}, {"#/p/b.jpg", false}, {"/p/a.jpg\r", false}},
       2},
      {"a path listed twice", "/p/a.jpg\n/p/a.jpg\r\n", false, {{"/p/a.jpg", true}}, 1},
      {"an editor's byte-order mark", "\xEF\xBB\xBF/p/a.jpg\n", false, {{"/p/a.jpg", true}}, 1},
      {"legacy and UTF-8 bytes",
       "/p/\xE9t\xE9.jpg\n/p/\xC3\xA9.jpg\n",
       false,
       {{StoredTextToUtf8("/p/\xE9t\xE9.jpg"), true}, {"/p/\xC3\xA9.jpg", true}},
       2},
      {"case kept", "C:\\Pics\\A.JPG\n", false, {{"C:\\Pics\\A.JPG", true}, {"c:\\pics\\a.jpg", false}}, 1},
      {"ASCII case ignored",
       "C:\\Pics\\A\xC3\x89.JPG\nc:\\pics\\a\xC3\x89.jpg\n",
       true,
       {{"c:\\PICS\\a\xC3\x89.jpg", true}, {"c:\\pics\\a\xC3\xA9.jpg", false}},
       1},
      {"no file", nullptr, true, {{"/p/a.jpg", false}, {"", false}}, 0},
      {"only comments", "# edit me\n", false, {{"# edit me", false}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.Path("excluded.txt");
    if (c.bytes) dir.Write("excluded.txt", c.bytes);
    CExcludedFiles excluded(c.ignoreCase);
    EXPECT_EQ(excluded.Load(path), c.bytes != nullptr);
    EXPECT_EQ(excluded.Count(), c.count);
    for (const auto& [query, found] : c.queries) EXPECT_EQ(excluded.Contains(query), found) << query;
  }
}

TEST(ExcludedFiles, UnreadableFileExcludesNothing) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path("excluded.txt"));
  CExcludedFiles excluded;
  EXPECT_FALSE(excluded.Load(dir.Path("excluded.txt")));
  EXPECT_TRUE(excluded.Empty());
  std::string error;
  EXPECT_FALSE(excluded.Add("/p/a.jpg", &error));
  EXPECT_FALSE(error.empty());
}

TEST(ExcludedFiles, AddKeepsEveryLine) {
  const std::string header = std::string(CExcludedFiles::kHeader) + "\r\n";
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file
    const char* path;
    bool added;
    std::string after;
    bool blocked = false;  // the new file cannot be made
  };
  const Case cases[] = {
      {"a new file", nullptr, "/p/a.jpg", true, header + "/p/a.jpg\r\n"},
      {"an emptied file", "", "/p/a.jpg", true, header + "/p/a.jpg\r\n"},
      {"LF, a gone file, no last line end", "# mine\n/gone/x.jpg\n\n/p/b.jpg", "/p/a.jpg", true,
       "# mine\n/gone/x.jpg\n\n/p/b.jpg\n/p/a.jpg\n"},
      {"CRLF", "# mine\r\n/p/b.jpg\r\n", "/p/a.jpg", true, "# mine\r\n/p/b.jpg\r\n/p/a.jpg\r\n"},
      {"listed already", "# mine\n/p/a.jpg\n", "/p/a.jpg", true, "# mine\n/p/a.jpg\n"},
      {"a line break in the path", "x\n", "/p/a\n.jpg", false, "x\n"},
      {"read back as a comment", "x\n", "#a.jpg", false, "x\n"},
      {"failed write", "# mine\n/p/b.jpg\n", "/p/a.jpg", false, "# mine\n/p/b.jpg\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.Path("excluded.txt");
    CExcludedFiles excluded(false);
    excluded.Load(path);
    // Written after loading: Add goes by the file as it is now.
    if (c.before) dir.Write("excluded.txt", c.before);
    if (c.blocked) std::filesystem::create_directories(path + ".tmp");
    std::string error;
    EXPECT_EQ(excluded.Add(c.path, &error), c.added);
    EXPECT_EQ(error.empty(), c.added);
    EXPECT_EQ(excluded.Contains(c.path), c.added);
    EXPECT_EQ(TempDir::Read(path), c.after);
  }
}

// Every kind of rebuild leaves the excluded pictures out, and with nothing
// excluded writes what it always wrote.
TEST(ExcludedFiles, RebuildsLeaveThemOut) {
  TempDir dir;
  dir.Write("pics/a.jpg");
  dir.Write("pics/b.jpg");
  dir.Write("pics/sub/c.png");
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  EXPECT_EQ(app.ExcludedPath(), dir.Path("excluded.txt"));
  app.m_arrFolders = {dir.Path("pics")};
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  const std::string before = TempDir::Read(app.IndexPath());

  dir.Write("excluded.txt", dir.Path("pics/a.jpg") + "\n" + dir.Path("gone/x.jpg") + "\n");
  app.LoadSettings();
  ASSERT_TRUE(app.ExcludePicture(dir.Path("pics/sub/c.png")));
  EXPECT_TRUE(app.IsExcluded(dir.Path("pics/a.jpg")));
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  EXPECT_EQ(app.m_arrFiles, std::vector<std::string>{dir.Path("pics/b.jpg")});

  CRebuildJob job = app.RebuildJob();
  job.indexPath = dir.Path("worker.idx");
  const std::atomic<uint64_t> latest{1};
  const CJobToken token(latest, 1);
  CRebuildProgress progress;
  EXPECT_EQ(RunRebuild(job, token, progress).nFiles, 1);
  EXPECT_EQ(TempDir::Read(job.indexPath), TempDir::Read(app.IndexPath()));

  std::filesystem::remove(app.ExcludedPath());
  app.LoadSettings();
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  EXPECT_EQ(TempDir::Read(app.IndexPath()), before);
}

}  // namespace
}  // namespace qv
