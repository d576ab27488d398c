// TGA reader: row and pixel order, run-length packets, pixel and colour-map decoding,
// the palette query, the footer, and refused or damaged files.
#include <gtest/gtest.h>

#include <cstring>

#include "readers_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

struct CTgaLayout {
  uint8_t type = 2;
  uint8_t depth = 24;
  uint16_t width = 1;
  uint16_t height = 1;
  uint8_t descriptor = 0x20;  // top-down
  uint8_t mapType = 0;
  uint16_t firstEntry = 0;
  uint16_t mapLength = 0;
  uint8_t entryBits = 0;
  std::string id;
  Bytes map;
  Bytes pixels;
};

Bytes TgaFile(const CTgaLayout& s) {
  CByteWriter w;
  w.U8(static_cast<uint32_t>(s.id.size())).U8(s.mapType).U8(s.type);
  w.U16(s.firstEntry).U16(s.mapLength).U8(s.entryBits);
  w.U16(0).U16(0).U16(s.width).U16(s.height).U8(s.depth).U8(s.descriptor);
  w.Text(s.id).Raw(s.map).Raw(s.pixels);
  return w.Get();
}

CDecoded ReadTga(const Bytes& file, int32_t bits, ISPalEntry* palette = nullptr) {
  return DecodeBytes(
      file, [&](HISSRC s, int32_t* w, int32_t* h) { return ISReadTGA(s, w, h, bits, palette, 0); }, bits / 8);
}

struct CPaletteResult {
  int32_t result = -1;
  int32_t count = -1;
  int32_t error = -1;
};

CPaletteResult QueryPalette(const Bytes& file, ISPalEntry* palette) {
  CTempFolder dir;
  CSource source(dir.Write("p.tga", file));
  CPaletteResult r;
  r.result = ISGetTGAPalette(source.Get(), &r.count, palette);
  r.error = ISGetLastError();
  return r;
}

bool SameEntry(const ISPalEntry& a, const ISPalEntry& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Three pixels in stored (blue, green, red) order, and the same as red, green, blue.
const Bytes kRow0Stored = {1, 2, 3, 4, 5, 6, 7, 8, 9};
const Bytes kRow1Stored = {10, 11, 12, 13, 14, 15, 16, 17, 18};
const Bytes kRowsRgb = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16};

TEST(TgaRead, BottomUpAndTopDownTwinsDecodeAlike) {
  CTgaLayout top;
  top.width = 3, top.height = 2;
  top.pixels = kRow0Stored;
  top.pixels.insert(top.pixels.end(), kRow1Stored.begin(), kRow1Stored.end());
  CTgaLayout bottom = top;
  bottom.descriptor = 0;
  bottom.pixels = kRow1Stored;
  bottom.pixels.insert(bottom.pixels.end(), kRow0Stored.begin(), kRow0Stored.end());
  for (const CTgaLayout* layout : {&top, &bottom}) {
    const CDecoded d = ReadTga(TgaFile(*layout), 24);
    EXPECT_EQ(d.width, 3);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.error, IS_ERR_OK);
    EXPECT_EQ(d.pixels, kRowsRgb);
  }

  CTgaLayout greyTop;
  greyTop.type = 3, greyTop.depth = 8, greyTop.width = 2, greyTop.height = 2;
  greyTop.pixels = {1, 2, 3, 4};
  CTgaLayout greyBottom = greyTop;
  greyBottom.descriptor = 0;
  greyBottom.pixels = {3, 4, 1, 2};
  ISPalEntry palette[IS_PALETTE_SIZE];
  EXPECT_EQ(ReadTga(TgaFile(greyTop), 8, palette).pixels, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(ReadTga(TgaFile(greyBottom), 8, palette).pixels, (Bytes{1, 2, 3, 4}));
}

