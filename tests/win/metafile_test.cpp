// ISReadMetafile over GDI, with enhanced, plain and placeable metafiles that
// GDI itself records in the tests.
#include "codec/metafile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <string>

#include "codec/codec_test_support.h"
#include "gdi_objects.h"
#include "metafile_fixtures.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

struct CRendered {
  CCodecBuffer image;
  int32_t width = -1;
  int32_t height = -1;
  int32_t error = -1;
};

void Render(const std::string& path, CRendered& out, uint32_t background = 0, int32_t fallbackWidth = 100,
            int32_t fallbackHeight = 100) {
  out.image.Reset(ISReadMetafile(path.c_str(), &out.width, &out.height, fallbackWidth, fallbackHeight, background, 0));
  out.error = ISGetLastError();
}

// A file is released when it can be deleted (an open handle would prevent that).
bool Released(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

class MetafileFixtureTest : public ::testing::TestWithParam<CFixtureCase> {
 protected:
  std::string Make() {
    const std::string path = m_folder.Path(GetParam().fileName);
    EXPECT_TRUE(WriteFixture(GetParam().kind, path));
    return path;
  }

  CTempFolder m_folder;
};

TEST_P(MetafileFixtureTest, RendersAtItsSizeWithTheColoursDrawn) {
  const std::string path = Make();
  CRendered r;
  Render(path, r);
  ASSERT_EQ(r.error, IS_ERR_OK);
  ASSERT_TRUE(r.image);
  const CExpectedSize size = ExpectedFixtureSize(GetParam().kind, path);
  EXPECT_NEAR(r.width, size.width, size.tolerance);
  EXPECT_NEAR(r.height, size.height, size.tolerance);
  for (const CColourProbe& probe : PictureProbes())
    EXPECT_EQ(PixelAt(r.image.Get(), r.width, r.height, probe.fx, probe.fy), probe.colour)
        << "at " << probe.fx << ", " << probe.fy;
  EXPECT_TRUE(Released(path));
}

// The background colour is a COLORREF (blue in its third byte) and shows
// wherever the metafile draws nothing.
TEST_P(MetafileFixtureTest, BackgroundShowsWhereNothingIsDrawn) {
  const std::string path = Make();
  CRendered r;
  Render(path, r, RGB(0, 0, 255));
  ASSERT_EQ(r.error, IS_ERR_OK);
  ASSERT_TRUE(r.image);
  for (const CColourProbe& probe : PictureProbes())
    EXPECT_EQ(PixelAt(r.image.Get(), r.width, r.height, probe.fx, probe.fy),
              probe.background ? RGB(0, 0, 255) : probe.colour)
        << "at " << probe.fx << ", " << probe.fy;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MetafileFixtureTest, ::testing::ValuesIn(kFixtureCases),
                         NameFrom<&CFixtureCase::name>());

TEST(Metafile, EmfSizeIgnoresTheFallbackExtent) {
  CTempFolder folder;
  const std::string path = folder.Path("picture.emf");
  ASSERT_TRUE(WriteEmf(path));
  CRendered small, large;
  Render(path, small, 0, 100, 100);
  Render(path, large, 0, 5000, 7000);
  ASSERT_EQ(small.error, IS_ERR_OK);
  ASSERT_EQ(large.error, IS_ERR_OK);
  EXPECT_EQ(small.width, large.width);
  EXPECT_EQ(small.height, large.height);
  // 50.8 mm by 25.4 mm on the screen.
  EXPECT_NEAR(small.width, ScreenPixelsOf10mm(true) * 5.08, 1.0);
  EXPECT_NEAR(small.height, ScreenPixelsOf10mm(false) * 2.54, 1.0);
}

// Frames that give a picture, one too small to give a bitmap, and one whose
// bitmap could never be allocated (refused before anything is allocated).
struct CFrameCase {
  const char* name;
  RECT frame;
  int32_t error;
  friend void PrintTo(const CFrameCase& c, std::ostream* os) {
    *os << c.name << ": frame " << c.frame.left << "," << c.frame.top << " to " << c.frame.right << ","
        << c.frame.bottom << ", " << ISErrorName(c.error);
  }
};

class MetafileFrameTest : public ::testing::TestWithParam<CFrameCase> {};

TEST_P(MetafileFrameTest, SizeFollowsTheFrameOnTheReferenceDevice) {
  CTempFolder folder;
  const std::string path = folder.Path("frame.emf");
  ASSERT_TRUE(WriteEmf(path, GetParam().frame, false));
  CRendered r;
  Render(path, r);
  EXPECT_EQ(r.error, GetParam().error);
  if (GetParam().error != IS_ERR_OK) {
    EXPECT_FALSE(r.image);
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.height, 0);
  } else {
    int32_t w = 0, h = 0;
    ASSERT_TRUE(EmfFrameSize(path, w, h));
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    ASSERT_TRUE(r.image);
    EXPECT_EQ(PixelAt(r.image.Get(), r.width, r.height, 0.5, 0.5), RGB(0, 0, 0));
  }
  EXPECT_TRUE(Released(path));
}

INSTANTIATE_TEST_SUITE_P(Frames, MetafileFrameTest,
                         ::testing::Values(CFrameCase{"Offset", {1000, 500, 6080, 3040}, IS_ERR_OK},
                                           CFrameCase{"Square", {0, 0, 2540, 2540}, IS_ERR_OK},
                                           CFrameCase{"BelowOnePixel", {0, 0, 10, 10}, IS_ERR_BITMAP},
                                           CFrameCase{"TooLargeToAllocate", {0, 0, 3000000, 3000000}, IS_ERR_MEMORY},
                                           CFrameCase{"TooWideToAllocate", {0, 0, 400000000, 2540}, IS_ERR_MEMORY}),
                         NameFrom<&CFrameCase::name>());

