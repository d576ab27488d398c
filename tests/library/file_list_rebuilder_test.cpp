#include "library/file_list_rebuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "library/file_list_scan.h"
#include "library/show_app.h"
#include "platform/paths.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace qv {
namespace {

using test::TempDir;

constexpr auto kDeadline = std::chrono::seconds(60);

template <class Pred>
bool WaitUntil(Pred done) {
  return test::WaitUntil(done, kDeadline);
}

// A rebuilder that counts the outcomes it announced.
class CWatchedRebuilder {
 public:
  CWatchedRebuilder()
      : rebuilder([this] {
          const std::lock_guard<std::mutex> lock(m_mutex);
          ++m_nFinished;
          m_cv.notify_all();
        }) {}
  // Waits for the next outcome and takes it.
  std::optional<CRebuildOutcome> WaitAndTake() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, kDeadline, [this] { return m_nFinished > m_nSeen; })) return std::nullopt;
    ++m_nSeen;
    lock.unlock();
    return rebuilder.Take();
  }
  int Finished() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_nFinished;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  int m_nFinished = 0;
  int m_nSeen = 0;

 public:
  CFileListRebuilder rebuilder;  // last: stops before the counters go away
};

// What a rebuild on the spot writes for these folders.
std::string RebuiltOnTheSpot(const TempDir& dir, const std::vector<std::string>& folders, bool subfolders) {
  CShowApp app(dir.Path("settings.idx"), dir.Path("spot.idx"));
  app.m_arrFolders = folders;
  app.m_bSubfolders = subfolders ? 1 : 0;
  EXPECT_TRUE(app.RebuildFileList(nullptr));
  return TempDir::Read(dir.Path("spot.idx"));
}

TEST(FileListRebuilder, WritesWhatARebuildOnTheSpotWrites) {
  TempDir dir;
  dir.Write("one/a.jpg");
  dir.Write("one/b.txt");
  dir.Write("one/sub/c.png");
  dir.Write("one/sub/deeper/d.bmp");
  dir.Write("two/e.tga");
  dir.Write("two/sub/f.pcx");
  const std::vector<std::string> folders = {dir.Path("one"), dir.Path("two")};
  for (const bool subfolders : {false, true}) {
    SCOPED_TRACE(subfolders ? "subfolders" : "no subfolders");
    const std::string expected = RebuiltOnTheSpot(dir, folders, subfolders);
    CWatchedRebuilder watched;
    watched.rebuilder.Start({folders, subfolders, dir.Path("filelist.idx")});
    const auto outcome = watched.WaitAndTake();
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->bWritten);
    EXPECT_TRUE(outcome->strError.empty());
    EXPECT_EQ(outcome->nFiles, subfolders ? 5 : 2);
    EXPECT_EQ(static_cast<size_t>(outcome->nFiles) * kFileIndexRecordSize, expected.size());
    EXPECT_EQ(TempDir::Read(dir.Path("filelist.idx")), expected);
  }
}

TEST(FileListRebuilder, AFailedWriteSaysWhy) {
  TempDir dir;
  dir.Write("pics/a.jpg");
  std::filesystem::create_directories(dir.Path("filelist.idx.tmp"));
  CWatchedRebuilder watched;
  watched.rebuilder.Start({{dir.Path("pics")}, true, dir.Path("filelist.idx")});
  const auto outcome = watched.WaitAndTake();
  ASSERT_TRUE(outcome);
  EXPECT_FALSE(outcome->bWritten);
  EXPECT_EQ(outcome->nFiles, 1);
  EXPECT_FALSE(outcome->strError.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.Path("filelist.idx")));
}

// Stops the scan's token at the tenth file (the scan reports every tenth).
class CStopAtTen : public CProgressControl {
 public:
  explicit CStopAtTen(std::atomic<uint64_t>& latest) : m_latest(latest) {}
  void SetText(const std::string&) override { ++m_latest; }

 private:
  std::atomic<uint64_t>& m_latest;
};