TEST(TgaRead, RunPacketContinuesIntoTheNextRow) {
  // Row width 3: a literal of two, a run of three (end of row 0, start of
  // row 1), a literal of one.
  CTgaLayout layout;
  layout.type = 10, layout.width = 3, layout.height = 2;
  layout.pixels = {0x01, 1, 1, 1, 2, 2, 2, 0x82, 3, 3, 3, 0x00, 4, 4, 4};
  const Bytes expected = {1, 1, 1, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4};
  EXPECT_EQ(ReadTga(TgaFile(layout), 24).pixels, expected);

  layout.descriptor = 0;  // the same packets bottom-up: stored row 0 is the bottom row
  const Bytes flipped = {3, 3, 3, 3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2, 3, 3, 3};
  EXPECT_EQ(ReadTga(TgaFile(layout), 24).pixels, flipped);

  layout.type = 11, layout.depth = 8, layout.descriptor = 0x20;  // grey levels, read at 24 bits
  layout.pixels = {0x01, 10, 20, 0x82, 30, 0x00, 40};
  const Bytes grey = {10, 10, 10, 20, 20, 20, 30, 30, 30, 30, 30, 30, 30, 30, 30, 40, 40, 40};
  EXPECT_EQ(ReadTga(TgaFile(layout), 24).pixels, grey);
}

// Every pixel size in every stored orientation (rows bottom-up or top-down,
// pixels left-to-right or right-to-left), raw and in two run-length encodings,
// at every output depth the file can be read at. The 4 x 2 picture holds six
// stored values (A B C D / D E F A), so that in each orientation a run of two
// crosses the end of the first stored row.
TEST(TgaRead, EveryOrientationOfEveryPixelSize) {
  struct Format {
    const char* name;
    uint8_t type, depth;
    Bytes stored;            // values A to F as the file holds them
    Bytes rgba;              // and as the 32-bit read gives them
    bool rawAt8, packedAt8;  // whether the 8-bit read takes the file: it gives each value's first byte
  };
  const Bytes fiveBits = {248, 0,  0,  255, 0,  248, 0,  255, 0, 0, 248, 255,
                          8,   16, 24, 255, 32, 40,  48, 255, 8, 8, 8,   255};
  const Format formats[] = {
      {"mapped8",
       1,
       8,
       {0, 1, 2, 3, 4, 5},
       {20, 10, 0, 255, 21, 11, 1, 255, 22, 12, 2, 255, 23, 13, 3, 255, 24, 14, 4, 255, 25, 15, 5, 255},
       true,
       true},
      {"grey8",
       3,
       8,
       {10, 20, 30, 40, 50, 60},
       {10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255, 40, 40, 40, 255, 50, 50, 50, 255, 60, 60, 60, 255},
       true,
       false},
      {"grey16",
       3,
       16,
       {10, 255, 0xE0, 0x03, 30, 0, 0x1F, 0x7C, 200, 128, 255, 255},  // grey level, alpha
       {10, 10, 10, 255, 224, 224, 224, 255, 30, 30, 30, 255, 31, 31, 31, 255, 200, 200, 200, 255, 255, 255, 255, 255},
       true,
       true},
      {"rgb15",
       2,
       15,
       {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x43, 0x04, 0xA6, 0x10, 0x21, 0x04},
       fiveBits,
       false,
       false},
      {"rgb16",
       2,
       16,
       {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80, 0x43, 0x04, 0xA6, 0x90, 0x21, 0x04},
       fiveBits,
       false,
       false},
      {"rgb24",
       2,
       24,
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
       {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255, 15, 14, 13, 255, 18, 17, 16, 255},
       false,
       false},
      {"rgb32",
       2,
       32,
       {1, 2, 3, 90, 4, 5, 6, 91, 7, 8, 9, 92, 10, 11, 12, 93, 13, 14, 15, 94, 16, 17, 18, 95},
       {3, 2, 1, 90, 6, 5, 4, 91, 9, 8, 7, 92, 12, 11, 10, 93, 15, 14, 13, 94, 18, 17, 16, 95},
       false,
       false},
  };
  const int picture[2][4] = {{0, 1, 2, 3}, {3, 4, 5, 0}};
  for (const Format& f : formats) {
    const size_t size = f.stored.size() / 6;
    const auto put = [&](Bytes& out, int id) {
      out.insert(out.end(), &f.stored[id * size], &f.stored[id * size] + size);
    };
    for (const uint8_t descriptor : {0x00, 0x10, 0x20, 0x30}) {
      std::vector<int> order;  // the values in stored order
      for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 4; ++c)
          order.push_back(picture[descriptor & 0x20 ? r : 1 - r][descriptor & 0x10 ? 3 - c : c]);
      }
      // Raw; runs of equal values and one-pixel literals; literals of three.
      Bytes encodings[3];
      for (size_t i = 0; i < order.size(); ++i) {
        put(encodings[0], order[i]);
        if (i % 3 == 0) encodings[2].push_back(static_cast<uint8_t>(std::min<size_t>(3, order.size() - i) - 1));
        put(encodings[2], order[i]);
      }
      for (size_t i = 0; i < order.size(); ++i) {
        const bool run = i + 1 < order.size() && order[i + 1] == order[i];
        encodings[1].push_back(run ? 0x81 : 0x00);
        put(encodings[1], order[i]);
        i += run;
      }
      for (int e = 0; e < 3; ++e) {
        CTgaLayout layout;
        layout.type = static_cast<uint8_t>(f.type + (e ? 8 : 0)), layout.depth = f.depth;
        layout.width = 4, layout.height = 2, layout.descriptor = descriptor;
        layout.pixels = encodings[e];
        if (f.type == 1) {
          layout.mapType = 1, layout.mapLength = 6, layout.entryBits = 24;
          for (size_t i = 0; i < 6; ++i)
            layout.map.insert(layout.map.end(), {f.rgba[4 * i + 2], f.rgba[4 * i + 1], f.rgba[4 * i]});
        }
        for (const int32_t bits : {8, 24, 32}) {
          if (bits == 8 && !(e ? f.packedAt8 : f.rawAt8)) continue;
          Bytes expected;
          for (const auto& row : picture) {
            for (const int id : row) {
              if (bits == 8)
                expected.push_back(f.stored[id * size]);
              else
                expected.insert(expected.end(), &f.rgba[4 * id], &f.rgba[4 * id] + bits / 8);
            }
          }
          ISPalEntry palette[IS_PALETTE_SIZE];
          const CDecoded d = ReadTga(TgaFile(layout), bits, palette);
          EXPECT_EQ(d.error, IS_ERR_OK);
          EXPECT_EQ(d.pixels, expected) << f.name << " descriptor " << int(descriptor) << " encoding " << e << " at "
                                        << bits << " bits";
        }
      }
    }
  }
}