// Files that give no picture, with the error each must give.
struct CBadFileCase {
  const char* name;
  Bytes bytes;
  int32_t error;
  friend void PrintTo(const CBadFileCase& c, std::ostream* os) {
    *os << c.name << ": " << c.bytes.size() << " bytes, " << ISErrorName(c.error);
  }
};

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class MetafileBadFileTest : public ::testing::TestWithParam<CBadFileCase> {};

TEST_P(MetafileBadFileTest, FailsWithItsErrorAndReleasesTheFile) {
  CTempFolder folder;
  const std::string path = folder.Write("bad.wmf", GetParam().bytes);
  CRendered r;
  Render(path, r);
  EXPECT_EQ(r.error, GetParam().error);
  EXPECT_FALSE(r.image);
  EXPECT_EQ(r.width, 0);
  EXPECT_EQ(r.height, 0);
  EXPECT_TRUE(Released(path));
}

const Bytes kText = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e', '\n'};

INSTANTIATE_TEST_SUITE_P(
    BadFiles, MetafileBadFileTest,
    ::testing::Values(
        CBadFileCase{"Empty", {}, IS_ERR_METAFILE}, CBadFileCase{"Text", kText, IS_ERR_WMFCONVERT},
        CBadFileCase{"Bitmap", CByteWriter().Text("BM").Fill(60).Get(), IS_ERR_WMFCONVERT},
        CBadFileCase{"PlaceableHeaderOnly", PlaceableHeader(0, 0, 1440, 720, 1440), IS_ERR_WMFCONVERT},
        CBadFileCase{"PlaceableWithText", Concat(PlaceableHeader(0, 0, 1440, 720, 1440), kText), IS_ERR_WMFCONVERT},
        // No units per inch: the box has no size.
        CBadFileCase{"PlaceableWithoutUnits", Concat(PlaceableHeader(0, 0, 1440, 720, 0), kText), IS_ERR_METAFILE}),
    NameFrom<&CBadFileCase::name>());

TEST(Metafile, MissingFileOrFolderIsAnOpenError) {
  CTempFolder folder;
  CRendered missing, directory;
  Render(folder.Path("missing.emf"), missing);
  EXPECT_EQ(missing.error, IS_ERR_FILEOPEN);
  EXPECT_EQ(missing.width, 0);
  EXPECT_EQ(missing.height, 0);
  EXPECT_FALSE(missing.image);
  ::CreateDirectoryA(folder.Path("folder.wmf").c_str(), nullptr);
  Render(folder.Path("folder.wmf"), directory);
  EXPECT_EQ(directory.error, IS_ERR_FILEOPEN);
  EXPECT_FALSE(directory.image);
}

TEST(Metafile, NullArgumentsAreRefused) {
  CTempFolder folder;
  const std::string path = folder.Path("picture.emf");
  ASSERT_TRUE(WriteEmf(path));
  int32_t w = -1, h = -1;
  EXPECT_EQ(ISReadMetafile(nullptr, &w, &h, 100, 100, 0, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(ISReadMetafile(path.c_str(), nullptr, &h, 100, 100, 0, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(ISReadMetafile(path.c_str(), &w, nullptr, 100, 100, 0, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

// Every path through the renderer, successful or not, gives back every GDI
// object it took: after a first call (which may set up the display driver)
// further calls leave the count of live objects where it was.
TEST(Metafile, EveryPathReleasesItsGdiObjects) {
  CTempFolder folder;
  struct CPath {
    std::string path;
    int32_t error;
  };
  std::vector<CPath> paths;
  auto add = [&](const std::string& name, bool made, int32_t error) {
    ASSERT_TRUE(made) << name;
    paths.push_back({folder.Path(name), error});
  };
  add("picture.emf", WriteEmf(folder.Path("picture.emf")), IS_ERR_OK);
  add("picture.wmf", WriteWmf(folder.Path("picture.wmf")), IS_ERR_OK);
  add("placeable.wmf", WritePlaceableWmf(folder.Path("placeable.wmf")), IS_ERR_OK);
  add("tiny.emf", WriteEmf(folder.Path("tiny.emf"), {0, 0, 10, 10}, false), IS_ERR_BITMAP);
  add("huge.emf", WriteEmf(folder.Path("huge.emf"), {0, 0, 3000000, 3000000}, false), IS_ERR_MEMORY);
  add("text.wmf", !folder.Write("text.wmf", kText).empty(), IS_ERR_WMFCONVERT);
  add("empty.wmf", !folder.Write("empty.wmf", {}).empty(), IS_ERR_METAFILE);
  add("nounits.wmf", !folder.Write("nounits.wmf", Concat(PlaceableHeader(0, 0, 1440, 720, 0), kText)).empty(),
      IS_ERR_METAFILE);
  paths.push_back({folder.Path("missing.emf"), IS_ERR_FILEOPEN});

  for (const CPath& p : paths) {
    CRendered warmUp;
    Render(p.path, warmUp, RGB(10, 20, 30));
    ASSERT_EQ(warmUp.error, p.error) << p.path;
    const int64_t before = LiveGdiObjects();
    for (int i = 0; i < 3; ++i) {
      CRendered r;
      Render(p.path, r, RGB(10, 20, 30));
    }
    EXPECT_EQ(LiveGdiObjects(), before) << p.path;
  }
}

}  // namespace
}  // namespace qv::test
