// The BMP reader on files built byte by byte.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>

#include "readers_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

struct BmpLayout {
  int32_t width = 2;
  int32_t height = 2;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t headerSize = 40;
  uint32_t colorsUsed = 0;
  int32_t xPerMeter = 0;
  int32_t yPerMeter = 0;
  std::vector<ISPalEntry> palette;
  std::optional<std::array<uint32_t, 3>> masks;
  Bytes gap;                           // between the palette and the pixels
  std::optional<uint32_t> dataOffset;  // default: right after the gap
  Bytes pixels;                        // stored rows or the RLE stream
};

Bytes MakeBmp(const BmpLayout& s) {
  const uint32_t before = 54 + (s.masks ? 12 : 0) + uint32_t(s.palette.size()) * 4 + uint32_t(s.gap.size());
  CByteWriter w;
  w.Text("BM").U32(before + uint32_t(s.pixels.size())).U32(0).U32(s.dataOffset.value_or(before));
  w.U32(s.headerSize).U32(uint32_t(s.width)).U32(uint32_t(s.height)).U16(1).U16(s.bits).U32(s.compression);
  w.U32(uint32_t(s.pixels.size())).U32(uint32_t(s.xPerMeter)).U32(uint32_t(s.yPerMeter)).U32(s.colorsUsed).U32(0);
  if (s.masks)
    for (uint32_t m : *s.masks) w.U32(m);
  for (const ISPalEntry& e : s.palette) w.U8(e.blue).U8(e.green).U8(e.red).U8(e.reserved);
  w.Raw(s.gap).Raw(s.pixels);
  return w.Get();
}

// Stored rows, each padded to a multiple of 4 bytes.
Bytes Rows(const std::vector<Bytes>& rows) {
  Bytes out;
  for (const Bytes& row : rows) {
    out.insert(out.end(), row.begin(), row.end());
    out.resize((out.size() + 3) / 4 * 4, 0);
  }
  return out;
}

std::vector<ISPalEntry> Palette(size_t count) {
  std::vector<ISPalEntry> p;
  for (size_t i = 0; i < count; ++i) p.push_back({uint8_t(i * 10 + 1), uint8_t(i * 10 + 2), uint8_t(i * 10 + 3), 0});
  return p;
}

class BmpReader : public ::testing::Test {
 protected:
  void Read(const Bytes& file, int32_t bits, CRead& out, bool withPalette = true) {
    CSource source(m_dir.Write("t.bmp", file));
    ASSERT_NE(source.Get(), nullptr);
    out.buffer.Reset(ISReadBMP(source.Get(), &out.width, &out.height, bits, withPalette ? out.palette : nullptr, 0));
    out.error = ISGetLastError();
  }
  CTempFolder m_dir;
};

