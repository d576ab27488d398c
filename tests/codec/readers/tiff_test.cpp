// The TIFF reader against libtiff's own writes and its RGBA decode.
#include "codec/tiff.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <iterator>
#include <map>

#include "codec/codec_internal.h"
#include "encoders.h"
#include "readers_test_support.h"

namespace qv::test {
namespace {

CRead ReadTiff(const std::string& path, int32_t bits, int32_t page = 0, uint32_t flags = 0) {
  CSource source(path);
  CRead r;
  r.buffer.Reset(ISReadTIFF(source.Get(), &r.width, &r.height, bits, r.palette, page, flags));
  r.error = ISGetLastError();
  return r;
}

// One byte per pixel of a 1-bit buffer.
Bytes Unpack1(const Bytes& packed, uint32_t width, uint32_t height) {
  Bytes out;
  const size_t stride = (width + 7) / 8;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) out.push_back((packed[y * stride + x / 8] >> (7 - x % 8)) & 1);
  return out;
}

// The picture as shown, from stored rows of `bytes` bytes per pixel, by the
// meaning of each Orientation value.
Bytes Display(const Bytes& stored, uint32_t rows, uint32_t cols, size_t bytes, int orientation) {
  const bool swap = orientation >= 5;
  const uint32_t outRows = swap ? cols : rows, outCols = swap ? rows : cols;
  Bytes out(stored.size());
  for (uint32_t i = 0; i < outRows; ++i) {
    for (uint32_t j = 0; j < outCols; ++j) {
      uint32_t r = i, c = j;
      switch (orientation) {
        case 2:
          c = cols - 1 - j;
          break;
        case 3:
          r = rows - 1 - i, c = cols - 1 - j;
          break;
        case 4:
          r = rows - 1 - i;
          break;
        case 5:
          r = j, c = i;
          break;
        case 6:
          r = rows - 1 - j, c = i;
          break;
        case 7:
          r = rows - 1 - j, c = cols - 1 - i;
          break;
        case 8:
          r = j, c = cols - 1 - i;
          break;
        default:
          break;
      }
      std::memcpy(&out[(size_t{i} * outCols + j) * bytes], &stored[(size_t{r} * cols + c) * bytes], bytes);
    }
  }
  return out;
}

// A little-endian TIFF of one page from IFD entries (tag -> type, count,
// value), with `data` placed after the directory.
Bytes HandMadeTiff(const std::map<uint16_t, std::array<uint32_t, 3>>& entries, const Bytes& data = {}) {
  CByteWriter w;
  w.Text("II").U16(42).U32(8).U16(static_cast<uint32_t>(entries.size()));
  for (const auto& [tag, e] : entries) w.U16(tag).U16(e[0]).U32(e[1]).U32(e[2]);
  w.U32(0).Raw(data);
  return w.Get();
}
constexpr uint32_t kShort = 3, kLong = 4;
uint32_t DataOffset(size_t entries) { return static_cast<uint32_t>(8 + 2 + entries * 12 + 4); }

class TiffReader : public ::testing::Test {
 protected:
  std::string Write(const std::vector<CTiffPage>& pages) {
    const std::string path = Name(m_nFiles++);
    WriteTiff(path, pages);
    return path;
  }
  std::string Name(int serial) const {
    std::string name = std::to_string(serial);
    name += ".tif";
    return m_dir.Path(name);
  }
  CTempFolder m_dir;
  int m_nFiles = 0;
};

TEST_F(TiffReader, GreyPagesAtEightBitsShowLibtiffsColours) {
  for (const uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
    for (const uint16_t bits : {1, 4, 8}) {
      CTiffPage page{.width = 13, .height = 5, .bits = bits, .photometric = photometric};
      page.rows = Noise(TiffRowBytes(page) * 5, bits + photometric);
      const std::string path = Write({page});
      const CReference ref = DecodeTiffRgba(path, 0);
      const CRead r = ReadTiff(path, 8);
      ASSERT_EQ(r.error, IS_ERR_OK) << photometric << "/" << bits;
      const Bytes got = r.Copy(13 * 5);
      for (size_t p = 0; p < got.size(); ++p) {
        ASSERT_EQ(Rgb(r.palette[got[p]]), Bytes(ref.pixels.begin() + p * 4, ref.pixels.begin() + p * 4 + 3))
            << photometric << "/" << bits << " pixel " << p;
      }
    }
  }
}

TEST_F(TiffReader, SixteenBitGreyIsScaledToEightBits) {
  CTiffPage page{.width = 7, .height = 3, .bits = 16, .photometric = PHOTOMETRIC_MINISWHITE};
  page.rows = Noise(7 * 3 * 2, 1);
  const CRead r = ReadTiff(Write({page}), 8);
  ASSERT_EQ(r.error, IS_ERR_OK);
  const Bytes got = r.Copy(21);
  for (size_t p = 0; p < 21; ++p) {
    uint16_t v;
    std::memcpy(&v, &page.rows[p * 2], 2);
    ASSERT_EQ(got[p], v * 255 / 65535);
  }
  EXPECT_EQ(Rgb(r.palette[0]), (Bytes{255, 255, 255}));
  EXPECT_EQ(Rgb(r.palette[200]), (Bytes{55, 55, 55}));
}

// Packed samples below 8 bits with more than one to a pixel: each pixel's first.
TEST_F(TiffReader, PackedGreyWithAnExtraSampleGivesItsFirstSample) {
  CTiffPage page{.width = 5, .height = 2, .bits = 4, .samples = 2, .photometric = PHOTOMETRIC_MINISBLACK};
  page.rows = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x2F};
  const CRead r = ReadTiff(Write({page}), 8);
  ASSERT_EQ(r.error, IS_ERR_OK);
  EXPECT_EQ(r.Copy(10), (Bytes{1, 3, 5, 7, 9, 11, 13, 15, 1, 2}));
}

