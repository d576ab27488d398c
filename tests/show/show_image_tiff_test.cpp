// TIFF pictures in the holder: the correction of non-square pixels and the
// 1-bit palette. The files are written with libtiff itself.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <chrono>
#include <vector>

#include "codec/codec_test_support.h"
#include "show/show_image.h"

namespace qv {
namespace {

using test::CTempFolder;

// An RGB page of width x height at xdpi x ydpi, every pixel (r, g, b).
void WriteRgbTiff(const std::string& path, uint32_t width, uint32_t height, float xdpi, float ydpi) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, xdpi);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, ydpi);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::vector<uint8_t> row(width * 3);
  for (uint32_t x = 0; x < width; ++x) {
    row[x * 3] = 40;
    row[x * 3 + 1] = 80;
    row[x * 3 + 2] = 120;
  }
  for (uint32_t y = 0; y < height; ++y) ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
  TIFFClose(tif);
}

// A 1-bit page: pixel x of every row is set when x is odd.
void WriteMonoTiff(const std::string& path, uint32_t width, uint32_t height, uint16_t photometric) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 98.0f);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  std::vector<uint8_t> row((width + 7) / 8, 0x55);
  for (uint32_t y = 0; y < height; ++y) ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
  TIFFClose(tif);
}

TEST(ShowImageTiff, NonSquarePixelsAreCorrected) {
  CTempFolder dir;
  struct Case {
    float xdpi, ydpi;
    int32_t height;
  };
  // 1100 / (98 / 204) = 2289.8; 300 x 300 and 300 x 250 (|1 - q| <= 0.25) keep their height.
  const Case cases[] = {{204, 98, 2289}, {300, 300, 1100}, {300, 250, 1100}, {200, 200, 1100}};
  for (const auto& c : cases) {
    const std::string path = dir.Path("fax.tif");
    WriteRgbTiff(path, 1728, 1100, c.xdpi, c.ydpi);
    CShowImage image;
    ASSERT_EQ(image.Load(path, kTypeNone, 0), 0);
    EXPECT_EQ(image.m_nType, kTypeTiff);
    EXPECT_EQ(image.m_nWidth, 1728);
    EXPECT_EQ(image.m_nHeight, c.height) << c.xdpi << " x " << c.ydpi;
    EXPECT_EQ(image.m_nXRes, static_cast<int32_t>(c.xdpi));
    EXPECT_EQ(image.m_nResUnit, 2);
    const uint8_t* mid = image.GetBits() + (static_cast<size_t>(image.m_nHeight / 2) * 1728 + 864) * 3;
    EXPECT_EQ(mid[0], 40);
    EXPECT_EQ(mid[1], 80);
    EXPECT_EQ(mid[2], 120);
  }
}

// Up to 16 : 1 the pixels are made square; a ratio beyond that is a damaged
// field and the page keeps its stored size, at once.
TEST(ShowImageTiff, AspectRatiosBeyondSixteenToOneAreNotApplied) {
  CTempFolder dir;
  const struct {
    float xdpi, ydpi;
    int32_t height;
  } cases[] = {{16, 1, 512}, {1, 16, 2}, {17, 1, 32}, {2e8f, 1, 32}, {1, 2e8f, 32}};
  for (const auto& c : cases) {
    const std::string path = dir.Path("odd.tif");
    WriteRgbTiff(path, 8, 32, c.xdpi, c.ydpi);
    const auto start = std::chrono::steady_clock::now();
    CShowImage image;
    ASSERT_EQ(image.Load(path, kTypeNone, 0), 0);
    EXPECT_EQ(image.m_nWidth, 8);
    EXPECT_EQ(image.m_nHeight, c.height) << c.xdpi << " x " << c.ydpi;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
}

TEST(ShowImageTiff, OneBitPagesShowClearBitsWhiteAndAreNeverCorrected) {
  CTempFolder dir;
  for (const uint16_t photometric : {uint16_t(PHOTOMETRIC_MINISWHITE), uint16_t(PHOTOMETRIC_MINISBLACK)}) {
    const std::string path = dir.Path("mono.tif");
    WriteMonoTiff(path, 10, 4, photometric);
    CShowImage image;
    ASSERT_EQ(image.Load(path, kTypeNone, 0), 0);
    EXPECT_EQ(image.m_nType, kTypeTiff1);
    EXPECT_EQ(image.m_nHeight, 4);  // 204 x 98 dpi, yet not stretched
    ASSERT_EQ(image.m_nBitsPerPixel, 24);
    // Stored 0 is white on a min-is-white page, black on a min-is-black one.
    const uint8_t storedZero = photometric == PHOTOMETRIC_MINISWHITE ? 255 : 0;
    for (int32_t x = 0; x < 10; ++x) {
      const uint8_t expected = (x % 2 == 1) ? static_cast<uint8_t>(255 - storedZero) : storedZero;
      EXPECT_EQ(image.GetBits()[x * 3], expected) << "photometric " << photometric << " x " << x;
    }
  }
}

TEST(ShowImageTiff, UnrecognisedContentNamedTiffIsReadAsTiff) {
  CTempFolder dir;
  const std::string path = dir.Write("strange.TIFF", test::Bytes(32, 0x01));
  CShowImage image;
  EXPECT_EQ(image.DetectType(path), kTypeTiff);
  EXPECT_NE(image.Load(path, kTypeNone, 0), 0);  // the TIFF reader refuses it
  EXPECT_TRUE(image.IsEmpty());
}

}  // namespace
}  // namespace qv