TEST_F(BmpReader, DimensionQueryReportsTheStoredHeader) {
  BmpLayout s;
  s.width = 5, s.height = -3, s.bits = 24, s.xPerMeter = 3937, s.yPerMeter = 2834;
  s.pixels = Bytes(48, 0);
  CSource source(m_dir.Write("d.bmp", MakeBmp(s)));
  int32_t w = 0, h = 0, bits = 0;
  ISResolution res{};
  ASSERT_EQ(ISGetBMPDims(source.Get(), &w, &h, &bits, &res), 1);
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, -3);
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(res.x, 39);
  EXPECT_EQ(res.y, 28);
  EXPECT_EQ(res.unit, 1);

  // An older 12-byte header is answered from the 40 bytes read; the reads refuse it.
  s.headerSize = 12;
  CSource old(m_dir.Write("old.bmp", MakeBmp(s)));
  EXPECT_EQ(ISGetBMPDims(old.Get(), &w, &h, &bits, nullptr), 1);
  for (int32_t depth : {8, 24}) {
    old.Rewind();
    ISPalEntry pal[256];
    EXPECT_EQ(ISReadBMP(old.Get(), &w, &h, depth, pal, 0), nullptr);
    EXPECT_EQ(ISGetLastError(), IS_ERR_NOTBMP);
  }

  CSource shortFile(m_dir.Write("short.bmp", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40}));
  EXPECT_EQ(ISGetBMPDims(shortFile.Get(), &w, &h, &bits, nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILEREAD);
  CSource notBmp(m_dir.Write("x.bmp", Bytes(60, 'x')));
  EXPECT_EQ(ISGetBMPDims(notBmp.Get(), &w, &h, &bits, nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_NOTBMP);
  EXPECT_EQ(ISGetBMPDims(notBmp.Get(), nullptr, &h, &bits, nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

TEST_F(BmpReader, TopDownAndBottomUpGiveTheSamePicture) {
  const Bytes top = {1, 2, 3, 4, 5, 6}, bottom = {7, 8, 9, 10, 11, 12};  // blue, green, red
  BmpLayout up;
  up.pixels = Rows({bottom, top});
  BmpLayout down = up;
  down.height = -2;
  down.pixels = Rows({top, bottom});
  CRead a, b;
  Read(MakeBmp(up), 24, a);
  Read(MakeBmp(down), 24, b);
  ASSERT_TRUE(a.buffer && b.buffer);
  EXPECT_EQ(a.error, IS_ERR_OK);
  EXPECT_EQ(b.error, IS_ERR_OK);
  EXPECT_EQ(b.height, 2);
  const Bytes expected = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10};
  EXPECT_EQ(a.Copy(12), expected);
  EXPECT_EQ(b.Copy(12), expected);
}

TEST_F(BmpReader, TrueColourRowsAtEveryOutputDepth) {
  BmpLayout s24;
  s24.width = 1, s24.height = 1, s24.pixels = Rows({{10, 20, 30}});
  CRead rgba;
  Read(MakeBmp(s24), 32, rgba);
  EXPECT_EQ(rgba.Copy(4), (Bytes{30, 20, 10, 255}));

  BmpLayout s32 = s24;
  s32.bits = 32, s32.pixels = Rows({{10, 20, 30, 40}});
  CRead keep, drop;
  Read(MakeBmp(s32), 32, keep);
  Read(MakeBmp(s32), 24, drop);
  EXPECT_EQ(keep.Copy(4), (Bytes{30, 20, 10, 40}));
  EXPECT_EQ(drop.Copy(3), (Bytes{30, 20, 10}));
}

TEST_F(BmpReader, SixteenBitRowsWithAndWithoutMasks) {
  BmpLayout plain;
  plain.width = 3, plain.height = 1, plain.bits = 16;
  plain.pixels = Rows({{0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x02}});  // white, full blue, green 16
  CRead a;
  Read(MakeBmp(plain), 24, a);
  EXPECT_EQ(a.Copy(9), (Bytes{255, 255, 255, 0, 0, 255, 0, 131, 0}));

  BmpLayout masked = plain;
  masked.compression = 3;
  masked.masks = std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F};
  masked.pixels = Rows({{0xFF, 0xFF, 0x1F, 0x00, 0xE0, 0x07}});
  const Bytes file = MakeBmp(masked);
  ASSERT_EQ(LoadLE32(file, 10), 66u);  // first pixel at offset 66
  CRead b;
  Read(file, 24, b);
  EXPECT_EQ(b.error, IS_ERR_OK);
  EXPECT_EQ(b.Copy(9), (Bytes{248, 252, 248, 0, 0, 248, 0, 252, 0}));
}

TEST_F(BmpReader, ThirtyTwoBitRowsHonourTheirMasks) {
  BmpLayout s;
  s.width = 2, s.height = 1, s.bits = 32, s.compression = 3;
  s.pixels = Rows({{0x44, 0x33, 0x22, 0x11, 0x04, 0x03, 0x02, 0x01}});  // 0x11223344, 0x01020304
  const struct {
    std::array<uint32_t, 3> masks;
    Bytes rgba;
  } cases[] = {
      // The usual layout reads as an uncompressed file does, the top byte as alpha.
      {{0x00FF0000, 0x0000FF00, 0x000000FF}, {0x22, 0x33, 0x44, 0x11, 0x02, 0x03, 0x04, 0x01}},
      // Red in the top byte: no alpha there.
      {{0xFF000000, 0x00FF0000, 0x0000FF00}, {0x11, 0x22, 0x33, 255, 0x01, 0x02, 0x03, 255}},
      // Narrow fields end on bit 7 of their channel.
      {{0x000F0000, 0x00000F00, 0x0000000F}, {0x20, 0x30, 0x40, 0x11, 0x20, 0x30, 0x40, 0x01}},
  };
  for (const auto& c : cases) {
    s.masks = c.masks;
    CRead d;
    Read(MakeBmp(s), 32, d);
    EXPECT_EQ(d.error, IS_ERR_OK);
    EXPECT_EQ(d.Copy(8), c.rgba) << std::hex << c.masks[0];
  }
}

TEST_F(BmpReader, IndexedRowsAtOneEightAndTwentyFourBits) {
  BmpLayout s;
  s.width = 10, s.height = 1, s.bits = 1, s.palette = Palette(2);
  s.pixels = Rows({{0xA5, 0xC0}});
  CRead packed, indices, rgb;
  Read(MakeBmp(s), 1, packed);
  Read(MakeBmp(s), 8, indices);
  Read(MakeBmp(s), 24, rgb);
  EXPECT_EQ(packed.error, IS_ERR_OK);
  EXPECT_EQ(packed.Copy(2), (Bytes{0xA5, 0xC0}));
  EXPECT_EQ(indices.Copy(10), (Bytes{1, 0, 1, 0, 0, 1, 0, 1, 1, 1}));
  EXPECT_EQ(rgb.Copy(6), (Bytes{13, 12, 11, 3, 2, 1}));
  EXPECT_EQ(packed.palette[1].blue, 11);
  EXPECT_EQ(packed.palette[2].blue, packed.palette[0].blue);

  BmpLayout s4;
  s4.width = 3, s4.height = 1, s4.bits = 4, s4.palette = Palette(16);
  s4.pixels = Rows({{0x2F, 0x70}});
  CRead four;
  Read(MakeBmp(s4), 8, four);
  EXPECT_EQ(four.Copy(3), (Bytes{2, 15, 7}));
  for (int i = 16; i < 256; ++i) ASSERT_EQ(std::memcmp(&four.palette[i], &four.palette[0], 4), 0) << i;
}

TEST_F(BmpReader, ColoursMissingFromTheFileAreBlack) {
  BmpLayout s;
  s.width = 2, s.height = 1, s.bits = 8, s.colorsUsed = 2, s.palette = Palette(2);
  s.pixels = Rows({{1, 5}});
  CRead d;
  Read(MakeBmp(s), 24, d);
  EXPECT_EQ(d.Copy(6), (Bytes{13, 12, 11, 0, 0, 0}));
}

TEST_F(BmpReader, PaletteQuery) {
  BmpLayout s;
  s.bits = 4, s.colorsUsed = 3, s.palette = Palette(3), s.pixels = Rows({{0}, {0}});
  CSource source(m_dir.Write("p.bmp", MakeBmp(s)));
  std::array<ISPalEntry, 256> pal{};
  int32_t count = 0;
  ASSERT_EQ(ISGetBMPPalette(source.Get(), &count, pal.data()), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(pal[2].blue, 21);
  EXPECT_EQ(pal[2].red, 23);
  source.Rewind();
  EXPECT_EQ(ISGetBMPPalette(source.Get(), &count, nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);

  s.colorsUsed = 0, s.palette = Palette(16);
  CSource all(m_dir.Write("p16.bmp", MakeBmp(s)));
  ASSERT_EQ(ISGetBMPPalette(all.Get(), &count, pal.data()), 1);
  EXPECT_EQ(count, 16);

  BmpLayout rgb;
  rgb.pixels = Rows({{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}});
  CSource deep(m_dir.Write("p24.bmp", MakeBmp(rgb)));
  EXPECT_EQ(ISGetBMPPalette(deep.Get(), &count, pal.data()), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_DEPTH);
}

struct RefusalCase {
  const char* label;
  void (*edit)(BmpLayout&);
  int32_t bits;
  int32_t error;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.label << " at " << c.bits << " bits: " << ISErrorName(c.error);
}

const RefusalCase kRefusals[] = {
    {"zero_width_24", [](BmpLayout& s) { s.width = 0; }, 24, IS_ERR_NOTBMP},
    {"negative_width_24", [](BmpLayout& s) { s.width = -4; }, 24, IS_ERR_NOTBMP},
    {"zero_height_24", [](BmpLayout& s) { s.height = 0; }, 24, IS_ERR_MEMORY},
    {"zero_height_8", [](BmpLayout& s) { s.bits = 8, s.palette = Palette(256), s.height = 0; }, 8, IS_ERR_MEMORY},
    {"rle8_on_4_bits", [](BmpLayout& s) { s.bits = 4, s.compression = 1, s.palette = Palette(16); }, 24, IS_ERR_NOTBMP},
    {"rle4_on_24_bits", [](BmpLayout& s) { s.compression = 2; }, 24, IS_ERR_NOTBMP},
    {"compression_5", [](BmpLayout& s) { s.compression = 5; }, 24, IS_ERR_NOTBMP},
    {"bit_count_2", [](BmpLayout& s) { s.bits = 2; }, 24, IS_ERR_NOTBMP},
    {"bit_count_2_at_8", [](BmpLayout& s) { s.bits = 2; }, 8, IS_ERR_NOTBMP},
    {"sixteen_bits_at_8", [](BmpLayout& s) { s.bits = 16; }, 8, IS_ERR_DEPTH},
    {"eight_bits_at_1", [](BmpLayout& s) { s.bits = 8, s.palette = Palette(256); }, 1, IS_ERR_DEPTH},
    {"bitfields_at_8", [](BmpLayout& s) { s.bits = 8, s.compression = 3, s.palette = Palette(256); }, 8, IS_ERR_NOTBMP},
    {"data_offset_inside_palette_at_8", [](BmpLayout& s) { s.bits = 8, s.palette = Palette(256), s.dataOffset = 60; },
     8, IS_ERR_NOTBMP},
    {"data_offset_past_end", [](BmpLayout& s) { s.dataOffset = 100000; }, 24, IS_ERR_NOTBMP},
    {"palette_cut_short", [](BmpLayout& s) { s.bits = 8, s.palette = Palette(3), s.pixels.clear(); }, 24,
     IS_ERR_FILEREAD},
    {"depth_16_requested", [](BmpLayout&) {}, 16, IS_ERR_BADPARAM},
    {"huge_24", [](BmpLayout& s) { s.width = 100000, s.height = 100000; }, 24, IS_ERR_FILEREAD},
    {"huge_8", [](BmpLayout& s) { s.bits = 8, s.palette = Palette(256), s.width = 100000, s.height = 100000; }, 8,
     IS_ERR_FILEREAD},
    {"huge_rle",
     [](BmpLayout& s) { s.bits = 8, s.compression = 1, s.palette = Palette(256), s.width = 100000, s.height = 100000; },
     24, IS_ERR_FILEREAD},
    // Frames the file cannot hold a first row (or, run-length coded, an
    // eighth of the least encoding) of are refused before any buffer exists.
    {"max_width_min_height_32", [](BmpLayout& s) { s.bits = 32, s.width = INT32_MAX, s.height = INT32_MIN; }, 32,
     IS_ERR_FILEREAD},
    {"max_width_max_height_24", [](BmpLayout& s) { s.width = INT32_MAX, s.height = INT32_MAX; }, 24, IS_ERR_FILEREAD},
    {"max_width_max_height_8",
     [](BmpLayout& s) { s.bits = 8, s.palette = Palette(256), s.width = INT32_MAX, s.height = INT32_MAX; }, 8,
     IS_ERR_FILEREAD},
    {"max_rle",
     [](BmpLayout& s) {
       s.bits = 8, s.compression = 1, s.palette = Palette(256), s.width = INT32_MAX, s.height = INT32_MAX;
     },
     32, IS_ERR_FILEREAD},
    {"rle_top_down", [](BmpLayout& s) { s.bits = 8, s.compression = 1, s.palette = Palette(256), s.height = -2; }, 8,
     IS_ERR_MEMORY},
};

class BmpRefusals : public BmpReader, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(BmpRefusals, FailWithTheirCode) {
  BmpLayout s;
  s.pixels = Rows({{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}});
  GetParam().edit(s);
  CRead d;
  Read(MakeBmp(s), GetParam().bits, d);
  EXPECT_FALSE(d.buffer);
  EXPECT_EQ(d.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Table, BmpRefusals, ::testing::ValuesIn(kRefusals), NameFrom<&RefusalCase::label>());

TEST_F(BmpReader, EightBitReadNeedsAPalette) {
  BmpLayout s;
  s.bits = 8, s.palette = Palette(256), s.pixels = Rows({{0, 0}, {0, 0}});
  CRead d;
  Read(MakeBmp(s), 8, d, false);
  EXPECT_FALSE(d.buffer);
  EXPECT_EQ(d.error, IS_ERR_BADPARAM);
}

TEST_F(BmpReader, TruncatedRowsKeepWhatWasRead) {
  BmpLayout s;
  s.width = 1, s.height = 3, s.pixels = Rows({{1, 2, 3}, {4, 5, 6}});  // bottom two rows only
  CRead d;
  Read(MakeBmp(s), 24, d);
  ASSERT_TRUE(d.buffer);
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
  EXPECT_EQ(d.Copy(9), (Bytes{0, 0, 0, 6, 5, 4, 3, 2, 1}));
}

// ---- RLE ----

BmpLayout RleLayout(uint16_t bits, int32_t width, int32_t height, Bytes stream) {
  BmpLayout s;
  s.bits = bits, s.compression = bits == 8 ? 1 : 2, s.width = width, s.height = height;
  s.colorsUsed = 16, s.palette = Palette(16), s.pixels = std::move(stream);
  return s;
}

TEST_F(BmpReader, Rle8RunsEscapesAndDeltas) {
  const Bytes stream = {
      0x03, 0x05,                    // bottom row: 3 x index 5
      0x00, 0x03, 0x01, 0x02, 0x03,  // absolute 1 2 3 ...
      0x00,                          // ... and its pad byte
      0x00, 0x00,                    // end of line
      0x00, 0x02, 0x01, 0x01,        // delta right 1, up 1
      0x09, 0x07,                    // a run past the right edge is clipped
      0x00, 0x01,                    // end of bitmap
  };
  const BmpLayout s = RleLayout(8, 5, 3, stream);
  CRead idx, rgb;
  Read(MakeBmp(s), 8, idx);
  Read(MakeBmp(s), 24, rgb);
  EXPECT_EQ(idx.error, IS_ERR_OK);
  EXPECT_EQ(idx.Copy(15), (Bytes{0, 7, 7, 7, 7, 0, 0, 0, 0, 0, 5, 5, 5, 1, 2}));
  ASSERT_TRUE(rgb.buffer);
  EXPECT_EQ(rgb.error, IS_ERR_OK);
  const Bytes firstPixels = rgb.Copy(6);
  EXPECT_EQ(firstPixels, (Bytes{3, 2, 1, 73, 72, 71}));  // background is entry 0's colour
}

TEST_F(BmpReader, Rle4AlternatesNibbles) {
  const Bytes stream = {
      0x05, 0x12,                    // 1 2 1 2 1
      0x00, 0x05, 0x34, 0x56, 0x70,  // absolute 3 4 5 6 7, 3 data bytes ...
      0x00,                          // ... and a pad
      0x00, 0x01,
  };
  CRead d;
  Read(MakeBmp(RleLayout(4, 10, 1, stream)), 8, d);
  EXPECT_EQ(d.error, IS_ERR_OK);
  EXPECT_EQ(d.Copy(10), (Bytes{1, 2, 1, 2, 1, 3, 4, 5, 6, 7}));
}

TEST_F(BmpReader, RleWithoutEndOfBitmapKeepsDecodedRows) {
  CRead d, rgb;
  Read(MakeBmp(RleLayout(8, 2, 2, {0x02, 0x09, 0x00, 0x00})), 8, d);
  ASSERT_TRUE(d.buffer);
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
  EXPECT_EQ(d.Copy(4), (Bytes{0, 0, 9, 9}));
  // In colour, the rows the data passed take colour 0; the rows it never
  // reached are left untouched (0).
  Read(MakeBmp(RleLayout(8, 1, 3, {0x01, 0x09, 0x00, 0x00})), 24, rgb);
  ASSERT_TRUE(rgb.buffer);
  EXPECT_EQ(rgb.error, IS_ERR_FILEREAD);
  const Bytes rows = rgb.Copy(9);
  EXPECT_EQ(Bytes(rows.begin(), rows.begin() + 6), (Bytes{0, 0, 0, 3, 2, 1}));
}

TEST_F(BmpReader, RleDeltasFarOutsideThePictureAreHarmless) {
  Bytes stream;
  for (int i = 0; i < 2000; ++i) stream.insert(stream.end(), {0x00, 0x02, 0xFF, 0x00});  // far right
  stream.insert(stream.end(), {0xFF, 0x01, 0x00, 0x02, 0x00, 0xFF, 0x10, 0x02, 0x00, 0x01});
  CRead d;
  Read(MakeBmp(RleLayout(8, 4, 2, stream)), 24, d);
  EXPECT_EQ(d.error, IS_ERR_OK);
  ASSERT_TRUE(d.buffer);
  EXPECT_EQ(d.Copy(3), (Bytes{3, 2, 1}));
}

}  // namespace
}  // namespace qv::test