TEST_F(TiffReader, ColorMapsAreScaledOnlyWhenTheyHoldSixteenBitValues) {
  for (const bool wide : {true, false}) {
    CTiffPage page{.width = 4, .height = 1, .bits = 4, .photometric = PHOTOMETRIC_PALETTE, .rows = {0x01, 0x2F}};
    for (uint16_t i = 0; i < 16; ++i) {
      page.red.push_back(static_cast<uint16_t>(wide ? i * 4000 : i * 10));
      page.green.push_back(static_cast<uint16_t>(wide ? 65535 - i : 255 - i));
      page.blue.push_back(static_cast<uint16_t>(i));
    }
    const CRead r = ReadTiff(Write({page}), 8);
    ASSERT_EQ(r.error, IS_ERR_OK);
    EXPECT_EQ(r.Copy(4), (Bytes{0, 1, 2, 15}));
    const ISPalEntry& e = r.palette[15];
    if (wide) {
      EXPECT_EQ(e.red, 15 * 4000 * 255 / 65535);
      EXPECT_EQ(e.green, (65535 - 15) * 255 / 65535);
      EXPECT_EQ(e.blue, 0);
    } else {
      EXPECT_EQ(Rgb(e), (Bytes{150, 240, 15}));
    }
  }
}

TEST_F(TiffReader, RgbStripsAndTilesMatchLibtiffsRgbaDecode) {
  // Tiles of 32: libtiff 4.5.0 refuses uncompressed tiles whose size is not a
  // multiple of 1024 bytes when it reads them without mapping the file.
  for (const uint32_t tile : {0u, 32u}) {
    CTiffPage page{
        .width = 37, .height = 21, .samples = 3, .photometric = PHOTOMETRIC_RGB, .tile = tile, .rowsPerStrip = 4};
    page.rows = Pattern(37, 21, 3, tile);
    const std::string path = Write({page});
    const CReference ref = DecodeTiffRgba(path, 0);
    const CRead r32 = ReadTiff(path, 32), r24 = ReadTiff(path, 24);
    ASSERT_EQ(r32.error, IS_ERR_OK);
    ASSERT_EQ(r24.error, IS_ERR_OK);
    EXPECT_EQ(r32.Copy(ref.pixels.size()), ref.pixels);
    EXPECT_EQ(r24.Copy(37 * 21 * 3), page.rows);
  }
}

