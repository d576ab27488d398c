// The PCX reader on files built byte by byte.
#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "codec/codec_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

struct PcxLayout {
  uint8_t manufacturer = 10;
  uint8_t version = 5;
  uint8_t bitsPerPlane = 8;
  uint8_t planes = 1;
  uint16_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
  uint16_t bytesPerLine = 1;
  std::array<uint8_t, 48> headerPalette{};  // red, green, blue
  Bytes data;                               // encoded scan lines
  std::optional<Bytes> vgaPalette;          // 768 bytes of red, green, blue
};

Bytes MakePcx(const PcxLayout& s) {
  CByteWriter w;
  w.U8(s.manufacturer).U8(s.version).U8(1).U8(s.bitsPerPlane).U16(s.xmin).U16(s.ymin).U16(s.xmax).U16(s.ymax);
  w.U16(72).U16(72);
  for (uint8_t b : s.headerPalette) w.U8(b);
  w.U8(0).U8(s.planes).U16(s.bytesPerLine).U16(1).Fill(58);
  w.Raw(s.data);
  if (s.vgaPalette) w.U8(12).Raw(*s.vgaPalette);
  return w.Get();
}

// Run-length encodes one scan line (runs of equal bytes, and bytes >= 0xC0).
Bytes Encode(const Bytes& line) {
  Bytes out;
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (i + run < line.size() && line[i + run] == line[i] && run < 63) ++run;
    if (run > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 | run));
    out.push_back(line[i]);
    i += run;
  }
  return out;
}