// A 16-bit greyscale file reads at 8 bits with the grey palette; the palette
// query answers as for an 8-bit greyscale file, and the dimension query gives
// the stored depth.
TEST(TgaPalette, SixteenBitGreyscaleAnswersAsEightBitGreyscale) {
  for (const uint8_t type : {3, 11}) {
    CTgaLayout layout;
    layout.type = type, layout.depth = 16, layout.width = 2, layout.height = 3;
    layout.pixels = type == 3 ? Bytes{9, 1, 8, 2, 7, 3, 6, 4, 5, 5, 4, 6} : Bytes{0x02, 7, 0, 7, 1, 7, 2, 0x82, 7, 3};
    ISPalEntry palette[IS_PALETTE_SIZE];
    const CDecoded d = ReadTga(TgaFile(layout), 8, palette);
    EXPECT_EQ(d.error, IS_ERR_OK);
    EXPECT_EQ(d.pixels, type == 3 ? (Bytes{9, 8, 7, 6, 5, 4}) : Bytes(6, 7));
    for (int i = 0; i < IS_PALETTE_SIZE; ++i) {
      const auto v = static_cast<uint8_t>(i);
      ASSERT_TRUE(SameEntry(palette[i], ISPalEntry{v, v, v, 255})) << i;
    }
    std::memset(palette, 0xAA, sizeof palette);
    const CPaletteResult r = QueryPalette(TgaFile(layout), palette);
    EXPECT_EQ(r.error, IS_ERR_NOTTGA);
    EXPECT_EQ(r.count, 0);
    for (const ISPalEntry& e : palette) ASSERT_TRUE(SameEntry(e, ISPalEntry{}));
    CTempFolder dir;
    CSource source(dir.Write("g.tga", TgaFile(layout)));
    int32_t w = 0, h = 0, depth = 0;
    EXPECT_EQ(ISGetTGADims(source.Get(), &w, &h, &depth), 1);
    EXPECT_EQ(depth, 16);
  }
}

