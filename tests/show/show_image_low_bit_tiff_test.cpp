// RGB TIFF pages with fewer than 8 bits per sample in the holder: whichever
// depth it reads them at (8 bits for up to 8 bits a pixel, else 24), loaded
// and made into slides they show the colours of the same picture stored at 8
// bits per sample.
#include <gtest/gtest.h>

#include "../codec/readers/encoders.h"
#include "show/slide_preparation.h"

namespace qv {
namespace {

using test::Bytes;

Bytes Pixels(const CShowImage& image) {
  const uint8_t* p = image.GetBits();
  return p ? Bytes(p, p + CShowImage::BufferSize(image.m_nWidth, image.m_nHeight, image.m_nBitsPerPixel)) : Bytes();
}

TEST(ShowImageLowBitTiff, RgbPagesShowInColour) {
  test::CTempFolder dir;
  for (const uint16_t bits : {1, 2, 4}) {
    for (const bool planar : {false, true}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, planar " << planar);
      test::CTiffPage page{.width = 40,
                           .height = 30,
                           .bits = bits,
                           .samples = 3,
                           .photometric = PHOTOMETRIC_RGB,
                           .planar = planar,
                           .rowsPerStrip = 7};
      page.rows = test::Noise(test::TiffRowBytes(page) * page.height, bits);
      const std::string path = dir.Path("low.tif"), eight = dir.Path("eight.tif");
      test::WriteTiff(path, {page});
      test::WriteTiff(eight, {test::TiffAtEightBits(page)});
      CShowImage low, full;
      ASSERT_EQ(low.Load(path, kTypeNone, 0), 0);
      ASSERT_EQ(full.Load(eight, kTypeNone, 0), 0);
      EXPECT_EQ(low.m_nType, bits < 4 ? kTypeTiff8 : kTypeTiff);
      ASSERT_EQ(low.m_nBitsPerPixel, 24);
      EXPECT_EQ(Pixels(low), Pixels(full));
      // A slide smaller than the picture: the 24-bit page is scaled as its rows are read.
      CShowSettings settings;
      settings.m_bIgnoreSmall = 0;
      const CSlidePreparation a = PrepareSlide(low, path, settings, 20, 15);
      const CSlidePreparation b = PrepareSlide(full, eight, settings, 20, 15);
      ASSERT_EQ(a.outcome, ESlideOutcome::kReady);
      ASSERT_EQ(b.outcome, ESlideOutcome::kReady);
      EXPECT_EQ(low.m_nWidth, 20);
      EXPECT_EQ(Pixels(low), Pixels(full));
    }
  }
}

}  // namespace
}  // namespace qv
