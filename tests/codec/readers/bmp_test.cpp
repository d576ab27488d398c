// The BMP reader on files built byte by byte.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
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
  uint32_t headerSize = 40;  // 12, 108 and 124 in their own layouts, any other in the 40-byte one
  uint32_t colorsUsed = 0;
  int32_t xPerMeter = 0;
  int32_t yPerMeter = 0;
  std::vector<ISPalEntry> palette;
  std::optional<std::array<uint32_t, 3>> masks;
  Bytes gap;                           // between the palette and the pixels
  std::optional<uint32_t> dataOffset;  // default: right after the gap
  Bytes pixels;                        // stored rows or the RLE stream
  std::optional<size_t> length;        // cut the file to this many bytes
};

Bytes MakeBmp(const BmpLayout& s) {
  const bool core = s.headerSize == 12;
  const bool masksInside = s.headerSize == 108 || s.headerSize == 124;
  const uint32_t header = core || masksInside ? s.headerSize : 40;
  const uint32_t entryBytes = core ? 3 : 4;
  const uint32_t before = 14 + header + (s.masks && !masksInside ? 12 : 0) + uint32_t(s.palette.size()) * entryBytes +
                          uint32_t(s.gap.size());
  CByteWriter w;
  w.Text("BM").U32(before + uint32_t(s.pixels.size())).U32(0).U32(s.dataOffset.value_or(before));
  if (core) {
    w.U32(12).U16(uint32_t(s.width)).U16(uint32_t(s.height)).U16(1).U16(s.bits);
  } else {
    w.U32(s.headerSize).U32(uint32_t(s.width)).U32(uint32_t(s.height)).U16(1).U16(s.bits).U32(s.compression);
    w.U32(uint32_t(s.pixels.size())).U32(uint32_t(s.xPerMeter)).U32(uint32_t(s.yPerMeter)).U32(s.colorsUsed).U32(0);
  }
  if (masksInside) {
    for (uint32_t m : s.masks.value_or(std::array<uint32_t, 3>{})) w.U32(m);
    w.U32(0xFF000000u).Fill(header - 56, 0xA5);  // alpha mask; colour space and profile are not read
  } else if (s.masks) {
    for (uint32_t m : *s.masks) w.U32(m);
  }
  for (const ISPalEntry& e : s.palette) {
    w.U8(e.blue).U8(e.green).U8(e.red);
    if (!core) w.U8(e.reserved);
  }
  w.Raw(s.gap).Raw(s.pixels);
  if (s.length) w.Get().resize(*s.length);
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

  // A header size the reader does not know is answered from its first 40
  // bytes; the reads and the palette query refuse it.
  s.headerSize = 64;
  CSource unknown(m_dir.Write("unknown.bmp", MakeBmp(s)));
  EXPECT_EQ(ISGetBMPDims(unknown.Get(), &w, &h, &bits, nullptr), 1);
  EXPECT_EQ(w, 5);
  for (int32_t depth : {8, 24}) {
    unknown.Rewind();
    ISPalEntry pal[256];
    EXPECT_EQ(ISReadBMP(unknown.Get(), &w, &h, depth, pal, 0), nullptr);
    EXPECT_EQ(ISGetLastError(), IS_ERR_NOTBMP);
  }
  unknown.Rewind();
  int32_t count = 0;
  ISPalEntry pal[256];
  EXPECT_EQ(ISGetBMPPalette(unknown.Get(), &count, pal), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_NOTBMP);

  // The 12-byte header holds 16-bit sizes, unsigned; a file of a few bytes
  // is enough to answer.
  s.headerSize = 12, s.width = 40000, s.height = 3, s.bits = 1, s.pixels.clear();
  CSource core(m_dir.Write("core.bmp", MakeBmp(s)));
  ASSERT_EQ(ISGetBMPDims(core.Get(), &w, &h, &bits, &res), 1);
  EXPECT_EQ(w, 40000);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(bits, 1);
  EXPECT_EQ(res.x, 0);

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

// An index past the file's colours takes entry 0 at every depth, as the 8-bit
// read's palette gives it.
TEST_F(BmpReader, ColoursMissingFromTheFileTakeEntryZero) {
  BmpLayout s;
  s.width = 2, s.height = 1, s.bits = 8, s.colorsUsed = 2, s.palette = Palette(2);
  s.pixels = Rows({{1, 5}});
  CRead d;
  Read(MakeBmp(s), 24, d);
  EXPECT_EQ(d.Copy(6), (Bytes{13, 12, 11, 3, 2, 1}));
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
    // The 12-, 108- and 124-byte headers meet the same checks.
    {"unknown_header_size", [](BmpLayout& s) { s.headerSize = 64; }, 24, IS_ERR_NOTBMP},
    {"unknown_header_size_at_8", [](BmpLayout& s) { s.bits = 8, s.palette = Palette(256), s.headerSize = 56; }, 8,
     IS_ERR_NOTBMP},
    {"core_zero_width", [](BmpLayout& s) { s.headerSize = 12, s.width = 0; }, 24, IS_ERR_NOTBMP},
    {"core_palette_cut_short_at_8", [](BmpLayout& s) { s.headerSize = 12, s.bits = 8, s.palette = Palette(3); }, 8,
     IS_ERR_FILEREAD},
    {"header_124_cut_short", [](BmpLayout& s) { s.headerSize = 124, s.length = 100; }, 24, IS_ERR_FILEREAD},
    {"header_124_data_offset_inside_header_at_8",
     [](BmpLayout& s) { s.headerSize = 124, s.bits = 8, s.palette = Palette(256), s.dataOffset = 100; }, 8,
     IS_ERR_NOTBMP},
    {"header_124_negative_width", [](BmpLayout& s) { s.headerSize = 124, s.width = -2; }, 32, IS_ERR_NOTBMP},
    {"header_124_rle_top_down",
     [](BmpLayout& s) { s.headerSize = 124, s.bits = 8, s.compression = 1, s.palette = Palette(256), s.height = -2; },
     24, IS_ERR_MEMORY},
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

// ---- Header sizes ----

// Stored rows of a climbing byte pattern, with a full palette for 1 to 8 bits.
BmpLayout Pattern(uint16_t bits, int32_t width, int32_t height) {
  BmpLayout s;
  s.bits = bits, s.width = width, s.height = height;
  if (bits <= 8) s.palette = Palette(size_t{1} << bits);
  const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
  s.pixels.resize(stride * size_t(std::abs(height)));
  for (size_t i = 0; i < s.pixels.size(); ++i) s.pixels[i] = uint8_t(i * 37 + 11);
  return s;
}

struct PictureCase {
  const char* label;
  BmpLayout (*make)();
};

void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.label; }

const PictureCase kPictures[] = {
    {"one_bit", [] { return Pattern(1, 10, 3); }},
    {"four_bits", [] { return Pattern(4, 5, 3); }},
    {"eight_bits", [] { return Pattern(8, 5, 3); }},
    {"eight_bits_five_colours_and_a_gap",
     [] {
       BmpLayout s = Pattern(8, 5, 3);
       s.colorsUsed = 5, s.palette = Palette(5), s.gap = Bytes(6, 9);
       return s;
     }},
    {"rle8",
     [] {
       return RleLayout(8, 5, 3, {0x03, 0x05, 0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x09, 0x07, 0x00, 0x01});
     }},
    {"rle4",
     [] {
       return RleLayout(4, 10, 1, {0x05, 0x12, 0x00, 0x05, 0x34, 0x56, 0x70, 0x00, 0x00, 0x01});
     }},
    {"sixteen_bits", [] { return Pattern(16, 3, 2); }},
    {"sixteen_bits_565",
     [] {
       BmpLayout s = Pattern(16, 3, 2);
       s.compression = 3, s.masks = std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F};
       return s;
     }},
    {"twenty_four_bits", [] { return Pattern(24, 3, 2); }},
    {"twenty_four_bits_top_down", [] { return Pattern(24, 3, -2); }},
    {"twenty_four_bits_data_offset_before_the_pixels",
     [] {
       BmpLayout s = Pattern(24, 2, 2);
       s.gap = Bytes(4, 0x77);
       return s;
     }},
    {"thirty_two_bits", [] { return Pattern(32, 2, 2); }},
    {"thirty_two_bits_red_in_the_top_byte",
     [] {
       BmpLayout s = Pattern(32, 2, 2);
       s.compression = 3, s.masks = std::array<uint32_t, 3>{0xFF000000, 0x00FF0000, 0x0000FF00};
       return s;
     }},
};