TEST(TgaRead, FiveBitChannelsOfSixteenAndFifteenBitPixels) {
  struct Case {
    uint16_t stored;
    uint8_t red, green, blue;
  };
  const Case cases[] = {
      {0x7FFF, 248, 248, 248}, {0xFFFF, 248, 248, 248},  // bit 15 does not change the colour
      {0x001F, 0, 0, 248},     {0x03E0, 0, 248, 0},     {0x7C00, 248, 0, 0}, {0x0421, 8, 8, 8},
  };
  for (const uint8_t depth : {15, 16}) {
    CTgaLayout layout;
    layout.depth = depth, layout.width = static_cast<uint16_t>(std::size(cases));
    CByteWriter pixels;
    Bytes expected;
    for (const Case& c : cases) {
      pixels.U16(c.stored);
      expected.insert(expected.end(), {c.red, c.green, c.blue, 255});
    }
    layout.pixels = pixels.Get();
    const CDecoded d = ReadTga(TgaFile(layout), 32);
    EXPECT_EQ(d.error, IS_ERR_OK);
    EXPECT_EQ(d.pixels, expected) << "depth " << int(depth);
  }
}

TEST(TgaRead, ColourMapEntriesOfEverySize) {
  struct Case {
    uint8_t bits;
    Bytes stored;
    ISPalEntry entry;  // blue, green, red, alpha
  };
  const Case cases[] = {
      {8, {0x40}, {0x40, 0x40, 0x40, 255}},     {15, {0x00, 0x7C}, {0, 0, 248, 255}},
      {16, {0xFF, 0xFF}, {248, 248, 248, 255}}, {24, {10, 20, 30}, {10, 20, 30, 255}},
      {32, {10, 20, 30, 40}, {10, 20, 30, 40}},
  };
  for (const Case& c : cases) {
    CTgaLayout layout;
    layout.type = 1, layout.depth = 8, layout.mapType = 1, layout.mapLength = 1, layout.entryBits = c.bits;
    layout.map = c.stored;
    layout.pixels = {0};
    const CDecoded d = ReadTga(TgaFile(layout), 32);
    EXPECT_EQ(d.pixels, (Bytes{c.entry.red, c.entry.green, c.entry.blue, c.entry.reserved})) << int(c.bits);
    ISPalEntry palette[IS_PALETTE_SIZE];
    const CPaletteResult r = QueryPalette(TgaFile(layout), palette);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.count, 1);
    EXPECT_TRUE(SameEntry(palette[0], c.entry)) << int(c.bits);
  }
}

TEST(TgaPalette, GreyscaleFileGetsTheGreyPaletteFromTheReadOnly) {
  CTgaLayout layout;
  layout.type = 3, layout.depth = 8, layout.width = 3;
  layout.pixels = {0, 128, 255};
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CDecoded d = ReadTga(TgaFile(layout), 8, palette);
  EXPECT_EQ(d.pixels, (Bytes{0, 128, 255}));
  for (int i = 0; i < IS_PALETTE_SIZE; ++i) {
    const auto v = static_cast<uint8_t>(i);
    ASSERT_TRUE(SameEntry(palette[i], ISPalEntry{v, v, v, 255})) << i;
  }

  std::memset(palette, 0xAA, sizeof palette);
  const CPaletteResult r = QueryPalette(TgaFile(layout), palette);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, IS_ERR_NOTTGA);
  EXPECT_EQ(r.count, 0);
  for (const ISPalEntry& e : palette) ASSERT_TRUE(SameEntry(e, ISPalEntry{}));
}

TEST(TgaRead, RunLengthGreyscaleNeedsTheRgbRead) {
  CTgaLayout layout;
  layout.type = 11, layout.depth = 8, layout.width = 2;
  layout.pixels = {0x81, 77};
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CDecoded at8 = ReadTga(TgaFile(layout), 8, palette);
  EXPECT_FALSE(at8.hasBuffer);
  EXPECT_EQ(at8.error, IS_ERR_DEPTH);
  EXPECT_EQ(ReadTga(TgaFile(layout), 24).pixels, (Bytes{77, 77, 77, 77, 77, 77}));
}

