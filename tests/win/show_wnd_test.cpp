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

// The frame's side of the show: what it was told.
class CRecordingOwner : public CShowWnd::IOwner {
 public:
  int m_nSettled = 0;
  int m_nUpdatesDue = 0;
  void OnSlideSettled(CShowWnd&) override { ++m_nSettled; }
  void OnStartUpdateDue(CShowWnd&) override { ++m_nUpdatesDue; }
};

// A show over a list written in a given order, sequential from the first
// entry, with a slide period long enough that only the test advances it.
class ShowWndTest : public testing::Test {
 protected:
  ShowWndTest() : app(dir.Path("settings.idx"), dir.Path("filelist.idx")) {
    app.m_bRandom = 0;
    app.m_nCounter = -1;
    app.m_nInterval = 3600;
    show.SetOwner(&owner);
  }
  std::string Picture(const std::string& name, int32_t width, int32_t height, uint8_t red = 200) {
    return dir.Write(name, UniformBmp(width, height, red, 100, 50));
  }
  std::string Junk(const std::string& name) { return dir.Write(name, test::Bytes{'n', 'o', 't', ' ', 'a'}); }
  void SetList(const std::vector<std::string>& files) {
    app.m_arrFiles = files;
    ASSERT_TRUE(app.WriteFileIndex());
  }
  // Pumps until the requests made so far are on show or given up (a too
  // narrow picture's retry included): the owner hears of each one.
  void Settle() {
    ASSERT_TRUE(test::PumpUntil([&] { return owner.m_nSettled >= m_nAsked && !show.IsPreparing(); }, 20s));
  }
  void SendTick(UINT_PTR id = CShowWnd::kSlideTimer) {
    const bool idle = !show.IsPreparing();
    ::SendMessageA(show.GetSafeHwnd(), WM_TIMER, id, 0);
    if (idle && show.IsPreparing()) ++m_nAsked;
    Settle();
  }
  void Next() {
    if (show.NextPicture()) ++m_nAsked;
    Settle();
  }
  bool Start() {
    if (!show.Create(kArea, nullptr)) return false;
    if (show.IsPreparing()) ++m_nAsked;
    Settle();
    return true;
  }

  int m_nAsked = 0;
  CTempFolder dir;
  CShowApp app;
  CRecordingOwner owner;
  CShowWnd show{app};
};

// Paused, no slide timer runs and a tick already queued is dropped; a start
// (the Settings command) shows the next picture but leaves it paused;
// resuming starts the timer again.
TEST_F(ShowWndTest, PauseStopsTheSlideTimerAndResumeStartsIt) {
  SetList({Picture("a.bmp", 400, 300), Picture("b.bmp", 400, 300, 90), Picture("c.bmp", 400, 300, 30)});
  ASSERT_TRUE(Start());
  ASSERT_EQ(show.ShownCount(), 1);
  show.SetPaused(true);
  EXPECT_FALSE(::KillTimer(show.GetSafeHwnd(), CShowWnd::kSlideTimer)) << "the timer is stopped";
  SendTick();
  EXPECT_EQ(show.ShownCount(), 1);
  show.StartShow();
  ++m_nAsked;
  Settle();
  EXPECT_EQ(show.ShownCount(), 2);
  EXPECT_FALSE(::KillTimer(show.GetSafeHwnd(), CShowWnd::kSlideTimer)) << "still paused after a start";
  show.SetPaused(false);
  SendTick();
  EXPECT_EQ(show.ShownCount(), 3);
  EXPECT_TRUE(::KillTimer(show.GetSafeHwnd(), CShowWnd::kSlideTimer)) << "the timer runs again";
}

// Resting, nothing is picked and a queued tick is dropped; the rest and the
// user's pause are independent, and only the end of both brings a fresh
// picture and the timer.
TEST_F(ShowWndTest, RestStopsTheShowAndItsEndBringsAFreshPicture) {
  SetList({Picture("a.bmp", 400, 300), Picture("b.bmp", 400, 300, 90), Picture("c.bmp", 400, 300, 30)});
  ASSERT_TRUE(Start());
  const HWND w = show.GetSafeHwnd();
  show.SetResting(true);
  EXPECT_FALSE(::KillTimer(w, CShowWnd::kSlideTimer)) << "the timer is stopped";
  SendTick();
  SendTick(CShowWnd::kRetryTimer);
  EXPECT_EQ(show.ShownCount(), 1);
  show.SetPaused(true);
  show.SetResting(false);
  EXPECT_FALSE(show.IsPreparing()) << "still paused: no fresh picture";
  EXPECT_FALSE(::KillTimer(w, CShowWnd::kSlideTimer));
  show.SetResting(true);
  show.SetPaused(false);
  EXPECT_FALSE(::KillTimer(w, CShowWnd::kSlideTimer)) << "still resting";
  show.SetResting(false);
  ++m_nAsked;
  Settle();
  EXPECT_EQ(show.ShownCount(), 2);
  EXPECT_TRUE(::KillTimer(w, CShowWnd::kSlideTimer)) << "the timer runs again";
}

