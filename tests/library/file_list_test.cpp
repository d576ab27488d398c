#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "library/show_app.h"
#include "platform/directory.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using test::TempDir;

class RecordingProgress : public CProgressControl {
 public:
  void SetText(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

std::string Sep() { return std::string(1, PathSeparator()); }

// A link named link to the folder target (relative to the link's folder, '/'
// between parts); false where links to folders cannot be made.
bool MakeFolderLink(const std::string& target, const std::string& link) {
  std::string native = target;
  std::replace(native.begin(), native.end(), '/', PathSeparator());
  std::error_code ec;
  std::filesystem::create_directory_symlink(native, link, ec);
  return !ec && std::filesystem::is_directory(link, ec);
}

TEST(IsPictureFile, Extensions) {
  struct Case {
    const char* path;
    bool admitted;
  };
  const Case cases[] = {{"x.jpg", true},   {"x.JPG", true},      {"x.Tga", true},  {"a\\b.psd", true},
                        {"x.png", true},   {"x.bmp", true},      {"x.pcx", true},  {"x.tif", true},
                        {"x.jpeg", false}, {"x.tiff", false},    {"x.gif", false}, {"x.wbmp", false},
                        {"x.wmf", false},  {"x.emf", false},     {"jpg", false},   {".jpg", true},
                        {"", false},       {"x.jpg.txt", false}, {"xjpg", false}};
  for (const auto& c : cases) EXPECT_EQ(CShowApp::IsPictureFile(c.path), c.admitted) << c.path;
}

class FileListTest : public testing::Test {
 protected:
  CShowApp MakeApp() const { return CShowApp(dir.Path("settings.idx"), dir.Path("filelist.idx")); }
  std::vector<std::string> Sorted(std::vector<std::string> v) const {
    std::sort(v.begin(), v.end());
    return v;
  }
  TempDir dir;
};

TEST_F(FileListTest, TrailingSeparatorGivesTheSamePaths) {
  dir.Write("pics/a.jpg");
  CShowApp app = MakeApp();
  app.ScanFolder(dir.Path("pics"), nullptr);
  app.ScanFolder(dir.Path("pics") + Sep(), nullptr);
  ASSERT_EQ(app.m_arrFiles.size(), 2u);
  EXPECT_EQ(app.m_arrFiles[0], dir.Path("pics/a.jpg"));
  EXPECT_EQ(app.m_arrFiles[1], dir.Path("pics/a.jpg"));
}

TEST_F(FileListTest, SubfoldersAppearWhereTheyAreMet) {
  dir.Write("root/a.png");
  dir.Write("root/sub/b.bmp");
  dir.Write("root/sub/deeper/c.tga");
  dir.Write("root/z.txt");
  CShowApp app = MakeApp();
  app.m_bSubfolders = 0;
  app.ScanFolder(dir.Path("root"), nullptr);
  EXPECT_EQ(app.m_arrFiles, std::vector<std::string>{dir.Path("root/a.png")});

  app.m_arrFiles.clear();
  app.m_bSubfolders = 1;
  app.ScanFolder(dir.Path("root"), nullptr);
  EXPECT_EQ(Sorted(app.m_arrFiles),
            Sorted({dir.Path("root/a.png"), dir.Path("root/sub/b.bmp"), dir.Path("root/sub/deeper/c.tga")}));
  // Depth first, pre-order: the subfolder's own pictures stand together, and
  // the deeper folder's right after its parent's entries met before it.
  const auto b = std::find(app.m_arrFiles.begin(), app.m_arrFiles.end(), dir.Path("root/sub/b.bmp"));
  const auto c = std::find(app.m_arrFiles.begin(), app.m_arrFiles.end(), dir.Path("root/sub/deeper/c.tga"));
  EXPECT_EQ(std::abs(static_cast<int>(c - b)), 1);
}

TEST_F(FileListTest, RebuildWritesRecordsAndReadsThemBack) {
  dir.Write("p/1.jpg");
  dir.Write("p/2.png");
  dir.Write("p/3.tif");
  CShowApp app = MakeApp();
  app.m_arrFolders = {dir.Path("p")};
  EXPECT_EQ(app.GetFileCount(), 0);
  EXPECT_EQ(app.GetFileAt(0), "");
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  const std::string index = TempDir::Read(app.IndexPath());
  ASSERT_EQ(index.size(), 1500u);
  EXPECT_EQ(app.GetFileCount(), 3);
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(app.GetFileAt(i), app.m_arrFiles[static_cast<size_t>(i)]);
    const std::string record = index.substr(500 * static_cast<size_t>(i), 500);
    EXPECT_EQ(record, app.m_arrFiles[static_cast<size_t>(i)] +
                          std::string(500 - app.m_arrFiles[static_cast<size_t>(i)].size(), '\0'));
  }
  EXPECT_EQ(app.GetFileAt(3), "");
  EXPECT_EQ(app.GetFileAt(-1), "");
}

TEST_F(FileListTest, SameFolderTwiceListsTwice) {
  dir.Write("p/a.pcx");
  CShowApp app = MakeApp();
  app.m_arrFolders = {dir.Path("p"), dir.Path("p") + Sep(), dir.Path("missing")};
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  EXPECT_EQ(app.GetFileCount(), 2);
}

TEST_F(FileListTest, CountIgnoresPartialRecordAndRecordWithoutNul) {
  std::string bytes = "C:\\a.jpg" + std::string(492, '\0');
  bytes += std::string(500, 'x');  // no NUL: the whole record is the path
  bytes += std::string(250, 'y');
  CShowApp app = MakeApp();
  dir.Write("filelist.idx", bytes);
  EXPECT_EQ(app.GetFileCount(), 2);
  EXPECT_EQ(app.GetFileAt(0), "C:\\a.jpg");
  EXPECT_EQ(app.GetFileAt(1), std::string(500, 'x'));
  EXPECT_EQ(app.GetFileAt(2), "");
}

TEST_F(FileListTest, ProgressEveryTenthFileThenWritingIndex) {
  for (int i = 0; i < 25; ++i) dir.Write("p/f" + std::to_string(i) + ".jpg");
  dir.Write("p/skip.gif");
  CShowApp app = MakeApp();
  app.m_arrFolders = {dir.Path("p")};
  RecordingProgress progress;
  ASSERT_TRUE(app.RebuildFileList(&progress));
  EXPECT_EQ(progress.texts, (std::vector<std::string>{"Files so far: 10", "Files so far: 20", "Writing Index"}));
}

TEST_F(FileListTest, PathsTooLongForARecordAreLeftOut) {
  // Folders of 100-byte names, then file names that end the path at 499 and 500 bytes.
  const std::string base = dir.Path("");
  std::string folder;
  while (base.size() + folder.size() + 101 + 20 < 499) folder += std::string(100, 'f') + "/";
  const size_t last = 499 - base.size() - folder.size() - 1 - 9;
  folder += std::string(last, 'g');
  const std::string fits = folder + "/nnnnn.jpg";
  const std::string tooLong = folder + "/nnnnnn.jpg";
  ASSERT_EQ(dir.Path(fits).size(), 499u);
  ASSERT_EQ(dir.Path(tooLong).size(), 500u);
  std::error_code ec;
  dir.Write(fits);
  dir.Write(tooLong);
  if (!std::filesystem::exists(dir.Path(tooLong), ec) ||
      !EnumerateDirectory(dir.Path(folder) + Sep(), [](const CDirEntry&) {}))
    GTEST_SKIP() << "paths this long cannot be enumerated here";
  CShowApp app = MakeApp();
  app.m_arrFolders = {dir.Str()};
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  ASSERT_EQ(app.GetFileCount(), 1);
  EXPECT_EQ(app.GetFileAt(0), dir.Path(fits));
}

TEST_F(FileListTest, FailedWriteKeepsTheOldIndex) {
  dir.Write("p/a.jpg");
  CShowApp app = MakeApp();
  app.m_arrFolders = {dir.Path("p")};
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  const std::string before = TempDir::Read(app.IndexPath());
  dir.Write("p/b.jpg");
  std::filesystem::create_directories(app.IndexPath() + ".tmp");  // blocks the new file
  EXPECT_FALSE(app.RebuildFileList(nullptr));
  EXPECT_EQ(app.m_arrFiles.size(), 2u);
  EXPECT_EQ(TempDir::Read(app.IndexPath()), before);
  EXPECT_EQ(app.GetFileCount(), 1);
}

// Links back into the tree: every picture once, and at once. The link names
// are long enough that the path-length limit alone would stop a walk round the
// loop after about ten levels, so a walk that follows the loop fails on the
// count instead of running for ever.
TEST_F(FileListTest, LinkLoopsAreEnteredOnce) {
  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> links;  // link, its target
  };
  const Case cases[] = {
      {"two links to itself", {"a/p.jpg"}, {{"a/x", "."}, {"a/y", "."}}},
      {"link to the parent", {"a/p.jpg", "a/b/q.png"}, {{"a/b/up", ".."}}},
      {"links to itself and to the parent",
       {"a/p.jpg", "a/b/q.png", "a/b/c/r.tga"},
       {{"a/b/c/up", "../.."}, {"a/b/self", "."}, {"a/b/c/mid", ".."}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tree;
    const size_t padding = (kFileIndexMaxPath - tree.Path("a/").size()) / 10;
    for (const auto& file : c.files) tree.Write(file);
    for (const auto& [link, target] : c.links) {
      if (!MakeFolderLink(target, tree.Path(link) + std::string(padding, '-')))
        GTEST_SKIP() << "links to folders cannot be made here";
    }
    CShowApp app(tree.Path("settings.idx"), tree.Path("filelist.idx"));
    app.m_arrFolders = {tree.Path("a")};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(app.RebuildFileList(nullptr));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 1.0);
    EXPECT_EQ(app.GetFileCount(), static_cast<int32_t>(c.files.size()));
    if (app.m_arrFiles.size() != c.files.size()) continue;  // a listing of thousands says nothing more
    std::vector<std::string> expected;
    for (const auto& file : c.files) expected.push_back(tree.Path(file));
    EXPECT_EQ(Sorted(app.m_arrFiles), Sorted(expected));
  }
}

TEST_F(FileListTest, LinksToOtherFoldersAreFollowedOnce) {
  dir.Write("a/p.jpg");
  dir.Write("other/o.jpg");
  dir.Write("more/m.bmp");
  if (!MakeFolderLink("../other", dir.Path("a/one")) || !MakeFolderLink("../other", dir.Path("a/two")) ||
      !MakeFolderLink("../more", dir.Path("a/more")))
    GTEST_SKIP() << "links to folders cannot be made here";
  CShowApp app = MakeApp();
  app.ScanFolder(dir.Path("a"), nullptr);
  // other is reached through two links and listed through whichever the
  // enumeration met first.
  const std::vector<std::string> viaOne{dir.Path("a/more/m.bmp"), dir.Path("a/one/o.jpg"), dir.Path("a/p.jpg")};
  const std::vector<std::string> viaTwo{dir.Path("a/more/m.bmp"), dir.Path("a/p.jpg"), dir.Path("a/two/o.jpg")};
  const auto listed = Sorted(app.m_arrFiles);
  EXPECT_TRUE(listed == viaOne || listed == viaTwo) << testing::PrintToString(listed);
}

TEST_F(FileListTest, EmptyFolderEntryScansNothing) {
  CShowApp app = MakeApp();
  app.m_arrFolders = {""};
  ASSERT_TRUE(app.RebuildFileList(nullptr));
  EXPECT_EQ(app.GetFileCount(), 0);
}

}  // namespace
}  // namespace qv