// RGB pages of 1, 2 and 4 bits per sample, contiguous and planar, in strips
// and tiles, read in colour: each depth gives what the same picture stored
// at 8 bits per sample gives. At 8 bits a page whose colours all fit the
// palette (1 and 2 bits) is read through it; 4 bits cannot be, nor can any of
// them at 1 bit.
TEST_F(TiffReader, RgbWithFewerThanEightBitsPerSampleReadsInColour) {
  // Tiles of 64: uncompressed tiles must be multiples of 1024 bytes (above).
  const struct {
    uint16_t bits;
    bool planar;
    uint32_t tile;
    uint16_t orientation;
  } cases[] = {{1, false, 0, 0}, {1, true, 0, 6},  {2, false, 0, 0}, {2, true, 0, 0},
               {2, true, 64, 0}, {4, false, 0, 0}, {4, true, 0, 0},  {4, false, 64, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " bits, planar " << c.planar << ", tile " << c.tile);
    CTiffPage page{.width = 70,
                   .height = 67,
                   .bits = c.bits,
                   .samples = 3,
                   .photometric = PHOTOMETRIC_RGB,
                   .planar = c.planar,
                   .orientation = c.orientation,
                   .tile = c.tile,
                   .rowsPerStrip = 5};
    page.rows = Noise(TiffRowBytes(page) * page.height, c.bits * 10 + c.planar);
    const std::string path = Write({page}), eight = Write({TiffAtEightBits(page)});
    for (const int32_t depth : {24, 32}) {
      const CRead want = ReadTiff(eight, depth), got = ReadTiff(path, depth);
      ASSERT_EQ(want.error, IS_ERR_OK);
      ASSERT_EQ(got.error, IS_ERR_OK) << depth;
      EXPECT_EQ(got.width, want.width);
      EXPECT_EQ(got.Copy(70 * 67 * depth / 8), want.Copy(70 * 67 * depth / 8)) << depth;
    }
    const Bytes colours = ReadTiff(eight, 24).Copy(70 * 67 * 3);
    CSource source(path);
    CKeptRows kept;
    EXPECT_EQ(ISReadTIFFRows(source.Get(), 0, &kept), 1);
    EXPECT_EQ(kept.m_pixels, colours);
    const CRead indexed = ReadTiff(path, 8);
    if (c.bits <= 2) {
      ASSERT_EQ(indexed.error, IS_ERR_OK);
      Bytes shown;
      for (const uint8_t i : indexed.Copy(70 * 67)) {
        const Bytes rgb = Rgb(indexed.palette[i]);
        shown.insert(shown.end(), rgb.begin(), rgb.end());
      }
      EXPECT_EQ(shown, colours);
    } else {
      EXPECT_EQ(indexed.error, IS_ERR_DEPTH);
      EXPECT_FALSE(indexed.buffer);
    }
    const CRead bilevel = ReadTiff(path, 1);
    EXPECT_EQ(bilevel.error, IS_ERR_DEPTH);
    EXPECT_FALSE(bilevel.buffer);
  }
}

TEST_F(TiffReader, TiledGreyAndBilevelPagesAreCutAtThePageEdge) {
  CTiffPage grey{.width = 40, .height = 19, .bits = 8, .tile = 16};
  grey.rows = Noise(40 * 19, 2);
  const CRead g = ReadTiff(Write({grey}), 8);
  ASSERT_EQ(g.error, IS_ERR_OK);
  EXPECT_EQ(g.Copy(40 * 19), grey.rows);
  CTiffPage bilevel{.width = 40, .height = 19, .bits = 1, .photometric = PHOTOMETRIC_MINISWHITE, .tile = 16};
  bilevel.rows = Noise(5 * 19, 3);
  const CRead b = ReadTiff(Write({bilevel}), 1);
  ASSERT_EQ(b.error, IS_ERR_OK);
  EXPECT_EQ(b.Copy(5 * 19), bilevel.rows);
}