// With the option on, a new picture fades in over the old one: a frame
// between is a blend of the two and the last is the plain picture. The
// first picture, the option off and a rest make the change instant.
TEST_F(ShowWndTest, FadesInOverTheOldPictureUnlessInstantIsDue) {
  SetList({Picture("a.bmp", 320, 240, 240), Picture("b.bmp", 320, 240, 40)});
  app.m_bFade = 1;
  ASSERT_TRUE(Start());
  EXPECT_FALSE(show.IsFading()) << "the first picture";
  const auto red = [&] {
    ::UpdateWindow(show.GetSafeHwnd());
    const win::CWindowDC dc(show.GetSafeHwnd());
    return GetRValue(::GetPixel(dc.Get(), 160, 120));
  };
  const int before = red();
  Next();
  ASSERT_TRUE(show.IsFading());
  ::Sleep(150);
  ::SendMessageA(show.GetSafeHwnd(), WM_TIMER, CShowWnd::kFadeTimer, 0);
  const int between = red();
  EXPECT_TRUE(between < before && between > 40) << before << " " << between;
  EXPECT_TRUE(test::PumpUntil([&] { return !show.IsFading(); }, 5s));
  EXPECT_EQ(red(), 40);
  Next();
  ASSERT_TRUE(show.IsFading());
  show.SetResting(true);
  EXPECT_FALSE(show.IsFading()) << "a rest ends the fade";
  EXPECT_EQ(red(), 240);
  if (show.NextPicture()) ++m_nAsked;
  Settle();
  EXPECT_FALSE(show.IsFading()) << "resting";
  show.SetPaused(true);
  show.SetResting(false);
  app.m_bFade = 0;
  Next();
  EXPECT_FALSE(show.IsFading()) << "the option off";
}

