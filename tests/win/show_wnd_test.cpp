#include "show/show_wnd.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/codec_test_support.h"
#include "gdi_objects.h"
#include "platform/paths.h"
#include "shell_test_support.h"
#include "show/slide_choice.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::CTempFolder;
using test::UniformBmp;

constexpr RECT kArea{0, 0, 320, 240};

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  if (!bitmap || !::GetObjectA(bitmap, sizeof info, &info)) return SIZE{0, 0};
  return SIZE{info.bmWidth, info.bmHeight};
}

int64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  // Wine leaves PrivateUsage at 0; its commit charge is the same figure.
  return static_cast<int64_t>(counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage);
}

// A show over a list written in a given order, sequential from the first
// entry, with a slide period long enough that only the test advances it.
class ShowWndTest : public testing::Test {
 protected:
  ShowWndTest() : app(dir.Path("settings.idx"), dir.Path("filelist.idx")) {
    app.m_bRandom = 0;
    app.m_nCounter = -1;
    app.m_nInterval = 3600;
  }
  std::string Picture(const std::string& name, int32_t width, int32_t height, uint8_t red = 200) {
    return dir.Write(name, UniformBmp(width, height, red, 100, 50));
  }
  std::string Junk(const std::string& name) { return dir.Write(name, test::Bytes{'n', 'o', 't', ' ', 'a'}); }
  void SetList(const std::vector<std::string>& files) {
    app.m_arrFiles = files;
    ASSERT_TRUE(app.WriteFileIndex());
  }
  void SendTick(UINT_PTR id = CShowWnd::kSlideTimer) { ::SendMessageA(show.GetSafeHwnd(), WM_TIMER, id, 0); }

  CTempFolder dir;
  CShowApp app;
  CShowWnd show{app};
};

// Paused, no slide timer runs and a tick already queued is dropped; a start
// (the Settings command) shows the next picture but leaves it paused;
// resuming starts the timer again.
TEST_F(ShowWndTest, PauseStopsTheSlideTimerAndResumeStartsIt) {
  SetList({Picture("a.bmp", 400, 300), Picture("b.bmp", 400, 300, 90), Picture("c.bmp", 400, 300, 30)});
  ASSERT_TRUE(show.Create(kArea, nullptr));
  ASSERT_EQ(show.ShownCount(), 1);
  show.SetPaused(true);
  EXPECT_FALSE(::KillTimer(show.GetSafeHwnd(), CShowWnd::kSlideTimer)) << "the timer is stopped";
  SendTick();
  EXPECT_EQ(show.ShownCount(), 1);
  show.StartShow();
  EXPECT_EQ(show.ShownCount(), 2);
  EXPECT_FALSE(::KillTimer(show.GetSafeHwnd(), CShowWnd::kSlideTimer)) << "still paused after a start";
  show.SetPaused(false);
  SendTick();
  EXPECT_EQ(show.ShownCount(), 3);
  EXPECT_TRUE(::KillTimer(show.GetSafeHwnd(), CShowWnd::kSlideTimer)) << "the timer runs again";
}