TEST_F(TiffReader, EveryOrientationIsBroughtUprightAtEachDepth) {
  const uint32_t w = 6, h = 4;
  CTiffPage rgb{.width = w, .height = h, .samples = 3, .photometric = PHOTOMETRIC_RGB, .rows = Noise(w * h * 3, 4)};
  CTiffPage grey{.width = w, .height = h, .bits = 8, .rows = Noise(w * h, 5)};
  CTiffPage bilevel{.width = w, .height = h, .bits = 1, .photometric = PHOTOMETRIC_MINISWHITE, .rows = Noise(h, 6)};
  const Bytes bits = Unpack1(bilevel.rows, w, h);
  for (uint16_t o = 1; o <= 8; ++o) {
    rgb.orientation = grey.orientation = bilevel.orientation = o;
    const uint32_t outW = o >= 5 ? h : w, outH = o >= 5 ? w : h;
    const CRead r24 = ReadTiff(Write({rgb}), 24), r8 = ReadTiff(Write({grey}), 8), r1 = ReadTiff(Write({bilevel}), 1);
    for (const CRead* r : {&r24, &r8, &r1}) {
      ASSERT_EQ(r->error, IS_ERR_OK) << "orientation " << o;
      EXPECT_EQ(r->width, static_cast<int32_t>(outW)) << "orientation " << o;
      EXPECT_EQ(r->height, static_cast<int32_t>(outH)) << "orientation " << o;
    }
    EXPECT_EQ(r24.Copy(w * h * 3), Display(rgb.rows, h, w, 3, o)) << "orientation " << o;
    EXPECT_EQ(r8.Copy(w * h), Display(grey.rows, h, w, 1, o)) << "orientation " << o;
    EXPECT_EQ(Unpack1(r1.Copy((outW + 7) / 8 * outH), outW, outH), Display(bits, h, w, 1, o)) << "orientation " << o;
    const CRead ignored = ReadTiff(Name(m_nFiles - 3), 24, 0, IS_TIFF_IGNORE_ORIENTATION);
    EXPECT_EQ(ignored.Copy(w * h * 3), rgb.rows) << "orientation " << o << " ignored";
  }
}

TEST_F(TiffReader, PagesAreChosenByIndex) {
  CTiffPage first{.width = 3, .height = 2, .bits = 8, .rows = Noise(6, 7)};
  CTiffPage second{.width = 5, .height = 4, .bits = 8, .rows = Noise(20, 8)};
  const std::string path = Write({first, second});
  const CRead r = ReadTiff(path, 8, 1);
  ASSERT_EQ(r.error, IS_ERR_OK);
  EXPECT_EQ(r.width, 5);
  EXPECT_EQ(r.Copy(20), second.rows);
  EXPECT_EQ(ReadTiff(path, 8, 2).error, IS_ERR_BADPARAM);
  EXPECT_EQ(ReadTiff(path, 24, -1).error, IS_ERR_BADPARAM);
  CSource source(path);
  int32_t w = 0, h = 0, bpp = 0;
  ASSERT_EQ(ISGetTIFFDims(source.Get(), 1, &w, &h, &bpp, nullptr), 1);
  EXPECT_EQ(h, 4);
  EXPECT_EQ(bpp, 8);
}