TEST_F(ShowWndTest, AdvancesSkipsWhatItCannotShowAndRetriesNarrowPictures) {
  const std::string first = Picture("a.bmp", 400, 300);
  const std::string last = Picture("b.bmp", 480, 240);
  SetList({first, Junk("broken.jpg"), Picture("narrow.bmp", 299, 300), last});
  ASSERT_TRUE(Start());
  // The window thread keeps the priority of the user's other work.
  EXPECT_EQ(::GetPriorityClass(::GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  EXPECT_EQ(show.ShownCount(), 1);
  EXPECT_EQ(show.CurrentFile(), first);
  const HBITMAP shown = show.Bitmap();
  EXPECT_EQ(BitmapSize(shown).cx, 320);
  EXPECT_EQ(BitmapSize(shown).cy, 240);

  Next();  // undecodable: the picture on show stays
  EXPECT_EQ(show.ShownCount(), 1);
  EXPECT_EQ(show.Bitmap(), shown);

  Next();  // too narrow: another pick 50 ms later
  EXPECT_EQ(show.ShownCount(), 2);
  EXPECT_EQ(show.CurrentFile(), last);
  // Zoomed to fill: 2:1 in 4:3 keeps the height and overflows the width by
  // more than the tolerance, so it is cropped to the window.
  EXPECT_EQ(BitmapSize(show.Bitmap()).cx, 320);
  EXPECT_EQ(BitmapSize(show.Bitmap()).cy, 240);
  // Every request ended once: the first picture, the broken file, the
  // narrow one together with its retry.
  EXPECT_EQ(owner.m_nSettled, 3);
}

// The window thread only asks: a picture that takes long to prepare leaves
// it free at once; a request made meanwhile supersedes it, and only the
// newer picture goes on show.
TEST_F(ShowWndTest, PreparesOnItsWorkerAndANewerRequestSupersedes) {
  const std::string big = Picture("big.bmp", 6000, 4000, 10);
  const std::string small = Picture("small.bmp", 640, 480, 250);
  SetList({big, small});
  app.m_nCounter = 0;  // the first start shows small.bmp
  ASSERT_TRUE(Start());
  ASSERT_EQ(show.CurrentFile(), small);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(show.NextPicture());  // big.bmp
  const auto asked = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(asked, 100ms) << "the request waited for the picture";
  EXPECT_TRUE(show.IsPreparing());
  EXPECT_TRUE(show.NextPicture());  // small.bmp again, in place of big.bmp
  ++m_nAsked;
  Settle();
  EXPECT_EQ(show.ShownCount(), 2);
  EXPECT_EQ(show.CurrentFile(), small);
}

TEST_F(ShowWndTest, StaysAtTheBottomAndAtItsRectangle) {
  SetList({Picture("a.bmp", 400, 300)});
  // Owned by a frame, as in the application: an owned window always stays
  // above its owner, which must not set off a re-placement loop.
  const HWND frame = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(show.Create(kArea, frame));
  ++m_nAsked;
  Settle();
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
  show.DestroyWindow();
  ::DestroyWindow(frame);
}

// "Update File List on Application start": the owner hears it once, when the
// second picture came from the slide timer, and never again in the run.
TEST_F(ShowWndTest, TellsTheOwnerOnceWhenTheSecondPictureCameFromTheTimer) {
  app.m_bUpdateOnStart = 1;
  const std::string a = Picture("a.bmp", 400, 300);
  SetList({a, a, a, a, a});
  ASSERT_TRUE(Start());  // first picture at once: no tick yet
  EXPECT_EQ(owner.m_nUpdatesDue, 0);
  SendTick();
  EXPECT_EQ(show.ShownCount(), 2);
  EXPECT_EQ(owner.m_nUpdatesDue, 1);
  // A tick that shows nothing leaves the count at 2 and asks nothing more.
  app.m_nMinWidth = 100000;
  if (show.NextPicture(ESlideOrigin::kTimer)) ++m_nAsked;
  test::PumpUntil([&] { return !show.IsPreparing(); }, 10s);
  app.m_nMinWidth = 300;  // the retry shows the next one: the third
  Settle();
  SendTick();
  EXPECT_EQ(show.ShownCount(), 4);
  EXPECT_EQ(owner.m_nUpdatesDue, 1);
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

// The path overlay: an '&' is drawn as it is (not as an underline), a path
// too long for the band keeps its ends, the band stays inside the window;
// and a lost mouse capture ends the overlay.
TEST_F(ShowWndTest, PathOverlayDrawsThePathAsItIsAndEndsWithTheCapture) {
  const win::CWindowDC screen(HWND{nullptr});
  const win::CMemoryDC dc(::CreateCompatibleDC(screen.Get()));
  const win::CBitmapHandle bitmap(::CreateCompatibleBitmap(screen.Get(), 400, 40));
  const win::CSelectObject selected(dc.Get(), bitmap.Get());
  const RECT band{0, 0, 400, 40};
  const COverlayFont font = MakeOverlayFont(96);
  // The band's text pixels (light yellow), column by column.
  const auto ink = [&](const std::string& path) {
    ::FillRect(dc.Get(), &band, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    DrawPathOverlay(dc.Get(), band, path, font);
    std::vector<std::vector<bool>> columns(400, std::vector<bool>(40));
    for (int x = 0; x < 400; ++x) {
      for (int y = 0; y < 40; ++y) columns[x][y] = ::GetPixel(dc.Get(), x, y) == RGB(255, 255, 224);
    }
    return columns;
  };
  const auto lastInk = [](const std::vector<std::vector<bool>>& columns) {
    int last = -1;
    for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
      for (const bool set : columns[x]) last = set ? x : last;
    }
    return last;
  };
  SIZE extent{};
  {
    const win::CSelectObject measuring(dc.Get(), font.font.Get());
    ::GetTextExtentPoint32A(dc.Get(), "a&&b", 4, &extent);
  }
  const int ampersands = lastInk(ink("a&&b"));
  EXPECT_GE(ampersands, 4 + extent.cx - 3) << "both ampersands are drawn";
  EXPECT_LE(ampersands, 4 + extent.cx + 1);
  // A long path keeps its file name: the band ends with the same pixels as
  // the name drawn alone.
  const auto name = ink("last.jpg");
  const auto shortened = ink("C:\\" + std::string(200, 'x') + "\\last.jpg");
  const int nameEnd = lastInk(name);
  const int pathEnd = lastInk(shortened);
  ASSERT_GT(nameEnd, 4);
  ASSERT_GE(pathEnd, nameEnd);
  for (int dx = 0; dx <= nameEnd - 4; ++dx)
    EXPECT_EQ(shortened[pathEnd - dx], name[nameEnd - dx]) << "column " << dx << " from the end";

  SetList({Picture("a.bmp", 400, 300)});
  ASSERT_TRUE(Start());
  ::SendMessageA(show.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_EQ(::GetCapture(), show.GetSafeHwnd());
  const HWND other = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ::SetCapture(other);  // Alt+Tab or a message box takes the mouse
  const win::CWindowDC window(show.GetSafeHwnd());
  ASSERT_TRUE(test::PumpUntil([&] { return ::GetPixel(window.Get(), 2, 2) == RGB(200, 100, 50); }, 5s))
      << "the overlay's band is gone";
  ::ReleaseCapture();
  ::DestroyWindow(other);
}

// Where no off-screen bitmap can be had, painting goes to the target itself.
TEST(BufferDC, DrawsStraightToTheTargetWithoutABitmap) {
  const win::CWindowDC screen(HWND{nullptr});
  const CBufferDC huge(screen.Get(), RECT{0, 0, 200000, 200000});
  EXPECT_FALSE(huge.Buffered());
  EXPECT_EQ(huge.Get(), screen.Get());
  const CBufferDC normal(screen.Get(), RECT{0, 0, 64, 64});
  EXPECT_TRUE(normal.Buffered());
  EXPECT_NE(normal.Get(), screen.Get());
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
  ASSERT_TRUE(Start());
  constexpr int kWarmUp = 50;
  constexpr int kAdvances = 1000;
  int64_t gdiStart = 0, memStart = 0;
  for (int i = 1; i <= kAdvances; ++i) {
    Next();
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