class BmpHeaderSizes : public BmpReader, public ::testing::WithParamInterface<PictureCase> {};

// One picture written with each header size reads as its 40-byte twin does:
// the same dimensions, palette and pixels at every depth the read offers.
TEST_P(BmpHeaderSizes, ReadAsTheFortyByteHeaderDoes) {
  const BmpLayout base = GetParam().make();
  const Bytes baseFile = MakeBmp(base);
  // The 12-byte header has no compression, colour count or top-down rows.
  const bool coreFits = base.compression == 0 && base.colorsUsed == 0 && base.height > 0;
  for (uint32_t size : {12u, 108u, 124u}) {
    if (size == 12 && !coreFits) continue;
    SCOPED_TRACE(size);
    BmpLayout variant = base;
    variant.headerSize = size;
    const Bytes file = MakeBmp(variant);

    CSource a(m_dir.Write("a.bmp", baseFile)), b(m_dir.Write("b.bmp", file));
    int32_t dims[2][3] = {};
    ASSERT_EQ(ISGetBMPDims(a.Get(), &dims[0][0], &dims[0][1], &dims[0][2], nullptr), 1);
    ASSERT_EQ(ISGetBMPDims(b.Get(), &dims[1][0], &dims[1][1], &dims[1][2], nullptr), 1);
    EXPECT_EQ(std::memcmp(dims[0], dims[1], sizeof dims[0]), 0);
    if (base.bits <= 8) {
      a.Rewind(), b.Rewind();
      std::array<ISPalEntry, 256> pa{}, pb{};
      int32_t ca = 0, cb = 0;
      ASSERT_EQ(ISGetBMPPalette(a.Get(), &ca, pa.data()), 1);
      ASSERT_EQ(ISGetBMPPalette(b.Get(), &cb, pb.data()), 1);
      EXPECT_EQ(cb, ca);
      EXPECT_EQ(std::memcmp(pa.data(), pb.data(), sizeof pa), 0);
    }

    for (int32_t depth : {1, 8, 24, 32}) {
      if ((depth == 1 && base.bits != 1) || (depth == 8 && base.bits > 8)) continue;
      SCOPED_TRACE(depth);
      CRead want, got;
      Read(baseFile, depth, want);
      Read(file, depth, got);
      ASSERT_TRUE(want.buffer);
      ASSERT_EQ(want.error, IS_ERR_OK);
      ASSERT_TRUE(got.buffer);
      EXPECT_EQ(got.error, IS_ERR_OK);
      ASSERT_EQ(got.width, want.width);
      ASSERT_EQ(got.height, want.height);
      const size_t stride = depth == 1 ? (size_t(want.width) + 7) / 8 : size_t(want.width) * size_t(depth / 8);
      EXPECT_EQ(got.Copy(stride * size_t(want.height)), want.Copy(stride * size_t(want.height)));
      if (depth <= 8) {
        EXPECT_EQ(std::memcmp(got.palette, want.palette, sizeof want.palette), 0);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, BmpHeaderSizes, ::testing::ValuesIn(kPictures), NameFrom<&PictureCase::label>());

// Files written by an outside encoder with 12-, 108- and 124-byte headers
// (tests/data/bmp, see make_fixtures.sh) give that encoder's own decode, the
// palette ones both through the 8-bit read and its palette and at 24 bits.
TEST_F(BmpReader, OutsideFilesWithEveryHeaderSize) {
  const struct {
    const char* name;
    int32_t bits;
  } files[] = {{"core1", 1},       {"core4", 4},     {"core8", 8},     {"core24", 24},
               {"info108_24", 24}, {"info124_4", 4}, {"info124_8", 8}, {"info124_32", 32}};
  const std::string dir = std::string(QV_TEST_DATA_DIR) + "/bmp/";
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const size_t channels = f.bits == 32 ? 4 : 3;
    std::ifstream in(dir + f.name + (channels == 4 ? ".rgba" : ".rgb"), std::ios::binary);
    const Bytes expected{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(expected.size(), 13u * 7u * channels);
    const std::vector<int32_t> depths = f.bits <= 8 ? std::vector<int32_t>{8, 24} : std::vector<int32_t>{f.bits};
    for (int32_t depth : depths) {
      CSource source(dir + f.name + ".bmp");
      CRead d;
      d.buffer.Reset(ISReadBMP(source.Get(), &d.width, &d.height, depth, d.palette, 0));
      ASSERT_TRUE(d.buffer) << depth;
      EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
      ASSERT_EQ(d.width, 13);
      ASSERT_EQ(d.height, 7);
      Bytes pixels = d.Copy(expected.size() / channels * (depth == 8 ? 1 : channels));
      if (depth == 8) {
        Bytes rgb;
        for (uint8_t i : pixels) rgb.insert(rgb.end(), {d.palette[i].red, d.palette[i].green, d.palette[i].blue});
        pixels = rgb;
      }
      EXPECT_EQ(pixels, expected) << depth;
    }
  }
}

// ---- Indices past the colour count ----

// The 1- and 8-bit reads repeat entry 0 past the file's colours, whatever the
// header and with run-length data, so indices the file does not cover show
// entry 0's colour.
TEST_F(BmpReader, IndicesPastTheColourCountMeetEntryZero) {
  const struct {
    uint16_t bits;
    uint32_t colours;
    uint32_t headerSize;
    uint32_t compression;
  } cases[] = {{1, 1, 40, 0}, {4, 3, 124, 0}, {8, 5, 108, 0}, {8, 2, 40, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bits * 1000 + c.colours);
    BmpLayout s = c.compression ? RleLayout(8, 3, 1, {0x03, 0x09, 0x00, 0x01}) : Pattern(c.bits, 5, 2);
    s.colorsUsed = c.colours, s.palette = Palette(c.colours), s.headerSize = c.headerSize;
    CRead d;
    Read(MakeBmp(s), c.bits == 1 ? 1 : 8, d);
    ASSERT_TRUE(d.buffer);
    EXPECT_EQ(d.error, IS_ERR_OK);
    for (size_t i = 0; i < 256; ++i)
      ASSERT_EQ(std::memcmp(&d.palette[i], &s.palette[i < c.colours ? i : 0], 4), 0) << i;
  }
}

}  // namespace
}  // namespace qv::test
