#include "show/slide_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "../codec/readers/encoders.h"

namespace qv {
namespace {

using test::Bytes;
using test::CTempFolder;
using Clock = std::chrono::steady_clock;

constexpr auto kDeadline = std::chrono::seconds(120);

// Times compare fairly only where our code and the libraries' are optimised
// alike: not in debug or sanitizer builds.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
constexpr bool kTimed = true;
#else
constexpr bool kTimed = false;
#endif

Bytes Pixels(const CShowImage& image) {
  const uint8_t* p = image.GetBits();
  return p ? Bytes(p, p + CShowImage::BufferSize(image.m_nWidth, image.m_nHeight, image.m_nBitsPerPixel)) : Bytes();
}

// A slide worker whose ready announcements are counted.
class CWatchedWorker {
 public:
  CWatchedWorker()
      : worker([this] {
          const std::lock_guard<std::mutex> lock(m_mutex);
          ++m_nReady;
          m_cv.notify_all();
        }) {}
  std::optional<CPreparedSlide> WaitAndTake() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, kDeadline, [this] { return m_nReady > 0; })) return std::nullopt;
    lock.unlock();
    return worker.Take();
  }
  int Ready() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_nReady;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  int m_nReady = 0;

 public:
  CSlideWorker worker;  // last: stops before the counter goes away
};

// For a window of 800 x 600: a picture scaled down while its rows are
// decoded, one enlarged after a whole load, and a big one whose decode takes a
// good while (6000 x 4000; a quarter of that in slow builds, which take long
// enough to make it), written once.
class SlideWorkerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new CTempFolder;
    auto jpeg = [](const std::string& name, int width, int height, uint32_t seed) {
      const test::CJpegLayout layout{.width = width, .height = height};
      return dir->Write(name, test::EncodeJpeg(layout, test::Pattern(uint32_t(width), uint32_t(height), 3, seed)));
    };
    shrunk = jpeg("shrunk.jpg", 1024, 768, 5);
    enlarged = jpeg("enlarged.jpg", 400, 300, 7);
    const int side = kTimed ? 2000 : 1000;
    big = jpeg("big.jpg", 3 * side, 2 * side, 9);
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  static CSlideJob Job(const std::string& path) { return {path, CShowSettings().ScalarsOnly(), 800, 600}; }
  // How long the big picture takes to prepare, on this thread.
  static Clock::duration BigPictureTime() {
    const auto start = Clock::now();
    CShowImage image;
    const auto prep = PrepareSlide(image, big, CShowSettings(), 800, 600);
    EXPECT_EQ(prep.outcome, ESlideOutcome::kReady);
    return Clock::now() - start;
  }

  static CTempFolder* dir;
  static std::string shrunk, enlarged, big;
};
CTempFolder* SlideWorkerTest::dir = nullptr;
std::string SlideWorkerTest::shrunk, SlideWorkerTest::enlarged, SlideWorkerTest::big;

TEST_F(SlideWorkerTest, PreparesWhatTheCallingThreadPrepares) {
  for (const std::string& path : {shrunk, enlarged}) {
    SCOPED_TRACE(path);
    for (const int32_t fit : {0, 1}) {
      CSlideJob job = Job(path);
      job.settings.m_nFitMode = fit;
      job.origin = ESlideOrigin::kUser;
      CShowImage expected;
      const CSlidePreparation prep = PrepareSlide(expected, path, job.settings, job.width, job.height);
      ASSERT_EQ(prep.outcome, ESlideOutcome::kReady);

      CWatchedWorker watched;
      watched.worker.Prepare(job);
      const auto slide = watched.WaitAndTake();
      ASSERT_TRUE(slide);
      EXPECT_EQ(slide->path, path);
      EXPECT_EQ(slide->origin, ESlideOrigin::kUser);
      EXPECT_EQ(slide->prep.outcome, ESlideOutcome::kReady);
      EXPECT_EQ(slide->prep.nLoadResult, prep.nLoadResult);
      ASSERT_TRUE(slide->image);
      EXPECT_EQ(slide->image->m_nWidth, expected.m_nWidth);
      EXPECT_EQ(slide->image->m_nHeight, expected.m_nHeight);
      EXPECT_EQ(slide->image->m_nBitsPerPixel, 24);
      EXPECT_TRUE(Pixels(*slide->image) == Pixels(expected)) << "fit " << fit;
      EXPECT_FALSE(watched.worker.Busy());
    }
  }
}

TEST_F(SlideWorkerTest, AnUndecodableFileGivesNoPicture) {
  const std::string path = dir->Write("broken.jpg", Bytes{0xFF, 0xD8, 0xFF, 0x00});
  CWatchedWorker watched;
  watched.worker.Prepare(Job(path));
  const auto slide = watched.WaitAndTake();
  ASSERT_TRUE(slide);
  EXPECT_EQ(slide->prep.outcome, ESlideOutcome::kUndecodable);
  EXPECT_FALSE(slide->image);
}

TEST_F(SlideWorkerTest, ASecondRequestSupersedesABigDecode) {
  const auto whole = BigPictureTime();
  CWatchedWorker watched;
  watched.worker.Prepare(Job(big));
  // A head start for the big decode. Whether it has begun or still waits,
  // only the second picture comes out. (How soon is measured below on a thread
  // of normal priority: the worker's background priority makes its times
  // depend on whatever else the machine runs.)
  std::this_thread::sleep_for(whole / 4);
  watched.worker.Prepare(Job(enlarged));
  const auto slide = watched.WaitAndTake();
  ASSERT_TRUE(slide);
  EXPECT_EQ(slide->path, enlarged);
  EXPECT_EQ(slide->prep.outcome, ESlideOutcome::kReady);
  EXPECT_EQ(watched.Ready(), 1);
  EXPECT_FALSE(watched.worker.Take());
  EXPECT_FALSE(watched.worker.Busy());
}

TEST_F(SlideWorkerTest, AnUnwantedJobStopsAtTheNextRow) {
  const auto whole = BigPictureTime();
  std::atomic<uint64_t> latest{1};
  const CJobToken token(latest, 1);
  CSlideJob job = Job(big);
  CPreparedSlide slide;
  Clock::time_point end;
  std::thread preparer([&] {
    slide = PrepareSlideJob(job, token);
    end = Clock::now();
  });
  std::this_thread::sleep_for(whole / 4);
  const auto unwanted = Clock::now();
  latest.store(2);
  preparer.join();
  // Stopped among its rows: the codec says so.
  EXPECT_EQ(slide.prep.nLoadResult, IS_ERR_CANCELLED);
  if (kTimed) {
    EXPECT_LT(end - unwanted, (whole - whole / 4) / 2) << "the rest of the decode ran on";
  }
}

}  // namespace
}  // namespace qv