TEST_F(TiffReader, FaxAndMinIsBlackBilevelPagesDeliverTheSameBits) {
  const Bytes white = Noise(3 * 9, 9);  // 0 = white
  Bytes black = white;
  for (auto& b : black) b = static_cast<uint8_t>(~b);
  CTiffPage fax{.width = 20,
                .height = 9,
                .bits = 1,
                .photometric = PHOTOMETRIC_MINISWHITE,
                .compression = COMPRESSION_CCITTFAX4,
                .rows = white};
  CTiffPage plain{.width = 20, .height = 9, .bits = 1, .photometric = PHOTOMETRIC_MINISBLACK, .rows = black};
  const CRead a = ReadTiff(Write({fax}), 1), b = ReadTiff(Write({plain}), 1);
  ASSERT_EQ(a.error, IS_ERR_OK);
  ASSERT_EQ(b.error, IS_ERR_OK);
  EXPECT_EQ(Unpack1(a.Copy(27), 20, 9), Unpack1(white, 20, 9));
  EXPECT_EQ(Unpack1(b.Copy(27), 20, 9), Unpack1(white, 20, 9));
  EXPECT_EQ(Rgb(a.palette[0]), (Bytes{255, 255, 255}));
  EXPECT_EQ(Rgb(a.palette[1]), (Bytes{0, 0, 0}));
}

TEST_F(TiffReader, BilevelPageWithoutPhotometricIsMinIsBlack) {
  // 16 x 2, one byte-aligned uncompressed strip, no Photometric tag.
  const Bytes pixels = {0xF0, 0x0F, 0x00, 0xFF};
  const Bytes file = HandMadeTiff({{256, {kShort, 1, 16}},
                                   {257, {kShort, 1, 2}},
                                   {258, {kShort, 1, 1}},
                                   {259, {kShort, 1, 1}},
                                   {273, {kLong, 1, DataOffset(7)}},
                                   {278, {kShort, 1, 2}},
                                   {279, {kLong, 1, 4}}},
                                  pixels);
  const CRead r = ReadTiff(m_dir.Write("np.tif", file), 1);
  ASSERT_EQ(r.error, IS_ERR_OK);
  EXPECT_EQ(r.Copy(4), (Bytes{0x0F, 0xF0, 0xFF, 0x00}));
}

TEST_F(TiffReader, ResolutionIsReportedTruncated) {
  CTiffPage page{.width = 2,
                 .height = 2,
                 .bits = 8,
                 .xResolution = 204.7f,
                 .yResolution = 98.f,
                 .resolutionUnit = RESUNIT_INCH,
                 .rows = Noise(4, 10)};
  CSource source(Write({page}));
  int32_t w = 0, h = 0, bpp = 0;
  ISResolution res{};
  ASSERT_EQ(ISGetTIFFDims(source.Get(), 0, &w, &h, &bpp, &res), 1);
  EXPECT_EQ(res.x, 204);
  EXPECT_EQ(res.y, 98);
  EXPECT_EQ(res.unit, 2);
  CSource plain(Write({CTiffPage{.width = 2, .height = 2, .rows = Noise(4, 11)}}));
  ASSERT_EQ(ISGetTIFFDims(plain.Get(), 0, &w, &h, &bpp, &res), 1);
  EXPECT_EQ(res.x, 0);
  EXPECT_EQ(res.unit, 0);
}

