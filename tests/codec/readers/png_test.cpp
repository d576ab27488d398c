// The PNG reader against libpng's own encodes and its simplified decode.
#include "codec/png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "codec/codec_internal.h"
#include "encoders.h"
#include "readers_test_support.h"

namespace qv::test {
namespace {

CRead ReadPng(const std::string& path, int32_t bits, uint32_t flags = 0) {
  CSource source(path);
  CRead r;
  r.buffer.Reset(ISReadPNG(source.Get(), &r.width, &r.height, bits, r.palette, flags));
  r.error = ISGetLastError();
  return r;
}

std::vector<png_color> RandomPalette(int count, uint32_t seed) {
  const Bytes b = Noise(size_t(count) * 3, seed);
  std::vector<png_color> palette(count);
  for (int i = 0; i < count; ++i) palette[i] = png_color{b[3 * i], b[3 * i + 1], b[3 * i + 2]};
  return palette;
}

// A file of random stored rows; palette images get a full random palette.
struct CPngFile {
  CPngLayout layout;
  Bytes rows;
  Bytes file;
};
CPngFile MakePng(CPngLayout layout, uint32_t seed) {
  if (layout.colorType == PNG_COLOR_TYPE_PALETTE && layout.palette.empty())
    layout.palette = RandomPalette(1 << layout.bitDepth, seed);
  Bytes rows = Noise(PngRowBytes(layout) * layout.height, seed);
  Bytes file = EncodePng(layout, rows);
  return {layout, rows, file};
}

uint8_t OverBlack(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }

class PngReader : public ::testing::Test {
 protected:
  CTempFolder m_dir;
};

// Every colour type and bit depth read at 24 and 32 bits against libpng's own
// decode: 16-bit samples keep their high byte; at 24 bits transparency is
// composed over black.
TEST_F(PngReader, EveryColourTypeAndDepthMatchesLibpng) {
  const struct {
    int type;
    int depth;
    bool trns;
  } cases[] = {{0, 1, false}, {0, 2, false}, {0, 4, true},   {0, 8, false}, {0, 8, true},  {0, 16, false},
               {2, 8, false}, {2, 8, true},  {2, 16, false}, {3, 1, false}, {3, 2, true},  {3, 4, false},
               {3, 8, true},  {4, 8, false}, {4, 16, false}, {6, 8, false}, {6, 16, false}};
  for (const auto& c : cases) {
    CPngLayout layout{.width = 13, .height = 7, .bitDepth = c.depth, .colorType = c.type};
    if (c.trns && c.type == PNG_COLOR_TYPE_PALETTE) layout.trnsAlpha = {0, 128, 255, 40};
    if (c.trns && c.type != PNG_COLOR_TYPE_PALETTE) {
      layout.hasTrnsColor = true;
      layout.trnsColor = png_color_16{0, 3, 5, 7, 3};
    }
    const CPngFile png = MakePng(layout, static_cast<uint32_t>(c.type * 100 + c.depth));
    const std::string path = m_dir.Write("t.png", png.file);
    // libpng's simplified decode premultiplies 16-bit samples by alpha, so
    // 16-bit files are checked against their stored samples' high bytes.
    const bool wide = c.depth == 16;
    const CReference ref = DecodePng(png.file, PNG_FORMAT_RGBA);
    auto sample = [&](size_t pixel, int channel) -> uint8_t {
      if (!wide) return ref.pixels[pixel * 4 + channel];
      const int n = c.type == 0 ? 1 : c.type == 4 ? 2 : c.type == 2 ? 3 : 4;
      const bool colour = c.type & PNG_COLOR_MASK_COLOR;
      int k = channel == 3 ? (c.type & PNG_COLOR_MASK_ALPHA ? n - 1 : -1) : (colour ? channel : 0);
      return k < 0 ? 255 : png.rows[(pixel * n + k) * 2];
    };
    const CRead r32 = ReadPng(path, 32);
    const CRead r24 = ReadPng(path, 24);
    ASSERT_EQ(r32.error, IS_ERR_OK) << c.type << "/" << c.depth;
    ASSERT_EQ(r24.error, IS_ERR_OK) << c.type << "/" << c.depth;
    const Bytes got32 = r32.Copy(13 * 7 * 4), got24 = r24.Copy(13 * 7 * 3);
    for (size_t p = 0; p < 13 * 7; ++p) {
      const uint8_t a = sample(p, 3);
      for (int ch = 0; ch < 4; ++ch) ASSERT_EQ(got32[p * 4 + ch], sample(p, ch)) << c.type << "/" << c.depth;
      for (int ch = 0; ch < 3; ++ch)
        ASSERT_NEAR(got24[p * 3 + ch], OverBlack(sample(p, ch), a), 1) << c.type << "/" << c.depth << " at " << p;
    }
  }
}

TEST_F(PngReader, OneBitGreyReportsItsDepthAndReadsPacked) {
  const CPngFile png = MakePng({.width = 11, .height = 3, .bitDepth = 1, .colorType = 0}, 1);
  const std::string path = m_dir.Write("g1.png", png.file);
  CSource source(path);
  int32_t w = 0, h = 0, depth = 0, type = -1, interlace = -1;
  ASSERT_EQ(ISGetPNGDims(source.Get(), &w, &h, &depth, &type, &interlace, nullptr), 1);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(interlace, 0);
  source.Rewind();
  int32_t count = 0;
  ISPalEntry palette[IS_PALETTE_SIZE];
  ISGetPNGPalette(source.Get(), &count, palette);
  ASSERT_EQ(ISGetLastError(), IS_ERR_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Rgb(palette[0]), (Bytes{0, 0, 0}));
  EXPECT_EQ(Rgb(palette[1]), (Bytes{255, 255, 255}));
  const CRead r = ReadPng(path, 1);
  ASSERT_EQ(r.error, IS_ERR_OK);
  Bytes rows = png.rows;
  for (size_t y = 0; y < 3; ++y) rows[y * 2 + 1] &= 0xE0;  // bits past the width come back clear
  EXPECT_EQ(r.Copy(2 * 3), rows);
}

TEST_F(PngReader, FourBitPaletteAtEightBitsGivesIndicesAndThePalette) {
  const CPngFile png = MakePng({.width = 9, .height = 2, .bitDepth = 4, .colorType = 3, .trnsAlpha = {7}}, 2);
  const CRead r = ReadPng(m_dir.Write("p4.png", png.file), 8);
  ASSERT_EQ(r.error, IS_ERR_OK);
  const Bytes got = r.Copy(9 * 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 9; ++x) {
      const uint8_t packed = png.rows[y * 5 + x / 2];
      ASSERT_EQ(got[y * 9 + x], x % 2 ? packed & 15 : packed >> 4);
    }
  }
  for (int i = 0; i < 16; ++i) {
    const png_color& c = png.layout.palette[i];
    EXPECT_EQ(Rgb(r.palette[i]), (Bytes{c.red, c.green, c.blue}));
  }
  EXPECT_EQ(r.palette[0].reserved, 7);
  EXPECT_EQ(r.palette[1].reserved, 255);
  EXPECT_EQ(Rgb(r.palette[16]), Rgb(r.palette[0]));
  EXPECT_EQ(r.palette[255].reserved, 255);
}

TEST_F(PngReader, TransparentPaletteEntriesShowTheBackgroundColour) {
  for (const bool withBackground : {false, true}) {
    CPngLayout layout{.width = 4,
                      .height = 1,
                      .bitDepth = 8,
                      .colorType = 3,
                      .palette = {{10, 20, 30}, {200, 100, 50}, {90, 80, 70}},
                      .trnsAlpha = {0, 255, 128}};
    if (withBackground) {
      layout.hasBackground = true;
      layout.background = png_color_16{2, 0, 0, 0, 0};  // palette entry 2
    }
    const CRead r = ReadPng(m_dir.Write("t.png", EncodePng(layout, {0, 1, 2, 0})), 24);
    ASSERT_EQ(r.error, IS_ERR_OK);
    const Bytes got = r.Copy(12);
    const Bytes under = withBackground ? Bytes{90, 80, 70} : Bytes{0, 0, 0};
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 3), under);
    EXPECT_EQ(Bytes(got.begin() + 3, got.begin() + 6), (Bytes{200, 100, 50}));
    const Bytes front{90, 80, 70};
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[6 + c], (front[c] * 128 + under[c] * 127) / 255, 1);
  }
}