TEST(TgaPalette, QueryAgreesWithTheReadAfterAnIdField) {
  CTgaLayout layout;
  layout.type = 1, layout.depth = 8, layout.width = 3, layout.id = "a picture";
  layout.mapType = 1, layout.mapLength = 3, layout.entryBits = 24;
  layout.map = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  layout.pixels = {2, 0, 1};
  ISPalEntry fromRead[IS_PALETTE_SIZE];
  const CDecoded d = ReadTga(TgaFile(layout), 8, fromRead);
  EXPECT_EQ(d.pixels, (Bytes{2, 0, 1}));
  ISPalEntry fromQuery[IS_PALETTE_SIZE];
  const CPaletteResult r = QueryPalette(TgaFile(layout), fromQuery);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.count, 3);
  EXPECT_TRUE(SameEntry(fromQuery[2], (ISPalEntry{7, 8, 9, 255})));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameEntry(fromRead[i], fromQuery[i])) << i;
  for (int i = 3; i < IS_PALETTE_SIZE; ++i) {
    ASSERT_TRUE(SameEntry(fromQuery[i], fromQuery[0])) << i;  // the query repeats entry 0
    ASSERT_TRUE(SameEntry(fromRead[i], ISPalEntry{})) << i;   // the read leaves them empty
  }
}

// The file stores the map's length entries, for the indices from the first
// entry index on; the positions below it are black.
TEST(TgaPalette, EntriesStartAtTheFirstEntryIndex) {
  CTgaLayout layout;
  layout.type = 1, layout.depth = 8, layout.width = 2;
  layout.mapType = 1, layout.firstEntry = 2, layout.mapLength = 4, layout.entryBits = 24;
  layout.map = {0, 0, 100, 1, 1, 101, 2, 2, 102, 3, 3, 103};  // blue, green, red for indices 2 to 5
  layout.pixels = {5, 0};
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CPaletteResult r = QueryPalette(TgaFile(layout), palette);
  EXPECT_EQ(r.count, 6);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(SameEntry(palette[i], ISPalEntry{})) << i;
  for (uint8_t i = 0; i < 4; ++i)
    EXPECT_TRUE(SameEntry(palette[2 + i], (ISPalEntry{i, i, uint8_t(100 + i), 255}))) << int(i);
  const CDecoded d = ReadTga(TgaFile(layout), 24);
  EXPECT_EQ(d.error, IS_ERR_OK);
  EXPECT_EQ(d.pixels, (Bytes{103, 3, 3, 0, 0, 0}));
}

TEST(TgaPalette, EntriesPastTheLastPositionAreReadAndDropped) {
  CTgaLayout layout;
  layout.type = 1, layout.depth = 8, layout.width = 2;
  layout.mapType = 1, layout.firstEntry = 44, layout.mapLength = 256, layout.entryBits = 24;  // indices 44 to 299
  for (int i = 0; i < 256; ++i) layout.map.insert(layout.map.end(), {uint8_t(i), uint8_t(i >> 8), 7});
  layout.pixels = {255, 1};
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CPaletteResult r = QueryPalette(TgaFile(layout), palette);
  EXPECT_EQ(r.count, IS_PALETTE_SIZE);
  EXPECT_TRUE(SameEntry(palette[255], (ISPalEntry{211, 0, 7, 255})));
  const CDecoded d = ReadTga(TgaFile(layout), 24);
  EXPECT_EQ(d.error, IS_ERR_OK);
  EXPECT_EQ(d.pixels, (Bytes{7, 0, 211, 0, 0, 0}));  // the pixels after all 256 entries
}