TEST_F(TiffReader, Refusals) {
  CTiffPage rgb{.width = 4, .height = 4, .samples = 3, .photometric = PHOTOMETRIC_RGB, .rows = Noise(48, 12)};
  const std::string rgbPath = Write({rgb});
  const std::string junk = m_dir.Write("junk.tif", Noise(200, 13));
  const struct {
    std::string path;
    int32_t bits;
    uint32_t flags;
    int32_t error;
  } cases[] = {{rgbPath, 8, 0, IS_ERR_DEPTH},
               {rgbPath, 1, 0, IS_ERR_DEPTH},
               {rgbPath, 16, 0, IS_ERR_BADPARAM},
               {rgbPath, 24, IS_TIFF_PACKED_DIB, IS_ERR_BADPARAM},
               {junk, 24, 0, IS_ERR_TIFF}};
  for (const auto& c : cases) {
    const CRead r = ReadTiff(c.path, c.bits, 0, c.flags);
    EXPECT_EQ(r.error, c.error) << c.path << " at " << c.bits;
    EXPECT_FALSE(r.buffer);
  }
  CSource source(rgbPath);
  int32_t w = 0, h = 0;
  EXPECT_EQ(ISReadTIFF(source.Get(), &w, &h, 8, nullptr, 0, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

// One uncompressed strip of width x height pixels whose StripByteCounts
// declares the whole strip while the file holds only `present` bytes of it.
Bytes OneStripTiff(uint32_t width, uint32_t height, uint16_t samples, uint16_t bits, uint32_t photometric,
                   uint32_t declared, size_t present) {
  const uint32_t data = DataOffset(samples > 1 ? 9 : 8);
  std::map<uint16_t, std::array<uint32_t, 3>> entries = {{256, {kLong, 1, width}},        {257, {kLong, 1, height}},
                                                         {258, {kShort, 1, bits}},        {259, {kShort, 1, 1}},
                                                         {262, {kShort, 1, photometric}}, {273, {kLong, 1, data}},
                                                         {278, {kLong, 1, height}},       {279, {kLong, 1, declared}}};
  Bytes payload;
  if (samples > 1) {  // BitsPerSample out of line, before the strip
    entries[258] = {kShort, samples, data};
    entries[273] = {kLong, 1, data + 2u * samples};
    entries[277] = {kShort, 1, samples};
    for (uint16_t i = 0; i < samples; ++i) payload.insert(payload.end(), {static_cast<uint8_t>(bits), 0});
  }
  const Bytes strip = Noise(present, bits);
  payload.insert(payload.end(), strip.begin(), strip.end());
  return HandMadeTiff(entries, payload);
}

TEST_F(TiffReader, StripsShorterThanDeclaredFailCleanly) {
  const struct {
    uint16_t samples, bits;
    uint32_t photometric;
    int32_t depth, error;
  } cases[] = {{1, 8, 1, 8, IS_ERR_TIFF}, {1, 1, 0, 1, IS_ERR_FILEREAD}, {3, 8, 2, 24, IS_ERR_TIFF}};
  for (const auto& c : cases) {
    const uint32_t full = 64u * 64u * c.samples * c.bits / 8;
    const Bytes file = OneStripTiff(64, 64, c.samples, c.bits, c.photometric, full, full / 2);
    const CRead r = ReadTiff(m_dir.Write("short.tif", file), c.depth);
    EXPECT_EQ(r.error, c.error) << c.depth;
    EXPECT_FALSE(r.buffer);
    const CRead whole =
        ReadTiff(m_dir.Write("whole.tif", OneStripTiff(64, 64, c.samples, c.bits, c.photometric, full, full)), c.depth);
    EXPECT_EQ(whole.error, IS_ERR_OK) << c.depth;
  }
}

TEST_F(TiffReader, HugeDeclaredSizeFailsFastWithBoundedMemory) {
  // 65536 x 32768 pixels (2^31) in one strip that the file does not hold.
  for (const uint16_t bits : {1, 8}) {
    const uint32_t declared = static_cast<uint32_t>(65536ull * 32768ull * bits / 8 - 1);
    const std::string path = m_dir.Write("bomb.tif", OneStripTiff(65536, 32768, 1, bits, 1, declared, 64));
    const auto start = std::chrono::steady_clock::now();
    for (const int32_t depth : {1, 8, 24, 32}) {
      const CRead r = ReadTiff(path, depth);
      EXPECT_NE(r.error, IS_ERR_OK) << bits << " at " << depth;
      EXPECT_FALSE(r.buffer);
      if (depth >= 8) {
        EXPECT_EQ(r.error, IS_ERR_MEMORY) << bits << " at " << depth;
      }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
}

}  // namespace
}  // namespace qv::test