TEST_F(PngReader, SixteenBitSamplesAtEachDepth) {
  // RGB at 48 bits and grey raw at 16 bits: low byte first; 64 bits with a full filler.
  const CPngFile rgb = MakePng({.width = 3, .height = 2, .bitDepth = 16, .colorType = 2}, 3);
  const std::string rgbPath = m_dir.Write("rgb16.png", rgb.file);
  const CRead r48 = ReadPng(rgbPath, 48);
  ASSERT_EQ(r48.error, IS_ERR_OK);
  const Bytes got48 = r48.Copy(3 * 2 * 6);
  for (size_t i = 0; i < got48.size(); i += 2) {
    ASSERT_EQ(got48[i], rgb.rows[i + 1]);
    ASSERT_EQ(got48[i + 1], rgb.rows[i]);
  }
  const CRead r64 = ReadPng(rgbPath, 64);
  ASSERT_EQ(r64.error, IS_ERR_OK);
  const Bytes got64 = r64.Copy(3 * 2 * 8);
  for (size_t p = 0; p < 6; ++p) {
    EXPECT_EQ(got64[p * 8], rgb.rows[p * 6 + 1]);
    EXPECT_EQ(got64[p * 8 + 6], 0xFF);
    EXPECT_EQ(got64[p * 8 + 7], 0xFF);
  }
  const CPngFile grey = MakePng({.width = 5, .height = 1, .bitDepth = 16, .colorType = 0}, 4);
  const CRead raw = ReadPng(m_dir.Write("g16.png", grey.file), 16, IS_PNG_RAW16);
  ASSERT_EQ(raw.error, IS_ERR_OK);
  const Bytes gotRaw = raw.Copy(10);
  for (size_t i = 0; i < 10; i += 2) EXPECT_EQ(gotRaw[i], grey.rows[i + 1]);
  // Raw 8-bit grey with alpha comes as stored.
  const CPngFile ga = MakePng({.width = 5, .height = 1, .bitDepth = 8, .colorType = 4}, 5);
  const CRead rawGa = ReadPng(m_dir.Write("ga.png", ga.file), 16, IS_PNG_RAW16);
  ASSERT_EQ(rawGa.error, IS_ERR_OK);
  EXPECT_EQ(rawGa.Copy(10), ga.rows);
}