TEST(TgaRead, SixteenBitIndicesPastTheMapGiveAnEmptyEntry) {
  CTgaLayout layout;
  layout.type = 1, layout.depth = 16, layout.width = 3;
  layout.mapType = 1, layout.mapLength = 2, layout.entryBits = 24;
  layout.map = {1, 2, 3, 4, 5, 6};
  layout.pixels = {1, 0, 0x2C, 0x01, 0xFF, 0xFF};  // indices 1, 300, 65535
  EXPECT_EQ(ReadTga(TgaFile(layout), 32).pixels, (Bytes{6, 5, 4, 255, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(TgaRead, TruncatedDataKeepsThePixelsRead) {
  CTgaLayout raw;
  raw.width = 2, raw.height = 2;
  raw.pixels = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4};  // three pixels and a byte
  CDecoded d = ReadTga(TgaFile(raw), 24);
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
  EXPECT_EQ(d.pixels, (Bytes{1, 1, 1, 2, 2, 2, 3, 3, 3, 0, 0, 0}));

  CTgaLayout packed = raw;
  packed.type = 10;
  packed.pixels = {0x80, 9, 9, 9, 0x03, 1, 1, 1, 2, 2};  // a literal of four that breaks off
  d = ReadTga(TgaFile(packed), 24);
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
  EXPECT_EQ(d.pixels, (Bytes{9, 9, 9, 1, 1, 1, 0, 0, 0, 0, 0, 0}));

  packed.pixels = {0x80, 9, 9, 9, 0x81};  // a run without its value
  d = ReadTga(TgaFile(packed), 24);
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
  EXPECT_EQ(d.pixels, (Bytes{9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(TgaRead, OnePixelFileDecodesAndReportsTheFooterSeek) {
  CTgaLayout layout;
  layout.type = 3, layout.depth = 8;
  layout.pixels = {42};
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CDecoded d = ReadTga(TgaFile(layout), 8, palette);  // 19 bytes: no room for a footer
  ASSERT_TRUE(d.hasBuffer);
  EXPECT_EQ(d.pixels, Bytes{42});
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
}

Bytes Footer(uint32_t extension, uint32_t developer) {
  CByteWriter w;
  w.U32(extension).U32(developer).Text("TRUEVISION-XFILE.").U8(0);
  return w.Get();
}

TEST(TgaFooter, FooterAndExtensionAreaLeaveThePictureAlone) {
  CTgaLayout layout;
  layout.width = 3;  // 27 bytes: room for the footer read
  layout.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Bytes plain = TgaFile(layout);
  const Bytes expected = {3, 2, 1, 6, 5, 4, 9, 8, 7};

  Bytes withExtension = plain;
  const auto extensionAt = static_cast<uint32_t>(withExtension.size());
  withExtension.resize(withExtension.size() + 495, 0xEE);
  const Bytes footer = Footer(extensionAt, 12);
  withExtension.insert(withExtension.end(), footer.begin(), footer.end());

  Bytes badExtension = plain;
  const Bytes farFooter = Footer(1u << 20, 0);
  badExtension.insert(badExtension.end(), farFooter.begin(), farFooter.end());

  const struct {
    const Bytes* file;
    int32_t error;
  } cases[] = {{&plain, IS_ERR_OK}, {&withExtension, IS_ERR_OK}, {&badExtension, IS_ERR_FILEREAD}};
  for (const auto& c : cases) {
    const CDecoded d = ReadTga(*c.file, 24);
    EXPECT_EQ(d.error, c.error);
    EXPECT_EQ(d.pixels, expected);
  }
}

TEST(TgaDims, ReportsSizeAndDepthFromTheHeaderAlone) {
  CTgaLayout layout;
  layout.type = 10, layout.depth = 16, layout.width = 300, layout.height = 200;
  CTempFolder dir;
  CSource source(dir.Write("d.tga", TgaFile(layout)));
  int32_t w = 0, h = 0, depth = 0;
  EXPECT_EQ(ISGetTGADims(source.Get(), &w, &h, &depth), 1);
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(depth, 16);

  for (const uint8_t type : {0, 4, 12}) {
    layout.type = type;
    CSource bad(dir.Write("bad" + std::to_string(type) + ".tga", TgaFile(layout)));
    EXPECT_EQ(ISGetTGADims(bad.Get(), &w, &h, &depth), 0);
    EXPECT_EQ(ISGetLastError(), IS_ERR_NOTTGA);
  }
}

struct RefusedCase {
  const char* name;
  void (*edit)(CTgaLayout&);
  int32_t bits;
  int32_t error;
  size_t cut = 0;  // the file is cut to this many bytes when nonzero
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << c.name << " at " << c.bits << " bits: " << ISErrorName(c.error);
  if (c.cut) *os << ", cut to " << c.cut << " bytes";
}

// A valid 2 x 1 true-colour file as the starting point of every case.
CTgaLayout BaseLayout() {
  CTgaLayout layout;
  layout.width = 2;
  layout.pixels = {1, 2, 3, 4, 5, 6};
  return layout;
}

const RefusedCase kRefused[] = {
    {"type0", [](CTgaLayout& s) { s.type = 0; }, 24, IS_ERR_NOTTGA},
    {"type4", [](CTgaLayout& s) { s.type = 4; }, 24, IS_ERR_NOTTGA},
    {"depth40", [](CTgaLayout& s) { s.depth = 40; }, 24, IS_ERR_NOTTGA},
    {"depth4", [](CTgaLayout& s) { s.depth = 4; }, 32, IS_ERR_NOTTGA},
    {"zeroWidth", [](CTgaLayout& s) { s.width = 0; }, 24, IS_ERR_NOTTGA},
    {"zeroHeight", [](CTgaLayout& s) { s.height = 0; }, 32, IS_ERR_NOTTGA},
    {"trueColourAt8", [](CTgaLayout&) {}, 8, IS_ERR_DEPTH},
    {"sixteenBitIndicesAt8", [](CTgaLayout& s) { s.type = 1, s.depth = 16; }, 8, IS_ERR_DEPTH},
    {"mappedWithoutMapAt8", [](CTgaLayout& s) { s.type = 1, s.depth = 8; }, 8, IS_ERR_NOTTGA},
    {"packedMappedWithoutMapAt8", [](CTgaLayout& s) { s.type = 9, s.depth = 8; }, 8, IS_ERR_NOTTGA},
    {"idPastTheEnd", [](CTgaLayout& s) { s.id = "an identification"; }, 24, IS_ERR_FILEREAD, 20},
    {"shortHeader", [](CTgaLayout&) {}, 24, IS_ERR_FILEREAD, 17},
    {"mapPastTheEnd",
     [](CTgaLayout& s) { s.type = 1, s.depth = 8, s.mapType = 1, s.mapLength = 500, s.entryBits = 32; }, 24,
     IS_ERR_FILEREAD},
    {"greyMapPastTheEndAt8",
     [](CTgaLayout& s) { s.type = 3, s.depth = 8, s.mapType = 1, s.mapLength = 500, s.entryBits = 24; }, 8,
     IS_ERR_FILEREAD},
};

class TgaRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(TgaRefused, GivesNoBufferAndItsError) {
  const RefusedCase& c = GetParam();
  CTgaLayout layout = BaseLayout();
  c.edit(layout);
  Bytes file = TgaFile(layout);
  if (c.cut) file.resize(c.cut);
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CDecoded d = ReadTga(file, c.bits, palette);
  EXPECT_FALSE(d.hasBuffer);
  EXPECT_EQ(d.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(Files, TgaRefused, ::testing::ValuesIn(kRefused), NameFrom<&RefusedCase::name>());

TEST(TgaErrors, ArgumentsAndHandles) {
  const Bytes file = TgaFile(BaseLayout());
  CTempFolder dir;
  CSource source(dir.Write("a.tga", file));
  int32_t w = 0, h = 0, depth = 0, count = 0;
  ISPalEntry palette[IS_PALETTE_SIZE];
  const struct {
    const char* what;
    std::function<bool()> call;
  } calls[] = {
      {"16 bits", [&] { return ISReadTGA(source.Get(), &w, &h, 16, palette, 0) != nullptr; }},
      {"8 bits, no palette", [&] { return ISReadTGA(source.Get(), &w, &h, 8, nullptr, 0) != nullptr; }},
      {"no width", [&] { return ISReadTGA(source.Get(), nullptr, &h, 24, nullptr, 0) != nullptr; }},
      {"no source", [&] { return ISReadTGA(nullptr, &w, &h, 24, nullptr, 0) != nullptr; }},
      {"dims without depth", [&] { return ISGetTGADims(source.Get(), &w, &h, nullptr) != 0; }},
      {"palette without array", [&] { return ISGetTGAPalette(source.Get(), &count, nullptr) != 0; }},
  };
  for (const auto& c : calls) {
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM) << c.what;
  }
  EXPECT_EQ(ISGetTGADims(reinterpret_cast<HISSRC>(&w), &w, &h, &depth), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADSOURCE);

  CSource shortFile(dir.Write("short.tga", Bytes(file.begin(), file.begin() + 10)));
  EXPECT_EQ(ISGetTGADims(shortFile.Get(), &w, &h, &depth), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILEREAD);
}

TEST(TgaRead, FrameTheFileCannotHoldIsRefusedBeforeAllocating) {
  CTgaLayout layout;
  layout.width = 65535, layout.height = 65535, layout.depth = 32;
  for (const uint8_t type : {2, 10}) {
    layout.type = type;
    const CDecoded d = ReadTga(TgaFile(layout), 32);
    EXPECT_FALSE(d.hasBuffer);
    EXPECT_EQ(d.error, IS_ERR_FILEREAD);
  }
}

}  // namespace
}  // namespace qv::test
