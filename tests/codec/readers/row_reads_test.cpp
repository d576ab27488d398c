// The row-by-row reads (JPEG, PNG, TIFF, PCX, PSD, TGA, BMP): the rows equal the whole-picture
// read's buffer, in order, and a receiver that refuses ends the read.
#include <gtest/gtest.h>

#include <functional>

#include "codec/jpeg.h"
#include "codec/png.h"
#include "codec/tiff.h"
#include "encoders.h"
#include "readers_test_support.h"
#include "support/raster_files.h"

namespace qv::test {
namespace {

// Keeps the rows it is given; refuses at Begin or at row refuseAt when asked.
class CKeepRows : public ISRowReceiver {
 public:
  explicit CKeepRows(int32_t refuseAt = -2) : m_nRefuseAt(refuseAt) {}
  int32_t Begin(int32_t width, int32_t height) override {
    m_nWidth = width;
    m_nHeight = height;
    return m_nRefuseAt == -1 ? IS_ERR_MEMORY : IS_ERR_OK;
  }
  int32_t Row(int32_t y, const uint8_t* pixels) override {
    if (y != int32_t(m_nRows++)) m_bOutOfOrder = true;
    if (y == m_nRefuseAt) return IS_ERR_CANCELLED;
    m_pixels.insert(m_pixels.end(), pixels, pixels + size_t(m_nWidth) * 3);
    return IS_ERR_OK;
  }
  int32_t m_nRefuseAt, m_nWidth = 0, m_nHeight = 0;
  uint32_t m_nRows = 0;
  bool m_bOutOfOrder = false;
  Bytes m_pixels;
};

struct CRowFormat {
  const char* name;
  std::function<Bytes()> file;
  std::function<uint8_t*(HISSRC, int32_t*, int32_t*)> readWhole;
  std::function<int32_t(HISSRC, ISRowReceiver*)> readRows;
  bool stoppable = true;  // reports progress while it hands rows over
};

std::vector<CRowFormat> Formats(const CTempFolder& dir) {
  auto tiff = [&dir](uint16_t orientation, uint32_t tile) {
    CTiffPage page{.width = 37, .height = 23, .samples = 3, .photometric = PHOTOMETRIC_RGB};
    page.orientation = orientation;
    page.tile = tile;
    page.rowsPerStrip = tile == 0 ? 5 : 0;
    page.rows = Pattern(37, 23, 3, 4);
    const std::string path = dir.Path("t.tif");
    WriteTiff(path, {page});
    return ReadFile(path);
  };
  auto readTiff = [](HISSRC s, int32_t* w, int32_t* h) { return ISReadTIFF(s, w, h, 24, nullptr, 0, 0); };
  auto tiffRows = [](HISSRC s, ISRowReceiver* r) { return ISReadTIFFRows(s, 0, r); };
  auto readPsd = [](HISSRC s, int32_t* w, int32_t* h) { return ISReadPSD(s, w, h, 24, nullptr, 0); };
  auto readTga = [](HISSRC s, int32_t* w, int32_t* h) { return ISReadTGA(s, w, h, 24, nullptr, 0); };
  auto readBmp = [](HISSRC s, int32_t* w, int32_t* h) { return ISReadBMP(s, w, h, 24, nullptr, 0); };
  return {
      {"jpeg", [] { return EncodeJpeg({.width = 41, .height = 29}, Pattern(41, 29, 3, 1)); },
       [](HISSRC s, int32_t* w, int32_t* h) { return ISReadJPG(s, w, h, 24, 0); }, ISReadJPGRows},
      {"png", [] { return EncodePng({.width = 31, .height = 17}, Noise(PngRowBytes({.width = 31}) * 17, 3)); },
       [](HISSRC s, int32_t* w, int32_t* h) { return ISReadPNG(s, w, h, 24, nullptr, 0); }, ISReadPNGRows},
      {"tiff strips", [=] { return tiff(0, 0); }, readTiff, tiffRows},
      {"tiff turned", [=] { return tiff(ORIENTATION_LEFTBOT, 0); }, readTiff, tiffRows, false},
      {"tiff tiled", [=] { return tiff(0, 32); }, readTiff, tiffRows, false},
      {"pcx", [] { return raster::Pcx(35, 19, Pattern(35, 19, 3, 5)); },
       [](HISSRC s, int32_t* w, int32_t* h) { return ISReadPCX(s, w, h, 24, nullptr, 0); }, ISReadPCXRows},
      {"psd raw", [] { return raster::Psd(33, 21, Pattern(33, 21, 3, 6), false); }, readPsd, ISReadPSDRows},
      {"psd packbits", [] { return raster::Psd(33, 21, Pattern(33, 21, 3, 7), true); }, readPsd, ISReadPSDRows},
      {"tga raw", [] { return raster::Tga(37, 23, Pattern(37, 23, 3, 8), false); }, readTga, ISReadTGARows},
      {"bmp bottom-up", [] { return raster::Bmp(37, 23, Pattern(37, 23, 3, 11)); }, readBmp, ISReadBMPRows},
      {"bmp top-down", [] { return raster::Bmp(37, 23, Pattern(37, 23, 3, 12), true); }, readBmp, ISReadBMPRows},
      {"tga run-length", [] { return raster::Tga(37, 23, Pattern(37, 23, 3, 9), true); }, readTga, ISReadTGARows},
      {"tga top-down", [] { return raster::Tga(37, 23, Pattern(37, 23, 3, 10), true, true); }, readTga, ISReadTGARows},
  };
}

TEST(RowReads, RowsEqualTheWholeReadAndRefusalsEndTheRead) {
  CTempFolder dir;
  for (const CRowFormat& f : Formats(dir)) {
    const std::string path = dir.Write("picture", f.file());
    CRead whole;
    {
      CSource source(path);
      whole.buffer.Reset(f.readWhole(source.Get(), &whole.width, &whole.height));
      ASSERT_EQ(ISGetLastError(), IS_ERR_OK) << f.name;
    }
    CKeepRows rows;
    {
      CSource source(path);
      ASSERT_EQ(f.readRows(source.Get(), &rows), 1) << f.name;
      EXPECT_EQ(ISGetLastError(), IS_ERR_OK) << f.name;
    }
    EXPECT_EQ(rows.m_nWidth, whole.width) << f.name;
    EXPECT_EQ(rows.m_nRows, uint32_t(whole.height)) << f.name;
    EXPECT_FALSE(rows.m_bOutOfOrder) << f.name;
    EXPECT_EQ(rows.m_pixels, whole.Copy(size_t(whole.width) * size_t(whole.height) * 3)) << f.name;
    for (int32_t refuseAt : {-1, 0, 7}) {
      CKeepRows refusing(refuseAt);
      CSource source(path);
      EXPECT_EQ(f.readRows(source.Get(), &refusing), 0) << f.name << " refusing at " << refuseAt;
      EXPECT_EQ(ISGetLastError(), refuseAt == -1 ? IS_ERR_MEMORY : IS_ERR_CANCELLED) << f.name;
      EXPECT_EQ(refusing.m_nRows, uint32_t(refuseAt + 1)) << f.name << " rows after the refusal";
    }
    CSource source(path);
    EXPECT_EQ(f.readRows(source.Get(), nullptr), 0) << f.name;
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM) << f.name;
  }
}

// A read stopped through the progress callback ends where it stopped: the
// rest of the picture is neither decoded nor handed over as zeros (the show
// stops a superseded picture this way).
TEST(RowReads, AStopThroughTheProgressCallbackEndsTheRows) {
  CTempFolder dir;
  for (const CRowFormat& f : Formats(dir)) {
    if (!f.stoppable) continue;
    const std::string path = dir.Write("picture", f.file());
    CKeepRows rows;
    {
      const CProgressStop stop;
      CSource source(path);
      f.readRows(source.Get(), &rows);
      EXPECT_EQ(ISGetLastError(), IS_ERR_CANCELLED) << f.name;
    }
    EXPECT_GT(rows.m_nRows, 0u) << f.name;
    EXPECT_LT(rows.m_nRows, uint32_t(rows.m_nHeight)) << f.name;
  }
}

}  // namespace
}  // namespace qv::test