TEST(FolderScan, StopsOnceTheJobIsNoLongerWanted) {
  TempDir dir;
  for (int i = 0; i < 30; ++i) dir.Write("pics/sub" + std::to_string(i % 3) + "/" + std::to_string(i) + ".jpg");
  std::atomic<uint64_t> latest{1};
  const CJobToken token(latest, 1);
  CStopAtTen stop(latest);
  std::atomic<int32_t> found{0};
  std::vector<std::string> files;
  CFolderScan scan(files, true, &stop, &found, &token);
  scan.Scan(dir.Path("pics"));
  EXPECT_TRUE(scan.Stopped());
  EXPECT_EQ(files.size(), 10u);
  EXPECT_EQ(found.load(), 10);
}

// A tree large enough that its scan and write take a while: 200 folders of
// 100 empty pictures each.
class LargeTreeTest : public testing::Test {
 protected:
  static constexpr int kFolders = 200;
  static constexpr int kFilesPerFolder = 100;
  static constexpr int kFiles = kFolders * kFilesPerFolder;

  static void SetUpTestSuite() {
    tree = new TempDir;
    for (int f = 0; f < kFolders; ++f) {
      const std::string folder = tree->Path("pics/f" + std::to_string(f));
      std::filesystem::create_directories(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) std::ofstream(folder + PathSeparator() + std::to_string(i) + ".jpg");
    }
  }
  static void TearDownTestSuite() {
    delete tree;
    tree = nullptr;
  }
  CRebuildJob TreeJob() const { return {{tree->Path("pics")}, true, dir.Path("filelist.idx")}; }

  static TempDir* tree;
  TempDir dir;
};
TempDir* LargeTreeTest::tree = nullptr;

TEST_F(LargeTreeTest, FilesFoundCountsWhileItRuns) {
  CWatchedRebuilder watched;
  watched.rebuilder.Start(TreeJob());
  // A count seen while the rebuild still runs.
  ASSERT_TRUE(WaitUntil([&] { return watched.rebuilder.FilesFound() > 0; }));
  const int32_t during = watched.rebuilder.FilesFound();
  const bool stillRunning = watched.rebuilder.Running();
  const auto outcome = watched.WaitAndTake();
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(stillRunning);
  EXPECT_LE(during, kFiles);
  EXPECT_TRUE(outcome->bWritten);
  EXPECT_EQ(outcome->nFiles, kFiles);
  EXPECT_EQ(watched.rebuilder.FilesFound(), kFiles);
  EXPECT_FALSE(watched.rebuilder.Running());
}

TEST_F(LargeTreeTest, CancelLeavesTheOldListAsItWas) {
  const std::string old = dir.Write("filelist.idx", std::string(kFileIndexRecordSize, 'x'));
  CWatchedRebuilder watched;
  watched.rebuilder.Start(TreeJob());
  ASSERT_TRUE(WaitUntil([&] { return watched.rebuilder.FilesFound() > 0; }));
  watched.rebuilder.Cancel();
  ASSERT_TRUE(WaitUntil([&] { return !watched.rebuilder.Running(); }));
  EXPECT_FALSE(watched.rebuilder.Take());
  EXPECT_EQ(watched.Finished(), 0);
  EXPECT_EQ(TempDir::Read(old), std::string(kFileIndexRecordSize, 'x'));
  EXPECT_FALSE(std::filesystem::exists(old + ".tmp"));
}

TEST_F(LargeTreeTest, StartWhileOneRunsRestarts) {
  dir.Write("small/a.jpg");
  dir.Write("small/b.png");
  const std::string expected = RebuiltOnTheSpot(dir, {dir.Path("small")}, true);
  CWatchedRebuilder watched;
  watched.rebuilder.Start(TreeJob());
  ASSERT_TRUE(WaitUntil([&] { return watched.rebuilder.FilesFound() > 0; }));
  watched.rebuilder.Start({{dir.Path("small")}, true, dir.Path("filelist.idx")});
  const auto outcome = watched.WaitAndTake();
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->bWritten);
  EXPECT_EQ(outcome->nFiles, 2);
  EXPECT_EQ(TempDir::Read(dir.Path("filelist.idx")), expected);
  EXPECT_EQ(watched.Finished(), 1) << "the stopped rebuild announces nothing";
  EXPECT_FALSE(watched.rebuilder.Take());
}

}  // namespace
}  // namespace qv