TEST_F(PngReader, GreyWithAlphaAtSixteenBits) {
  const CPngFile grey = MakePng({.width = 4, .height = 1, .bitDepth = 8, .colorType = 0}, 6);
  const CRead r = ReadPng(m_dir.Write("g.png", grey.file), 16);
  ASSERT_EQ(r.error, IS_ERR_OK);
  EXPECT_EQ(r.Copy(8), (Bytes{grey.rows[0], 255, grey.rows[1], 255, grey.rows[2], 255, grey.rows[3], 255}));
  const CPngFile ga = MakePng({.width = 4, .height = 1, .bitDepth = 16, .colorType = 4}, 7);
  const CRead r2 = ReadPng(m_dir.Write("ga.png", ga.file), 16);
  ASSERT_EQ(r2.error, IS_ERR_OK);
  EXPECT_EQ(r2.Copy(2), (Bytes{ga.rows[0], ga.rows[2]}));
}

TEST_F(PngReader, RefusalsByDepth) {
  const std::string rgb = m_dir.Write("rgb.png", MakePng({.width = 4, .height = 4, .colorType = 2}, 8).file);
  const std::string pal4 =
      m_dir.Write("p4.png", MakePng({.width = 4, .height = 4, .bitDepth = 4, .colorType = 3}, 9).file);
  const struct {
    std::string path;
    int32_t bits;
    int32_t error;
  } cases[] = {{rgb, 8, IS_ERR_DEPTH},     {rgb, 1, IS_ERR_DEPTH},     {rgb, 16, IS_ERR_DEPTH},
               {rgb, 12, IS_ERR_BADPARAM}, {pal4, 1, IS_ERR_OUTDEPTH}, {rgb, 48, IS_ERR_OUTDEPTH},
               {rgb, 64, IS_ERR_OUTDEPTH}};
  for (const auto& c : cases) {
    const CRead r = ReadPng(c.path, c.bits);
    EXPECT_EQ(r.error, c.error) << c.path << " at " << c.bits;
    EXPECT_FALSE(r.buffer);
  }
  CSource source(rgb);
  int32_t w = 0, h = 0;
  EXPECT_EQ(ISReadPNG(source.Get(), &w, &h, 8, nullptr, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_DEPTH);
}

TEST_F(PngReader, TextChunksBackgroundAndResolutionAreReported) {
  CPngLayout layout{.width = 2,
                    .height = 2,
                    .colorType = 2,
                    .hasBackground = true,
                    .background = png_color_16{0, 10, 20, 30, 0},
                    .texts = {{"Title", "A"}, {"Author", "B"}},
                    .hasPhys = true,
                    .physX = 3780,
                    .physY = 1890};
  const std::string path = m_dir.Write("t.png", EncodePng(layout, Noise(12, 10)));
  CSource source(path);
  int32_t w = 0, h = 0;
  ISResolution res{};
  ASSERT_EQ(ISGetPNGDims(source.Get(), &w, &h, nullptr, nullptr, nullptr, &res), 1);
  EXPECT_EQ(res.x, 3780);
  EXPECT_EQ(res.y, 1890);
  EXPECT_EQ(res.unit, 1);
  const codec::ISThreadState& state = *codec::GetThreadState();
  EXPECT_EQ(state.m_pngFileBackground.green, 20);
  ASSERT_EQ(ReadPng(path, 24).error, IS_ERR_OK);
  ASSERT_EQ(state.m_arrTexts.size(), 2u);
  EXPECT_EQ(state.m_arrTexts[0]->m_strName, "Title");
  EXPECT_STREQ(reinterpret_cast<const char*>(state.m_arrTexts[1]->m_data.data()), "B");
}

TEST_F(PngReader, InterlacedTwinReadsToTheSamePixels) {
  for (const int type : {0, 2, 3, 6}) {
    CPngLayout layout{.width = 21, .height = 13, .bitDepth = 8, .colorType = type};
    const CPngFile plain = MakePng(layout, 11);
    layout.interlaced = true;
    layout.palette = plain.layout.palette;
    const std::string a = m_dir.Write("a.png", plain.file);
    const std::string b = m_dir.Write("b.png", EncodePng(layout, plain.rows));
    for (const int32_t bits : {24, 32, 8}) {
      if (bits == 8 && type != 0 && type != 3) continue;
      const CRead ra = ReadPng(a, bits), rb = ReadPng(b, bits);
      ASSERT_EQ(rb.error, IS_ERR_OK);
      EXPECT_EQ(ra.Copy(21 * 13 * bits / 8), rb.Copy(21 * 13 * bits / 8)) << type << " at " << bits;
    }
  }
}

// A grey or colour key makes its pixels transparent, composed over black in
// both the plain file and its interlaced twin.
TEST_F(PngReader, ColourKeyComposesInBothTwins) {
  for (const auto& [type, depth] : {std::pair{0, 2}, {0, 8}, {0, 16}, {2, 8}, {2, 16}}) {
    CPngLayout layout{.width = 9, .height = 5, .bitDepth = depth, .colorType = type, .hasTrnsColor = true};
    const CPngFile plain = MakePng(layout, 21);
    // The key is the first pixel's value.
    const auto sample = [&](int i) {
      return depth == 16 ? plain.rows[2 * i] << 8 | plain.rows[2 * i + 1] : plain.rows[i];
    };
    const auto key = static_cast<png_uint_16>(depth == 2 ? plain.rows[0] >> 6 : sample(0));
    layout.trnsColor =
        type == 0 ? png_color_16{0, 0, 0, 0, key}
                  : png_color_16{0, key, static_cast<png_uint_16>(sample(1)), static_cast<png_uint_16>(sample(2)), 0};
    const Bytes keyed = EncodePng(layout, plain.rows);
    layout.interlaced = true;
    const Bytes twin = EncodePng(layout, plain.rows);
    const CRead a = ReadPng(m_dir.Write("a.png", keyed), 24), b = ReadPng(m_dir.Write("b.png", twin), 24);
    ASSERT_EQ(a.error, IS_ERR_OK);
    ASSERT_EQ(b.error, IS_ERR_OK);
    EXPECT_EQ(a.Copy(9 * 5 * 3), b.Copy(9 * 5 * 3)) << type << "/" << depth;
    EXPECT_EQ(a.Copy(3), (Bytes{0, 0, 0})) << type << "/" << depth;
  }
}

// The picture composed over the file's bKGD colour (else black) in the stored
// values, at the file's depth, red, green, blue: alpha a of max gives
// (a x fg + (max - a) x bg) / max to the nearest, so 0 is the background and
// max the stored colour. A colour key is alpha 0 or max.
std::vector<uint32_t> StraightOver(const CPngLayout& l, const Bytes& rows) {
  using Rgb3 = std::array<uint32_t, 3>;
  const bool wide = l.bitDepth == 16;
  const uint64_t max = wide ? 65535 : 255;
  const int type = l.colorType;
  const size_t n = type == 4 ? 2 : type == 2 ? 3 : type == 6 ? 4 : 1;
  const auto sample = [&](size_t i) -> uint32_t { return wide ? rows[2 * i] << 8 | rows[2 * i + 1] : rows[i]; };
  const auto entry = [&](size_t i) { return Rgb3{l.palette[i].red, l.palette[i].green, l.palette[i].blue}; };
  const png_color_16 &key = l.trnsColor, &b = l.background;
  std::vector<uint32_t> out;
  for (size_t p = 0; p < size_t{l.width} * l.height; ++p) {
    Rgb3 fg{}, bg{};
    uint64_t a = max;
    if (type == PNG_COLOR_TYPE_PALETTE) {
      fg = entry(rows[p]);
      if (rows[p] < l.trnsAlpha.size()) a = l.trnsAlpha[rows[p]];
      if (l.hasBackground) bg = entry(b.index);
    } else {
      const bool colour = type & PNG_COLOR_MASK_COLOR;
      for (size_t c = 0; c < 3; ++c) fg[c] = sample(p * n + (colour ? c : 0));
      if (type & PNG_COLOR_MASK_ALPHA) a = sample(p * n + n - 1);
      if (l.hasTrnsColor && (colour ? fg == Rgb3{key.red, key.green, key.blue} : fg[0] == key.gray)) a = 0;
      if (l.hasBackground) bg = colour ? Rgb3{b.red, b.green, b.blue} : Rgb3{b.gray, b.gray, b.gray};
    }
    for (size_t c = 0; c < 3; ++c)
      out.push_back(static_cast<uint32_t>((a * fg[c] + (max - a) * bg[c] + max / 2) / max));
  }
  return out;
}

// Transparent pixels are composed over the background in the stored values,
// whatever gamma the file declares: the same file with gAMA 1/1.8, with sRGB
// and with neither gives the same pixels, at 8 and 16 bits, grey and colour,
// keyed, alpha and palette alphas, interlaced or not, read whole (24 bits, and
// 48 for 16-bit colour) and row by row. Only flags bit 0 corrects gamma.
TEST_F(PngReader, TransparencyIsComposedStraightWhateverGammaTheFileDeclares) {
  uint32_t seed = 30;
  for (const int type : {0, 2, 3, 4, 6}) {
    for (const int depth : {8, 16}) {
      for (const bool interlaced : {false, true}) {
        if (type == PNG_COLOR_TYPE_PALETTE && depth == 16) continue;
        SCOPED_TRACE(::testing::Message() << "type " << type << ", " << depth << " bits, interlaced " << interlaced);
        CPngFile png = MakePng({.width = 11, .height = 7, .bitDepth = depth, .colorType = type}, ++seed);
        CPngLayout layout = png.layout;
        Bytes& rows = png.rows;
        layout.interlaced = interlaced;
        layout.hasBackground = interlaced != (depth == 16);
        const size_t bytes = depth / 8, n = PngRowBytes(layout) / 11 / bytes;
        if (type == PNG_COLOR_TYPE_PALETTE) {
          layout.trnsAlpha = Noise(200, seed);
          layout.trnsAlpha[0] = 0, layout.trnsAlpha[1] = 255;
          layout.background.index = 3;
        } else if (type & PNG_COLOR_MASK_ALPHA) {
          // Pixel 0 transparent, pixel 1 opaque, the others partly transparent.
          std::fill_n(rows.begin() + (n - 1) * bytes, bytes, 0);
          std::fill_n(rows.begin() + (2 * n - 1) * bytes, bytes, 0xFF);
        } else {
          // Pixels 0 and 5 carry the key.
          std::copy_n(rows.begin(), n * bytes, rows.begin() + 5 * n * bytes);
          const auto at = [&](size_t c) {
            return static_cast<png_uint_16>(depth == 16 ? rows[2 * c] << 8 | rows[2 * c + 1] : rows[c]);
          };
          layout.hasTrnsColor = true;
          layout.trnsColor = type == 0 ? png_color_16{0, 0, 0, 0, at(0)} : png_color_16{0, at(0), at(1), at(2), 0};
        }
        if (type != PNG_COLOR_TYPE_PALETTE) {
          const auto v = static_cast<png_uint_16>(depth == 16 ? 0x8123 : 0x9A);
          layout.background = png_color_16{0, v, static_cast<png_uint_16>(v / 3), static_cast<png_uint_16>(v / 2), v};
        }
        Bytes expected24, expected48;
        for (const uint32_t v : StraightOver(layout, rows)) {
          expected24.push_back(static_cast<uint8_t>(depth == 16 ? v >> 8 : v));
          expected48.insert(expected48.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
        }
        for (const char* declared : {"none", "gAMA", "sRGB"}) {
          SCOPED_TRACE(declared);
          CPngLayout l = layout;
          l.gamma = declared[0] == 'g' ? 1 / 1.8 : 0;
          l.srgb = declared[0] == 's';
          const Bytes file = EncodePng(l, rows);
          if (l.gamma || l.srgb) {
            ASSERT_NE(std::search(file.begin(), file.end(), declared, declared + 4), file.end());
          }
          const std::string path = m_dir.Write("g.png", file);
          const CRead r = ReadPng(path, 24);
          ASSERT_EQ(r.error, IS_ERR_OK);
          EXPECT_EQ(r.Copy(expected24.size()), expected24);
          CSource source(path);
          CKeptRows kept;
          EXPECT_EQ(ISReadPNGRows(source.Get(), &kept), 1);
          EXPECT_EQ(kept.m_pixels, expected24);
          if (depth == 16 && (type & PNG_COLOR_MASK_COLOR)) {
            const CRead r48 = ReadPng(path, 48);
            ASSERT_EQ(r48.error, IS_ERR_OK);
            EXPECT_EQ(r48.Copy(expected48.size()), expected48);
          }
          if (l.gamma && type == PNG_COLOR_TYPE_RGB && depth == 8) {
            EXPECT_NE(ReadPng(path, 24, IS_PNG_GAMMA).Copy(expected24.size()), expected24) << "corrected";
          }
        }
      }
    }
  }
}

TEST_F(PngReader, BrokenFilesFailWithPngError) {
  const CPngFile png = MakePng({.width = 128, .height = 128, .colorType = 2}, 12);
  const CRead cut =
      ReadPng(m_dir.Write("cut.png", Bytes(png.file.begin(), png.file.begin() + png.file.size() / 2)), 24);
  EXPECT_EQ(cut.error, IS_ERR_PNG);
  ASSERT_TRUE(cut.buffer) << "the rows read so far";
  EXPECT_EQ(cut.Copy(128 * 3), Bytes(png.rows.begin(), png.rows.begin() + 128 * 3)) << "first row";
  Bytes badCrc = png.file;
  badCrc[20] ^= 1;  // inside IHDR
  for (const Bytes& file : {Bytes{}, Noise(100, 1), badCrc}) {
    const CRead r = ReadPng(m_dir.Write("bad.png", file), 24);
    EXPECT_EQ(r.error, IS_ERR_PNG);
    EXPECT_FALSE(r.buffer);
  }
}

TEST_F(PngReader, HugeDeclaredSizeFailsFastWithoutAllocating) {
  Bytes file = MakePng({.width = 1, .height = 1, .colorType = 2}, 13).file;
  for (int i = 0; i < 2; ++i) {  // width and height of IHDR, then its CRC
    file[16 + 4 * i] = 0;
    file[17 + 4 * i] = 0x01;
    file[18 + 4 * i] = 0x86;
    file[19 + 4 * i] = 0xA0;  // 100000
  }
  const uint32_t crc = static_cast<uint32_t>(crc32(0, file.data() + 12, 17));
  for (int i = 0; i < 4; ++i) file[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  const std::string path = m_dir.Write("bomb.png", file);
  CSource source(path);
  int32_t w = 0, h = 0;
  ASSERT_EQ(ISGetPNGDims(source.Get(), &w, &h, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(w, 100000);
  const auto start = std::chrono::steady_clock::now();
  for (const int32_t bits : {1, 8, 24, 32, 64}) {
    const CRead r = ReadPng(path, bits);
    EXPECT_NE(r.error, IS_ERR_OK);
    EXPECT_FALSE(r.buffer);
  }
  EXPECT_EQ(ReadPng(path, 24).error, IS_ERR_FILEREAD);  // no data for such a frame
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(PngReader, TextChunkClaimingHugeLengthCostsNothing) {
  const CPngFile png = MakePng({.width = 4, .height = 4, .colorType = 2, .texts = {{"Title", "short"}}}, 14);
  Bytes file = png.file;
  const auto text = std::search(file.begin(), file.end(), std::begin("tEXt"), std::end("tEXt") - 1);
  ASSERT_NE(text, file.end());
  *(text - 4) = 0x32;  // length 0x32000000 and more: 800 MB
  const auto start = std::chrono::steady_clock::now();
  const CRead r = ReadPng(m_dir.Write("text.png", file), 24);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  (void)r;  // the chunk is skipped or the file refused: either way quickly
}

}  // namespace
}  // namespace qv::test