Bytes EncodeLines(const std::vector<Bytes>& lines) {
  Bytes out;
  for (const Bytes& line : lines) {
    const Bytes e = Encode(line);
    out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

std::array<uint8_t, 48> HeaderPalette() {
  std::array<uint8_t, 48> p{};
  for (int i = 0; i < 16; ++i) p[3 * i] = uint8_t(16 * i), p[3 * i + 1] = uint8_t(i), p[3 * i + 2] = uint8_t(200 + i);
  return p;
}

class PcxReader : public ::testing::Test {
 protected:
  // Reads the file; the reader's error goes to m_nError (closing the source clears the last error).
  uint8_t* Read(const Bytes& file, int32_t bits, ISPalEntry* palette, int32_t& w, int32_t& h) {
    CSource source(m_dir.Write("t.pcx", file));
    uint8_t* pixels = ISReadPCX(source.Get(), &w, &h, bits, palette, 0);
    m_nError = ISGetLastError();
    return pixels;
  }
  int32_t m_nError = -1;
  CTempFolder m_dir;
  std::array<ISPalEntry, 256> m_palette{};
  int32_t m_w = 0, m_h = 0;
};

TEST_F(PcxReader, SixteenColoursInFourPlanes) {
  PcxLayout s;
  s.bitsPerPlane = 1, s.planes = 4, s.xmax = 15, s.bytesPerLine = 2, s.headerPalette = HeaderPalette();
  // Pixel x has the value x: plane i holds bit i of every pixel.
  Bytes line;
  for (int plane = 0; plane < 4; ++plane) {
    uint32_t bits = 0;
    for (int x = 0; x < 16; ++x) bits |= uint32_t((x >> plane) & 1) << (15 - x);
    line.push_back(uint8_t(bits >> 8));
    line.push_back(uint8_t(bits));
  }
  s.data = Encode(line);
  CCodecBuffer d(Read(MakePcx(s), 8, m_palette.data(), m_w, m_h));
  ASSERT_TRUE(d);
  EXPECT_EQ(m_nError, IS_ERR_OK);
  EXPECT_EQ(m_w, 16);
  EXPECT_EQ(m_h, 1);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(d.Get()[x], x);
  EXPECT_EQ(m_palette[5].red, 80);
  EXPECT_EQ(m_palette[5].green, 5);
  EXPECT_EQ(m_palette[5].blue, 205);
  for (int i = 16; i < 256; ++i) ASSERT_EQ(m_palette[i].blue, m_palette[0].blue) << i;

  CCodecBuffer rgb(Read(MakePcx(s), 24, nullptr, m_w, m_h));
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb.Copy(6), (Bytes{0, 0, 200, 16, 1, 201}));
}

TEST_F(PcxReader, ThreePlanesGiveRedGreenBlue) {
  PcxLayout s;
  s.planes = 3, s.xmax = 1, s.ymax = 1, s.bytesPerLine = 2;
  s.data = EncodeLines({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});
  CCodecBuffer d(Read(MakePcx(s), 24, nullptr, m_w, m_h));
  ASSERT_TRUE(d);
  EXPECT_EQ(d.Copy(12), (Bytes{1, 3, 5, 2, 4, 6, 7, 9, 11, 8, 10, 12}));
}

TEST_F(PcxReader, OddWidthsAreCompleteToTheLastPixel) {
  PcxLayout s;
  s.bitsPerPlane = 2, s.xmax = 4, s.bytesPerLine = 2, s.headerPalette = HeaderPalette();
  s.data = Encode({0x1B, 0x80});  // 0 1 2 3 2
  CCodecBuffer idx(Read(MakePcx(s), 8, m_palette.data(), m_w, m_h));
  EXPECT_EQ(idx.Copy(5), (Bytes{0, 1, 2, 3, 2}));
  CCodecBuffer rgb(Read(MakePcx(s), 24, nullptr, m_w, m_h));
  EXPECT_EQ(rgb.Copy(15), (Bytes{0, 0, 200, 16, 1, 201, 32, 2, 202, 48, 3, 203, 32, 2, 202}));
}

TEST_F(PcxReader, EightBitsWithAndWithoutTheTrailingPalette) {
  PcxLayout s;
  s.xmax = 2, s.bytesPerLine = 4;
  s.data = Encode({0, 7, 255, 0});
  Bytes vga(768);
  for (int i = 0; i < 256; ++i) vga[3 * i] = uint8_t(i), vga[3 * i + 1] = uint8_t(255 - i), vga[3 * i + 2] = 9;
  s.vgaPalette = vga;
  CCodecBuffer rgb(Read(MakePcx(s), 24, nullptr, m_w, m_h));
  EXPECT_EQ(rgb.Copy(9), (Bytes{0, 255, 9, 7, 248, 9, 255, 0, 9}));
  CCodecBuffer idx(Read(MakePcx(s), 8, m_palette.data(), m_w, m_h));
  EXPECT_EQ(idx.Copy(3), (Bytes{0, 7, 255}));
  EXPECT_EQ(m_palette[7].red, 7);
  EXPECT_EQ(m_palette[7].blue, 9);

  s.version = 3;  // the trailing palette counts only in version 5: grey ramp
  CCodecBuffer grey(Read(MakePcx(s), 24, nullptr, m_w, m_h));
  EXPECT_EQ(grey.Copy(9), (Bytes{0, 0, 0, 7, 7, 7, 255, 255, 255}));
}

TEST_F(PcxReader, OneBitPictures) {
  PcxLayout s;
  s.bitsPerPlane = 1, s.xmax = 9, s.bytesPerLine = 2;
  s.data = Encode({0xA5, 0xC0});
  CCodecBuffer packed(Read(MakePcx(s), 1, m_palette.data(), m_w, m_h));
  EXPECT_EQ(packed.Copy(2), (Bytes{0xA5, 0xC0}));
  EXPECT_EQ(m_palette[0].red, 0);
  EXPECT_EQ(m_palette[1].red, 255);
  EXPECT_EQ(m_palette[2].red, 0);
  CCodecBuffer rgb(Read(MakePcx(s), 24, nullptr, m_w, m_h));
  EXPECT_EQ(rgb.Copy(6), (Bytes{255, 255, 255, 0, 0, 0}));
}

TEST_F(PcxReader, RunsEndAtTheLineAndTruncationGivesZeros) {
  PcxLayout s;
  s.xmax = 1, s.ymax = 2, s.bytesPerLine = 2;
  s.data = {0xC5, 0x09, 0x03};  // a run of 5 fills line 0 only; line 1 starts with 3; then the file ends
  CCodecBuffer d(Read(MakePcx(s), 8, m_palette.data(), m_w, m_h));
  ASSERT_TRUE(d);
  EXPECT_EQ(m_nError, IS_ERR_FILEREAD);
  EXPECT_EQ(d.Copy(6), (Bytes{9, 9, 3, 0, 0, 0}));
}

TEST_F(PcxReader, RowsAfterTheEndAreLeftUntouched) {
  PcxLayout s;
  s.bitsPerPlane = 1, s.planes = 4, s.xmax = 1, s.ymax = 2, s.bytesPerLine = 1, s.headerPalette = HeaderPalette();
  s.headerPalette[0] = 50;
  s.data = {0xC4, 0x80};  // row 0: pixel 0 has value 15; then the file ends
  CCodecBuffer d(Read(MakePcx(s), 24, nullptr, m_w, m_h));
  ASSERT_TRUE(d);
  EXPECT_EQ(m_nError, IS_ERR_FILEREAD);
  EXPECT_EQ(d.Copy(18), (Bytes{240, 15, 215, 50, 0, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(PcxReader, ShortLinesAndOddLayoutsStayInsideTheirBuffers) {
  struct Layout {
    uint8_t bitsPerPlane, planes;
    uint16_t bytesPerLine;
    int32_t bits;
  };
  for (const Layout& l : {Layout{8, 3, 1, 24}, Layout{1, 4, 1, 8}, Layout{4, 2, 1, 24}, Layout{1, 3, 1, 24},
                          Layout{1, 20, 1, 24}, Layout{8, 1, 1, 24}}) {
    PcxLayout s;
    s.bitsPerPlane = l.bitsPerPlane, s.planes = l.planes, s.bytesPerLine = l.bytesPerLine;
    s.xmax = 40, s.ymax = 3;
    s.data = Bytes(64, 0xFF);
    std::array<ISPalEntry, 256> palette{};
    CCodecBuffer d(Read(MakePcx(s), l.bits, palette.data(), m_w, m_h));
    EXPECT_TRUE(d) << int(l.bitsPerPlane) << "x" << int(l.planes);
    EXPECT_EQ(m_nError, IS_ERR_OK);
  }
}

struct PcxRefusal {
  const char* label;
  void (*edit)(PcxLayout&);
  int32_t bits;
  int32_t error;
};

void PrintTo(const PcxRefusal& c, std::ostream* os) {
  *os << c.label << " at " << c.bits << " bits: " << ISErrorName(c.error);
}

const PcxRefusal kPcxRefusals[] = {
    {"version_1", [](PcxLayout& s) { s.version = 1; }, 8, IS_ERR_NOTPCX},
    {"version_4", [](PcxLayout& s) { s.version = 4; }, 8, IS_ERR_NOTPCX},
    {"manufacturer", [](PcxLayout& s) { s.manufacturer = 11; }, 8, IS_ERR_NOTPCX},
    {"zero_width", [](PcxLayout& s) { s.xmin = 5, s.xmax = 4; }, 8, IS_ERR_NOTPCX},
    {"zero_planes", [](PcxLayout& s) { s.planes = 0; }, 24, IS_ERR_NOTPCX},
    {"no_bytes_per_line", [](PcxLayout& s) { s.bytesPerLine = 0; }, 8, IS_ERR_NOTPCX},
    {"forty_bits", [](PcxLayout& s) { s.planes = 5; }, 24, IS_ERR_NOTPCX},
    {"deeper_than_asked", [](PcxLayout& s) { s.planes = 3; }, 8, IS_ERR_DEPTH},
    {"eight_bits_at_1", [](PcxLayout&) {}, 1, IS_ERR_DEPTH},
    {"depth_16", [](PcxLayout&) {}, 16, IS_ERR_BADPARAM},
    {"huge_without_data", [](PcxLayout& s) { s.planes = 3, s.xmax = 65534, s.ymax = 65534, s.bytesPerLine = 65535; },
     24, IS_ERR_FILEREAD},
};

class PcxRefusals : public PcxReader, public ::testing::WithParamInterface<PcxRefusal> {};

TEST_P(PcxRefusals, FailWithTheirCode) {
  PcxLayout s;
  s.xmax = 3, s.ymax = 1, s.bytesPerLine = 4, s.data = Bytes(8, 1);
  GetParam().edit(s);
  CCodecBuffer d(Read(MakePcx(s), GetParam().bits, m_palette.data(), m_w, m_h));
  EXPECT_FALSE(d);
  EXPECT_EQ(m_nError, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Table, PcxRefusals, ::testing::ValuesIn(kPcxRefusals), NameFrom<&PcxRefusal::label>());

TEST_F(PcxReader, DimensionAndPaletteQueries) {
  PcxLayout s;
  s.bitsPerPlane = 1, s.planes = 4, s.xmin = 10, s.xmax = 29, s.ymin = 3, s.ymax = 3, s.bytesPerLine = 3;
  s.headerPalette = HeaderPalette();
  CSource source(m_dir.Write("q.pcx", MakePcx(s)));
  int32_t w = 0, h = 0, bits = 0, count = 0;
  ASSERT_EQ(ISGetPCXDims(source.Get(), &w, &h, &bits), 1);
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(bits, 4);
  ASSERT_EQ(ISGetPCXPalette(source.Get(), &count, m_palette.data()), 1);
  EXPECT_EQ(count, 256);
  EXPECT_EQ(m_palette[15].red, 240);
  EXPECT_EQ(m_palette[16].red, 0);
  EXPECT_EQ(m_palette[16].blue, 200);

  s.planes = 3, s.bitsPerPlane = 8;
  CSource deep(m_dir.Write("d.pcx", MakePcx(s)));
  EXPECT_EQ(ISGetPCXPalette(deep.Get(), &count, m_palette.data()), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_DEPTH);
  CSource bad(m_dir.Write("b.pcx", Bytes(20, 10)));
  EXPECT_EQ(ISGetPCXDims(bad.Get(), &w, &h, &bits), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_NOTPCX);
}

}  // namespace
}  // namespace qv::test
