// Slides scaled while their rows are decoded (JPEG, PNG, TIFF, PCX, PSD, TGA, BMP) against the
// same slides made the whole way (Load, Resize with method 2, Crop): every
// byte, the holder's state and the result code must agree, for many picture
// layouts, windows, both fit modes and smart crop, and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../codec/readers/encoders.h"
#include "show/slide_preparation.h"
#include "support/raster_files.h"

namespace qv {
namespace {

using test::Bytes;
using test::CTempFolder;

// The slide as the whole path makes it.
CSlidePreparation WholePathSlide(CShowImage& image, const std::string& path, const CShowSettings& settings, int32_t w,
                                 int32_t h) {
  CSlidePreparation prep;
  prep.nLoadResult = image.Load(path, kTypeNone, 0);
  if (image.IsEmpty()) {
    prep.outcome = ESlideOutcome::kUndecodable;
    return prep;
  }
  prep.nPictureWidth = image.m_nWidth;
  prep.nPictureHeight = image.m_nHeight;
  prep.framing = ComputeFraming(image.m_nWidth, image.m_nHeight, w, h, settings.m_nFitMode, settings.m_bSmartCrop);
  image.Resize(prep.framing.nWidth, prep.framing.nHeight, 2);
  if (prep.framing.bCrop) image.Crop(prep.framing.nLeft, prep.framing.nTop, prep.framing.nRight, prep.framing.nBottom);
  prep.outcome = ESlideOutcome::kReady;
  return prep;
}

Bytes Pixels(const CShowImage& image) {
  const uint8_t* p = image.GetBits();
  return p ? Bytes(p, p + CShowImage::BufferSize(image.m_nWidth, image.m_nHeight, image.m_nBitsPerPixel)) : Bytes();
}

struct CFile {
  std::string name;
  Bytes bytes;  // empty: written by writeTiff
  test::CTiffPage tiff;
  bool rowByRow;  // the probe accepts it (a turned TIFF is still refused when its rows begin)
};

test::CTiffPage RgbTiff(uint32_t w, uint32_t h, uint16_t samples, uint16_t compression, uint32_t rowsPerStrip,
                        uint32_t tile, uint16_t orientation) {
  test::CTiffPage page;
  page.width = w;
  page.height = h;
  page.bits = 8;
  page.samples = samples;
  page.photometric = PHOTOMETRIC_RGB;
  page.compression = compression;
  page.rowsPerStrip = rowsPerStrip;
  page.tile = tile;
  page.orientation = orientation;
  page.rows = test::Pattern(w, h, samples, w + h);
  return page;
}

Bytes Truncated(Bytes b, double share) {
  b.resize(size_t(double(b.size()) * share));
  return b;
}

std::vector<CFile> Files() {
  using test::CJpegLayout;
  using test::CPngLayout;
  std::vector<CFile> files;
  auto jpeg = [&](const char* name, CJpegLayout l, double keep = 1.0) {
    const Bytes pixels = test::Pattern(uint32_t(l.width), uint32_t(l.height), uint32_t(l.components), 7);
    files.push_back({name, Truncated(test::EncodeJpeg(l, pixels), keep), {}, true});
  };
  jpeg("colour420.jpg", {.width = 301, .height = 203});
  jpeg("colour444.jpg", {.width = 200, .height = 300, .chroma420 = false});
  jpeg("grey.jpg", {.width = 240, .height = 161, .components = 1, .colorSpace = JCS_GRAYSCALE});
  jpeg("progressive.jpg", {.width = 257, .height = 190, .progressive = true});
  jpeg("cmyk.jpg", {.width = 160, .height = 120, .components = 4, .colorSpace = JCS_CMYK});
  jpeg("cut-sequential.jpg", {.width = 301, .height = 203}, 0.6);
  jpeg("cut-progressive.jpg", {.width = 257, .height = 190, .progressive = true}, 0.3);
  auto png = [&](const char* name, CPngLayout l, double keep = 1.0) {
    const Bytes rows = test::Noise(test::PngRowBytes(l) * l.height, l.width);
    files.push_back({name, Truncated(test::EncodePng(l, rows), keep), {}, true});
  };
  png("rgb.png", {.width = 211, .height = 157});
  png("rgba16.png", {.width = 150, .height = 101, .bitDepth = 16, .colorType = PNG_COLOR_TYPE_RGB_ALPHA});
  png("grey4.png", {.width = 199, .height = 120, .bitDepth = 4, .colorType = PNG_COLOR_TYPE_GRAY});
  png("greyalpha.png", {.width = 120, .height = 180, .colorType = PNG_COLOR_TYPE_GRAY_ALPHA});
  png("interlaced.png", {.width = 203, .height = 149, .interlaced = true});
  png("cut.png", {.width = 211, .height = 157}, 0.5);
  auto tiff = [&](const char* name, test::CTiffPage page, bool rowByRow = true) {
    files.push_back({name, {}, std::move(page), rowByRow});
  };
  tiff("strips7.tif", RgbTiff(230, 151, 3, COMPRESSION_NONE, 7, 0, 0));
  tiff("onestrip-lzw.tif", RgbTiff(180, 121, 3, COMPRESSION_LZW, 121, 0, 1));
  tiff("rgba-deflate.tif", RgbTiff(161, 200, 4, COMPRESSION_ADOBE_DEFLATE, 16, 0, 0));
  tiff("tiled.tif", RgbTiff(200, 150, 3, COMPRESSION_NONE, 0, 32, 0));
  tiff("upside-down.tif", RgbTiff(190, 140, 3, COMPRESSION_NONE, 9, 0, ORIENTATION_BOTRIGHT));
  tiff("turned.tif", RgbTiff(140, 190, 3, COMPRESSION_NONE, 9, 0, ORIENTATION_RIGHTTOP));
  // Damaged files of the formats whose rows come by seeking end the row read
  // and are made the whole way, as a whole load keeps what they hold.
  auto raster = [&](const char* name, Bytes bytes, double keep = 1.0, bool rowByRow = true) {
    files.push_back({name, Truncated(std::move(bytes), keep), {}, rowByRow});
  };
  const Bytes rgb = test::Pattern(203, 151, 3, 11);
  raster("rgb.pcx", test::raster::Pcx(203, 151, rgb));
  raster("cut.pcx", test::raster::Pcx(203, 151, rgb), 0.5);
  raster("raw.psd", test::raster::Psd(203, 151, rgb, false));
  raster("packbits.psd", test::raster::Psd(203, 151, rgb, true));
  raster("cut.psd", test::raster::Psd(203, 151, rgb, true), 0.6);
  raster("raw.tga", test::raster::Tga(203, 151, rgb, false));
  raster("rle.tga", test::raster::Tga(203, 151, rgb, true));
  raster("top-down-rle.tga", test::raster::Tga(203, 151, rgb, true, true));
  raster("cut-rle.tga", test::raster::Tga(203, 151, rgb, true), 0.7);
  raster("cut-raw.tga", test::raster::Tga(203, 151, rgb, false), 0.7);
  const Bytes grey = test::Pattern(181, 133, 1, 12);
  Bytes map;
  for (int i = 0; i < 200; ++i) map.insert(map.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
  raster("grey-rle.tga", test::raster::Tga8(181, 133, grey, {}, true), 1.0, false);
  raster("mapped.tga", test::raster::Tga8(181, 133, grey, map, false));
  raster("bottom-up.bmp", test::raster::Bmp(203, 151, rgb));
  raster("top-down.bmp", test::raster::Bmp(203, 151, rgb, true));
  raster("cut.bmp", test::raster::Bmp(203, 151, rgb), 0.6);
  // 8 bits with fewer colours than the indices reach: entry 0 past them.
  Bytes bgrx;
  for (int i = 0; i < 150; ++i) bgrx.insert(bgrx.end(), {uint8_t(i * 3), uint8_t(i), uint8_t(255 - i), 0});
  raster("few-colours.bmp", test::raster::Bmp8(181, 133, grey, bgrx));
  return files;
}

// Windows with short and long fractions, 1-pixel results, the picture's own
// size and sizes within the framing's 10-pixel tolerance.
struct CWindow {
  int32_t w, h;
};
constexpr CWindow kWindows[] = {{150, 100}, {97, 61}, {64, 64}, {1, 1}, {3, 40}, {120, 200}, {211, 150}, {300, 300}};

TEST(SlideWhileDecoding, MatchesWholePathByteForByte) {
  CTempFolder dir;
  const std::string other = dir.Write(
      "other.png",
      test::EncodePng(
          {.width = 9, .height = 7, .colorType = PNG_COLOR_TYPE_PALETTE, .palette = {{1, 2, 3}, {200, 100, 50}}},
          test::Bytes(9 * 7, 1)));
  int slides = 0;
  for (const CFile& file : Files()) {
    const std::string path = dir.Path(file.name);
    if (file.bytes.empty()) {
      test::WriteTiff(path, {file.tiff});
    } else {
      dir.Write(file.name, file.bytes);
    }
    CShowImage probe;
    int32_t type = 0, pw = 0, ph = 0;
    EXPECT_EQ(probe.ProbeRowRead(path, type, pw, ph), file.rowByRow) << file.name;
    for (const CWindow& win : kWindows) {
      for (int32_t mode = 0; mode < 4; ++mode) {
        CShowSettings settings;
        settings.m_nFitMode = mode & 1;
        settings.m_bSmartCrop = mode >> 1;
        settings.m_bIgnoreSmall = 0;
        const std::string what = file.name + " in " + std::to_string(win.w) + "x" + std::to_string(win.h) + " fit " +
                                 std::to_string(mode & 1) + " smart " + std::to_string(mode >> 1);
        // Each holder first holds another picture, as a show window's does.
        CShowImage streamed, whole;
        ASSERT_EQ(streamed.Load(other, kTypeNone, 0), 0);
        ASSERT_EQ(whole.Load(other, kTypeNone, 0), 0);
        const CSlidePreparation a = PrepareSlide(streamed, path, settings, win.w, win.h);
        const CSlidePreparation b = WholePathSlide(whole, path, settings, win.w, win.h);
        ASSERT_EQ(b.outcome, ESlideOutcome::kReady) << what;  // every file holds a picture, damaged ones a part
        ASSERT_EQ(a.outcome, b.outcome) << what;
        EXPECT_EQ(a.nLoadResult, b.nLoadResult) << what;
        EXPECT_EQ(a.nPictureWidth, b.nPictureWidth) << what;
        EXPECT_EQ(a.nPictureHeight, b.nPictureHeight) << what;
        EXPECT_EQ(a.framing.nWidth, b.framing.nWidth) << what;
        EXPECT_EQ(a.framing.bCrop, b.framing.bCrop) << what;
        ASSERT_EQ(streamed.m_nWidth, whole.m_nWidth) << what;
        ASSERT_EQ(streamed.m_nHeight, whole.m_nHeight) << what;
        EXPECT_EQ(streamed.m_nBitsPerPixel, whole.m_nBitsPerPixel) << what;
        EXPECT_EQ(streamed.m_nType, whole.m_nType) << what;
        EXPECT_EQ(streamed.m_nPaletteCount, whole.m_nPaletteCount) << what;
        EXPECT_TRUE(std::equal(streamed.m_Palette.begin(), streamed.m_Palette.end(), whole.m_Palette.begin(),
                               [](const ISPalEntry& x, const ISPalEntry& y) {
                                 return x.red == y.red && x.green == y.green && x.blue == y.blue &&
                                        x.reserved == y.reserved;
                               }))
            << what;
        EXPECT_EQ(streamed.m_nXRes, whole.m_nXRes) << what;
        EXPECT_EQ(streamed.m_nResUnit, whole.m_nResUnit) << what;
        EXPECT_EQ(streamed.m_nPage, whole.m_nPage) << what;
        EXPECT_EQ(streamed.m_bCodecBuffer, whole.m_bCodecBuffer) << what;
        EXPECT_EQ(streamed.m_strPath, whole.m_strPath) << what;
        ASSERT_EQ(Pixels(streamed), Pixels(whole)) << what;
        ++slides;
      }
    }
  }
  EXPECT_GT(slides, 500);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// An APP1 Exif block holding only the orientation, little- or big-endian.
Bytes ExifBlock(uint16_t orientation, bool bigEndian) {
  auto u16 = [&](Bytes& b, uint32_t v) {
    const uint8_t hi = uint8_t(v >> 8), lo = uint8_t(v);
    b.insert(b.end(), bigEndian ? std::initializer_list<uint8_t>{hi, lo} : std::initializer_list<uint8_t>{lo, hi});
  };
  auto u32 = [&](Bytes& b, uint32_t v) {
    u16(b, bigEndian ? v >> 16 : v & 0xFFFF);
    u16(b, bigEndian ? v & 0xFFFF : v >> 16);
  };
  Bytes b = {'E', 'x', 'i', 'f', 0, 0};
  b.insert(b.end(), bigEndian ? std::initializer_list<uint8_t>{'M', 'M'} : std::initializer_list<uint8_t>{'I', 'I'});
  u16(b, 42);
  u32(b, 8);
  u16(b, 1);
  u16(b, 0x0112);
  u16(b, 3);
  u32(b, 1);
  u16(b, orientation);
  u16(b, 0);
  u32(b, 0);
  return b;
}

// Each orientation turns the picture as the camera meant it: the loaded
// picture equals the stored one with output pixel (x, y) taken from where
// the orientation says; off, the picture stays as stored.
TEST(UprightPhotos, EveryOrientationAgainstTheStoredPixels) {
  CTempFolder dir;
  constexpr int32_t kW = 24, kH = 16;
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    const test::CJpegLayout layout{
        .width = kW, .height = kH, .appMarkers = {{1, ExifBlock(orientation, orientation % 2)}}};
    std::string name = "o";  // built step by step: one compiler warns wrongly on a + chain here
    name += std::to_string(orientation);
    name += ".jpg";
    const std::string path = dir.Write(name, test::EncodeJpeg(layout, test::Pattern(kW, kH, 3, 5)));
    CShowImage stored, upright;
    stored.m_bAutoRotate = 0;
    ASSERT_EQ(stored.Load(path, kTypeNone, 0), 0);
    ASSERT_EQ(upright.Load(path, kTypeNone, 0), 0);
    const bool exchanged = orientation >= 5;
    ASSERT_EQ(upright.m_nWidth, exchanged ? kH : kW) << orientation;
    ASSERT_EQ(upright.m_nHeight, exchanged ? kW : kH) << orientation;
    for (int32_t y = 0; y < upright.m_nHeight; ++y) {
      for (int32_t x = 0; x < upright.m_nWidth; ++x) {
        // The stored pixel that the camera's view shows at (x, y).
        const int32_t sx[9] = {0, x, kW - 1 - x, kW - 1 - x, x, y, y, kW - 1 - y, kW - 1 - y};
        const int32_t sy[9] = {0, y, y, kH - 1 - y, kH - 1 - y, x, kH - 1 - x, kH - 1 - x, x};
        const uint8_t* want = stored.GetBits() + (size_t(sy[orientation]) * kW + size_t(sx[orientation])) * 3;
        const uint8_t* got = upright.GetBits() + (size_t(y) * size_t(upright.m_nWidth) + size_t(x)) * 3;
        ASSERT_TRUE(std::equal(want, want + 3, got)) << "orientation " << orientation << " at " << x << "," << y;
      }
    }
  }
}

// A portrait phone photo stored sideways is framed as a portrait picture
// (smart crop: the window's width, cropped towards its top), through the
// whole path; with the orientation off it is the stored landscape picture
// and made while decoding.
TEST(UprightPhotos, SidewaysPhotoIsFramedAsPortrait) {
  CTempFolder dir;
  const test::CJpegLayout layout{.width = 300, .height = 200, .appMarkers = {{1, ExifBlock(6, false)}}};
  const std::string path = dir.Write("phone.jpg", test::EncodeJpeg(layout, test::Pattern(300, 200, 3, 9)));
  CShowSettings settings;
  settings.m_bIgnoreSmall = 0;
  CShowImage image;
  const CSlidePreparation prep = PrepareSlide(image, path, settings, 150, 100);
  ASSERT_EQ(prep.outcome, ESlideOutcome::kReady);
  EXPECT_EQ(prep.nPictureWidth, 200);
  EXPECT_EQ(prep.nPictureHeight, 300);
  EXPECT_EQ(prep.framing.nWidth, 150);
  EXPECT_EQ(prep.framing.nHeight, 225);
  EXPECT_EQ(prep.framing.nTop, 17);  // (225 - 100) / 7
  int32_t type = 0, w = 0, h = 0;
  EXPECT_FALSE(image.ProbeRowRead(path, type, w, h));
  settings.m_bAutoRotate = 0;
  const CSlidePreparation stored = PrepareSlide(image, path, settings, 150, 100);
  EXPECT_EQ(stored.nPictureWidth, 300);
  EXPECT_TRUE(image.ProbeRowRead(path, type, w, h));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// With the shape matched, a picture of the other shape than the window is
// passed over, its size taken as it would be shown (a sideways photo turned
// upright) and read from the header alone: a file whose pixels are cut off
// is still judged by its shape.
TEST(ShapeMatching, PicturesOfTheOtherShapeArePassedOverBeforeDecoding) {
  CTempFolder dir;
  const auto sideways = [&](const char* name, bool exif) {
    const test::CJpegLayout layout{.width = 40, .height = 30, .appMarkers = {{1, ExifBlock(exif ? 6 : 1, false)}}};
    return dir.Write(name, test::EncodeJpeg(layout, test::Pattern(40, 30, 3, 5)));
  };
  Bytes cut = test::UniformBmp(30, 40, 9, 9, 9);
  cut.resize(80);
  const struct {
    std::string path;
    uint8_t autoRotate;
    ESlideOutcome landscape, portrait, square;
  } cases[] = {
      {dir.Write("wide.bmp", test::UniformBmp(40, 30, 1, 2, 3)), 1, ESlideOutcome::kReady, ESlideOutcome::kWrongShape,
       ESlideOutcome::kReady},
      {dir.Write("tall.bmp", test::UniformBmp(30, 40, 1, 2, 3)), 1, ESlideOutcome::kWrongShape, ESlideOutcome::kReady,
       ESlideOutcome::kReady},
      {dir.Write("square.bmp", test::UniformBmp(30, 30, 1, 2, 3)), 1, ESlideOutcome::kReady, ESlideOutcome::kReady,
       ESlideOutcome::kReady},
      {sideways("turned.jpg", true), 1, ESlideOutcome::kWrongShape, ESlideOutcome::kReady, ESlideOutcome::kReady},
      {sideways("kept.jpg", true), 0, ESlideOutcome::kReady, ESlideOutcome::kWrongShape, ESlideOutcome::kReady},
      {sideways("plain.jpg", false), 1, ESlideOutcome::kReady, ESlideOutcome::kWrongShape, ESlideOutcome::kReady},
      {dir.Write("cut.bmp", cut), 1, ESlideOutcome::kWrongShape, ESlideOutcome::kUndecodable,
       ESlideOutcome::kUndecodable},
  };
  for (const auto& c : cases) {
    CShowSettings settings;
    settings.m_bIgnoreSmall = 0;
    settings.m_bMatchShape = 1;
    settings.m_bAutoRotate = c.autoRotate;
    CShowImage image;
    EXPECT_EQ(PrepareSlide(image, c.path, settings, 640, 480).outcome, c.landscape) << c.path;
    EXPECT_EQ(image.IsEmpty(), c.landscape != ESlideOutcome::kReady) << c.path;
    EXPECT_EQ(PrepareSlide(image, c.path, settings, 480, 640).outcome, c.portrait) << c.path;
    EXPECT_EQ(PrepareSlide(image, c.path, settings, 500, 500).outcome, c.square) << c.path;
    // Off, every picture that can be read is shown.
    settings.m_bMatchShape = 0;
    EXPECT_NE(PrepareSlide(image, c.path, settings, 640, 480).outcome, ESlideOutcome::kWrongShape) << c.path;
  }
}

}  // namespace
}  // namespace qv
