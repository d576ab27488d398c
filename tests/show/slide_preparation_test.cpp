#include "show/slide_preparation.h"

#include <gtest/gtest.h>

#include "codec/codec_test_support.h"
#include "support/param_names.h"

namespace qv {
namespace {

using test::Bytes;
using test::CByteWriter;
using test::CTempFolder;
using test::UniformBmp;

struct RenderCase {
  const char* name;
  int32_t pw, ph, fit, smart;
  int32_t nw, nh;  // scaled size
  bool crop;
  int32_t bw, bh;  // bitmap size after the crop
  int32_t x, y;    // where it is painted in 1920 x 1200
};

void PrintTo(const RenderCase& c, std::ostream* os) {
  *os << c.name << ": " << c.pw << " x " << c.ph << ", fit " << c.fit << ", smart crop " << c.smart;
}

class RenderTest : public testing::TestWithParam<RenderCase> {
 protected:
  static void SetUpTestSuite() { dir = new CTempFolder; }
  static void TearDownTestSuite() { delete dir; }
  static CTempFolder* dir;
};
CTempFolder* RenderTest::dir = nullptr;

TEST_P(RenderTest, FramingCropAndBlackBands) {
  const auto& c = GetParam();
  const std::string path = dir->Path(std::string(c.name) + ".bmp");
  dir->Write(std::string(c.name) + ".bmp", UniformBmp(c.pw, c.ph, 200, 150, 100));
  CShowSettings settings;
  settings.m_nFitMode = c.fit;
  settings.m_bSmartCrop = c.smart;
  CShowImage image;
  const CSlidePreparation prep = PrepareSlide(image, path, settings, 1920, 1200);
  ASSERT_EQ(prep.outcome, ESlideOutcome::kReady);
  EXPECT_EQ(prep.nPictureWidth, c.pw);
  EXPECT_EQ(prep.framing.nWidth, c.nw);
  EXPECT_EQ(prep.framing.nHeight, c.nh);
  EXPECT_EQ(prep.framing.bCrop, c.crop);
  ASSERT_EQ(image.m_nWidth, c.bw);
  ASSERT_EQ(image.m_nHeight, c.bh);
  ASSERT_EQ(image.m_nBitsPerPixel, 24);
  const CPlacement at = CentredPlacement(image.m_nWidth, image.m_nHeight, 1920, 1200);
  EXPECT_EQ(at.x, c.x);
  EXPECT_EQ(at.y, c.y);

  const auto canvas = PaintOnBlack(image.GetBits(), image.m_nWidth, image.m_nHeight, 1920, 1200);
  ASSERT_EQ(canvas.size(), 1920u * 1200u * 3u);
  for (int32_t y = 0; y < 1200; y += 7) {
    for (int32_t x = 0; x < 1920; x += 5) {
      const uint8_t* p = canvas.data() + (static_cast<size_t>(y) * 1920 + x) * 3;
      const bool inside = x >= c.x && x < c.x + c.bw && y >= c.y && y < c.y + c.bh;
      if (inside) {
        // The picture's colour, give or take the area average's truncation.
        ASSERT_GE(p[0], 199) << x << "," << y;
        ASSERT_GE(p[1], 149);
        ASSERT_GE(p[2], 99);
      } else {
        ASSERT_EQ(p[0] | p[1] | p[2], 0) << "band pixel not black at " << x << "," << y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    WindowOf1920x1200, RenderTest,
    testing::Values(RenderCase{"p43fit0", 1600, 1200, 0, 1, 1920, 1440, true, 1920, 1200, 0, 0},
                    RenderCase{"p43fit1", 1600, 1200, 1, 1, 1920, 1440, true, 1920, 1200, 0, 0},
                    RenderCase{"p169fit0", 1600, 900, 0, 1, 1920, 1080, false, 1920, 1080, 0, 60},
                    RenderCase{"p169fit1", 1600, 900, 1, 1, 2133, 1200, true, 1920, 1200, 0, 0},
                    RenderCase{"portraitNoSmart0", 900, 1600, 0, 0, 675, 1200, false, 675, 1200, 622, 0},
                    RenderCase{"portraitNoSmart1", 900, 1600, 1, 0, 675, 1200, false, 675, 1200, 622, 0},
                    RenderCase{"portraitSmart", 900, 1600, 1, 1, 1920, 3413, true, 1920, 1200, 0, 0},
                    RenderCase{"sameWidth", 1920, 1080, 0, 1, 1920, 1080, false, 1920, 1080, 0, 60}),
    test::NameFrom<&RenderCase::name>());

TEST(SlidePreparation, NarrowPicturesAreSkippedByUnsignedWidth) {
  CTempFolder dir;
  const std::string p299 = dir.Write("n299.bmp", UniformBmp(299, 10, 1, 2, 3));
  const std::string p300 = dir.Write("n300.bmp", UniformBmp(300, 10, 1, 2, 3));
  CShowSettings settings;  // ignore small, 300
  CShowImage image;
  CSlidePreparation prep = PrepareSlide(image, p299, settings, 640, 480);
  EXPECT_EQ(prep.outcome, ESlideOutcome::kTooNarrow);
  EXPECT_EQ(prep.nPictureWidth, 299);
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_EQ(PrepareSlide(image, p300, settings, 640, 480).outcome, ESlideOutcome::kReady);
  settings.m_nMinWidth = -1;  // 4294967295 as unsigned: every picture is too narrow
  EXPECT_EQ(PrepareSlide(image, p300, settings, 640, 480).outcome, ESlideOutcome::kTooNarrow);
  settings.m_bIgnoreSmall = 0;
  EXPECT_EQ(PrepareSlide(image, p299, settings, 640, 480).outcome, ESlideOutcome::kReady);
}

TEST(SlidePreparation, NoFileAndUndecodable) {
  CTempFolder dir;
  CShowImage image;
  CShowSettings settings;
  EXPECT_EQ(PrepareSlide(image, "", settings, 640, 480).outcome, ESlideOutcome::kNoFile);
  EXPECT_EQ(PrepareSlide(image, dir.Path("missing.jpg"), settings, 640, 480).outcome, ESlideOutcome::kUndecodable);
  EXPECT_EQ(PrepareSlide(image, dir.Write("bad.bmp", Bytes(100, 0x42)), settings, 640, 480).outcome,
            ESlideOutcome::kUndecodable);
  EXPECT_TRUE(image.IsEmpty());
}

TEST(CentredPlacement, TruncatesTowardZero) {
  struct Case {
    int32_t bw, bh, w, h, x, y;
  };
  const Case cases[] = {{1920, 1080, 1920, 1200, 0, 60},
                        {1925, 1205, 1920, 1200, -2, -2},
                        {675, 1200, 1920, 1200, 622, 0},
                        {1, 1, 2, 2, 0, 0},
                        {3, 3, 2, 2, 0, 0}};
  for (const auto& c : cases) {
    const CPlacement at = CentredPlacement(c.bw, c.bh, c.w, c.h);
    EXPECT_EQ(at.x, c.x) << c.bw;
    EXPECT_EQ(at.y, c.y) << c.bh;
  }
}

TEST(PaintOnBlack, ClipsLargerPicturesEvenly) {
  // 4 x 2 picture in a 2 x 2 window: columns 1 and 2 show.
  const uint8_t pic[] = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8};
  const auto canvas = PaintOnBlack(pic, 4, 2, 2, 2);
  EXPECT_EQ(canvas, (std::vector<uint8_t>{2, 2, 2, 3, 3, 3, 6, 6, 6, 7, 7, 7}));
  EXPECT_EQ(PaintOnBlack(nullptr, 4, 2, 2, 1), std::vector<uint8_t>(6, 0));
}

}  // namespace
}  // namespace qv