TEST_F(ShowWndTest, AdvancesSkipsWhatItCannotShowAndRetriesNarrowPictures) {
  const std::string first = Picture("a.bmp", 400, 300);
  const std::string last = Picture("b.bmp", 480, 240);
  SetList({first, Junk("broken.jpg"), Picture("narrow.bmp", 299, 300), last});
  ASSERT_TRUE(show.Create(kArea, nullptr));
  EXPECT_EQ(::GetPriorityClass(::GetCurrentProcess()), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
  EXPECT_EQ(show.ShownCount(), 1);
  EXPECT_EQ(show.CurrentFile(), first);
  const HBITMAP shown = show.Bitmap();
  EXPECT_EQ(BitmapSize(shown).cx, 320);
  EXPECT_EQ(BitmapSize(shown).cy, 240);

  show.NextPicture();  // undecodable: the picture on show stays
  EXPECT_EQ(show.ShownCount(), 1);
  EXPECT_EQ(show.Bitmap(), shown);

  show.NextPicture();  // too narrow: another pick 50 ms later
  EXPECT_EQ(show.ShownCount(), 1);
  EXPECT_EQ(show.CurrentFile(), first);
  ASSERT_TRUE(test::PumpUntil([&] { return show.ShownCount() == 2; }, 5s));
  EXPECT_EQ(show.CurrentFile(), last);
  // Zoomed to fill: 2:1 in 4:3 keeps the height and overflows the width by
  // more than the tolerance, so it is cropped to the window.
  EXPECT_EQ(BitmapSize(show.Bitmap()).cx, 320);
  EXPECT_EQ(BitmapSize(show.Bitmap()).cy, 240);
}

TEST_F(ShowWndTest, StaysAtTheBottomAndAtItsRectangle) {
  SetList({Picture("a.bmp", 400, 300)});
  ASSERT_TRUE(show.Create(kArea, nullptr));
  const HWND w = show.GetSafeHwnd();
  const HWND other =
      ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 100, 100, 100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  struct Attempt {
    const char* name;
    void (*run)(HWND);
  };
  const Attempt attempts[] = {
      {"SetWindowPos top", [](HWND h) { ::SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }},
      {"SetWindowPos topmost", [](HWND h) { ::SetWindowPos(h, HWND_TOPMOST, 5, 5, 50, 50, 0); }},
      {"MoveWindow", [](HWND h) { ::MoveWindow(h, 40, 30, 100, 80, TRUE); }},
      {"BringWindowToTop", [](HWND h) { ::BringWindowToTop(h); }},
  };
  for (const auto& attempt : attempts) {
    ::SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    attempt.run(w);
    test::PumpPending();
    RECT now{};
    ::GetWindowRect(w, &now);
    EXPECT_TRUE(::EqualRect(&now, &kArea))
        << attempt.name << ": " << now.left << "," << now.top << " " << now.right << "," << now.bottom;
    EXPECT_TRUE(test::IsBelow(w, other)) << attempt.name;
    EXPECT_FALSE(::GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST) << attempt.name;
  }
  ::DestroyWindow(other);
}

TEST_F(ShowWndTest, RebuildsTheListOnceInTheTickOfTheSecondPicture) {
  app.m_bUpdateOnStart = 1;
  app.m_arrFolders = {dir.Path("pictures")};
  std::filesystem::create_directories(dir.Path("pictures"));
  const std::string a = Picture("pictures/a.bmp", 400, 300);
  const std::string b = Picture("pictures/b.bmp", 400, 300);
  SetList({a, b, a, b});
  ASSERT_TRUE(show.Create(kArea, nullptr));  // first picture at once: no tick yet
  EXPECT_EQ(app.GetFileCount(), 4);
  SendTick();  // the second picture: the list is rebuilt from the folder
  EXPECT_EQ(show.ShownCount(), 2);
  EXPECT_EQ(app.GetFileCount(), 2);

  // A tick that shows nothing leaves the count at 2 and rebuilds nothing.
  Picture("pictures/c.bmp", 400, 300);
  app.m_nMinWidth = 100000;
  SendTick();
  EXPECT_EQ(show.ShownCount(), 2);
  app.m_nMinWidth = 300;
  SendTick(CShowWnd::kRetryTimer);
  SendTick();
  EXPECT_EQ(show.ShownCount(), 4);
  EXPECT_EQ(app.GetFileCount(), 2);
}

TEST_F(ShowWndTest, AnEmptyListShowsTheHelpPictureAndDoesNotAdvance) {
  const std::string help = JoinPath(GetProgramFolder(), "help.png");
  ASSERT_TRUE(std::filesystem::exists(help)) << help;
  CShowImage expected;
  ASSERT_EQ(expected.Load(help, kTypeNone, 0), 0);
  SetList({});
  ASSERT_TRUE(show.Create(kArea, nullptr));
  EXPECT_EQ(BitmapSize(show.Bitmap()).cx, expected.m_nWidth);
  EXPECT_EQ(BitmapSize(show.Bitmap()).cy, expected.m_nHeight);
  EXPECT_EQ(show.CurrentFile(), "");
  EXPECT_FALSE(test::PumpUntil([&] { return show.ShownCount() != 0; }, 300ms));
  // Without a timer only the Settings command starts the show; with an
  // empty list a tick only repaints.
  const HBITMAP help_bitmap = show.Bitmap();
  SendTick();
  EXPECT_EQ(show.Bitmap(), help_bitmap);
}

// A thousand advances over good, broken and too narrow files at random: the
// GDI objects and the private memory stay where they were after the first
// slides.
TEST_F(ShowWndTest, SoakKeepsGdiObjectsAndMemoryFlat) {
  app.m_bRandom = 1;
  SeedRandom(7);
  std::vector<std::string> files = {Picture("wide.bmp", 640, 360, 10),
                                    Picture("big.bmp", 1000, 700, 60),
                                    Picture("tall.bmp", 300, 500, 120),
                                    Picture("band.bmp", 800, 200, 180),
                                    Picture("small.bmp", 330, 250, 240),
                                    Junk("broken.jpg"),
                                    dir.Write("cut.bmp", test::Bytes{'B', 'M', 0, 0}),
                                    Picture("narrow.bmp", 100, 100),
                                    Picture("narrow2.bmp", 299, 600)};
  SetList(files);
  ASSERT_TRUE(show.Create(kArea, nullptr));
  constexpr int kWarmUp = 50;
  constexpr int kAdvances = 1000;
  int64_t gdiStart = 0, memStart = 0;
  for (int i = 1; i <= kAdvances; ++i) {
    show.NextPicture();
    test::PumpPending();
    if (i == kWarmUp) {
      gdiStart = test::LiveGdiObjects();
      memStart = PrivateBytes();
    }
  }
  const int64_t gdiEnd = test::LiveGdiObjects();
  const int64_t memEnd = PrivateBytes();
  std::printf("soak: %d advances, %d shown; GDI objects %lld -> %lld; private bytes %lld -> %lld\n", kAdvances,
              show.ShownCount(), static_cast<long long>(gdiStart), static_cast<long long>(gdiEnd),
              static_cast<long long>(memStart), static_cast<long long>(memEnd));
  EXPECT_GT(show.ShownCount(), kAdvances / 3);
  EXPECT_LE(gdiEnd - gdiStart, 2);
  EXPECT_LT(memEnd - memStart, 4 << 20);
}

}  // namespace
}  // namespace qv
