// PSD reader: the merged image in every handled mode, raw and PackBits rows,
// 16-bit samples, the palette and dimension queries with the resolution
// resource, and refused or damaged documents.
#include <gtest/gtest.h>

#include <cstring>

#include "readers_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

struct CPsdLayout {
  std::string signature = "8BPS";
  uint16_t version = 1;
  uint16_t channels = 3;
  uint32_t height = 1;
  uint32_t width = 2;
  uint16_t depth = 8;
  uint16_t mode = 3;
  Bytes colourData;
  Bytes resources;
  Bytes layers;
  uint16_t compression = 0;
  Bytes data;
};

Bytes PsdFile(const CPsdLayout& s) {
  CBigEndianWriter w;
  w.Text(s.signature).U16(s.version).Raw(Bytes(6, 0));
  w.U16(s.channels).U32(s.height).U32(s.width).U16(s.depth).U16(s.mode);
  w.Section(s.colourData).Section(s.resources).Section(s.layers).U16(s.compression).Raw(s.data);
  return w.Get();
}

// Run-length image data: the byte-count table, then the rows, all in channel order.
Bytes Packed(const std::vector<Bytes>& rows) {
  CBigEndianWriter w;
  for (const Bytes& row : rows) w.U16(static_cast<uint32_t>(row.size()));
  for (const Bytes& row : rows) w.Raw(row);
  return w.Get();
}

Bytes Resource(uint16_t id, const Bytes& data, const std::string& name = "") {
  CBigEndianWriter w;
  w.Text("8BIM").U16(id).U8(static_cast<uint32_t>(name.size())).Text(name);
  if (name.size() % 2 == 0) w.U8(0);
  w.U32(static_cast<uint32_t>(data.size())).Raw(data);
  if (data.size() % 2) w.U8(0);
  return w.Get();
}

Bytes ResolutionData(uint16_t x, uint16_t horizontalUnit, uint16_t y, uint16_t verticalUnit) {
  CBigEndianWriter w;
  w.U16(x).U16(0).U16(horizontalUnit).U16(1).U16(y).U16(0).U16(verticalUnit).U16(1);
  return w.Get();
}

CDecoded ReadPsd(const Bytes& file, int32_t bits, ISPalEntry* palette = nullptr) {
  return DecodeBytes(
      file, [&](HISSRC s, int32_t* w, int32_t* h) { return ISReadPSD(s, w, h, bits, palette, 0); }, bits == 8 ? 1 : 3);
}

bool SameEntry(const ISPalEntry& a, const ISPalEntry& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A 2 x 1 RGB document: red 10, 20; green 30, 40; blue 50, 60.
const Bytes kRgbPlanes = {10, 20, 30, 40, 50, 60};
const Bytes kRgbPixels = {10, 30, 50, 20, 40, 60};

TEST(PsdRead, MergedImageWhateverTheLayersAndExtraChannels) {
  CPsdLayout plain;
  plain.data = kRgbPlanes;
  CPsdLayout layered = plain;
  layered.layers = Bytes(300, 0x5A);
  layered.resources = Resource(1005, ResolutionData(72, 1, 72, 1));
  CPsdLayout withAlpha = plain;
  withAlpha.channels = 4;
  withAlpha.data.insert(withAlpha.data.end(), {255, 0});
  CPsdLayout packed = withAlpha;
  packed.compression = 1;
  packed.data = Packed({{1, 10, 20}, {1, 30, 40}, {1, 50, 60}, {0xFF, 255}});
  for (const CPsdLayout* layout : {&plain, &layered, &withAlpha, &packed}) {
    for (const int32_t bits : {24, 32}) {  // 32 bits gives the same 3-byte pixels
      const CDecoded d = ReadPsd(PsdFile(*layout), bits);
      EXPECT_EQ(d.error, IS_ERR_OK);
      EXPECT_EQ(d.width, 2);
      EXPECT_EQ(d.height, 1);
      EXPECT_EQ(d.pixels, kRgbPixels);
    }
  }
}

TEST(PsdRead, SixteenBitSamplesScaleToEightBits) {
  CPsdLayout grey;
  grey.mode = 1, grey.channels = 1, grey.depth = 16, grey.width = 4;
  grey.data = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x01, 0x01};
  ISPalEntry palette[IS_PALETTE_SIZE];
  EXPECT_EQ(ReadPsd(PsdFile(grey), 8, palette).pixels, (Bytes{255, 127, 0, 1}));

  CPsdLayout rgb;
  rgb.depth = 16, rgb.width = 1;
  rgb.data = {0xFF, 0xFF, 0x80, 0x00, 0x01, 0x01};
  EXPECT_EQ(ReadPsd(PsdFile(rgb), 24).pixels, (Bytes{255, 127, 1}));
}

struct PackBitsCase {
  const char* name;
  Bytes row;  // the first of two rows of a 4 x 2 grey document; the second is a literal 1 2 3 4
  Bytes pixels;
  int32_t error = IS_ERR_OK;
};

void PrintTo(const PackBitsCase& c, std::ostream* os) {
  *os << c.name << ": row " << HexBytes(c.row) << ", " << ISErrorName(c.error);
}

const PackBitsCase kPackBits[] = {
    {"literal", {3, 9, 8, 7, 6}, {9, 8, 7, 6, 1, 2, 3, 4}},
    {"repeat", {0xFD, 7}, {7, 7, 7, 7, 1, 2, 3, 4}},
    {"noOperationSkipped", {0x80, 0x01, 1, 2, 0xFF, 9}, {1, 2, 9, 9, 1, 2, 3, 4}},
    {"endsEarly", {0x00, 5}, {5, 0, 0, 0, 1, 2, 3, 4}},
    {"literalPastTheRow", {5, 1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 1, 2, 3, 4}},
    {"repeatPastTheRow", {0xF0, 8}, {8, 8, 8, 8, 1, 2, 3, 4}},
    {"inputLeftOver", {3, 1, 2, 3, 4, 0, 9}, {1, 2, 3, 4, 1, 2, 3, 4}},
    {"literalBreaksOff", {5, 1, 2}, {1, 2, 0, 0, 0, 0, 0, 0}, IS_ERR_FILEREAD},
    {"repeatWithoutItsByte", {0x01, 6, 6, 0xFE}, {6, 6, 0, 0, 0, 0, 0, 0}, IS_ERR_FILEREAD},
};

class PsdPackBits : public ::testing::TestWithParam<PackBitsCase> {};

TEST_P(PsdPackBits, UnpacksIntoTheRowOnly) {
  const PackBitsCase& c = GetParam();
  CPsdLayout layout;
  layout.mode = 1, layout.channels = 1, layout.width = 4, layout.height = 2, layout.compression = 1;
  layout.data = Packed({c.row, {3, 1, 2, 3, 4}});
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CDecoded d = ReadPsd(PsdFile(layout), 8, palette);
  ASSERT_TRUE(d.hasBuffer);
  EXPECT_EQ(d.error, c.error);
  EXPECT_EQ(d.pixels, c.pixels);
}

INSTANTIATE_TEST_SUITE_P(Rows, PsdPackBits, ::testing::ValuesIn(kPackBits), NameFrom<&PackBitsCase::name>());

TEST(PsdPalette, GreyIndexedAndDuotoneDocuments) {
  Bytes table(768);
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<uint8_t>(i);              // red
    table[256 + i] = static_cast<uint8_t>(255 - i);  // green
    table[512 + i] = static_cast<uint8_t>(i / 2);    // blue
  }
  struct Case {
    uint16_t mode;
    Bytes colourData;
    bool ramp;
  };
  const Case cases[] = {{1, {}, true}, {2, table, false}, {8, Bytes(40, 0x33), true}};
  for (const Case& c : cases) {
    CPsdLayout layout;
    layout.mode = c.mode, layout.channels = 1, layout.width = 3;
    layout.colourData = c.colourData;
    layout.data = {0, 100, 255};
    ISPalEntry palette[IS_PALETTE_SIZE];
    const CDecoded d = ReadPsd(PsdFile(layout), 8, palette);
    EXPECT_EQ(d.pixels, (Bytes{0, 100, 255})) << c.mode;
    ISPalEntry queried[IS_PALETTE_SIZE];
    CTempFolder dir;
    CSource source(dir.Write("p.psd", PsdFile(layout)));
    int32_t count = 0;
    EXPECT_EQ(ISGetPSDPalette(source.Get(), &count, queried), 1);
    EXPECT_EQ(count, 256);
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<uint8_t>(i);
      const ISPalEntry want = c.ramp ? ISPalEntry{v, v, v, 0} : ISPalEntry{uint8_t(i / 2), uint8_t(255 - i), v, 0};
      ASSERT_TRUE(SameEntry(palette[i], want)) << c.mode << " entry " << i;
      ASSERT_TRUE(SameEntry(queried[i], want)) << c.mode << " entry " << i;
    }
    const Bytes rgb = ReadPsd(PsdFile(layout), 24).pixels;
    EXPECT_EQ(rgb,
              c.ramp ? (Bytes{0, 0, 0, 100, 100, 100, 255, 255, 255}) : (Bytes{0, 255, 0, 100, 155, 50, 255, 0, 127}));
  }
}

TEST(PsdPalette, SixteenBitGreyIsReadButHasNoPaletteQuery) {
  CPsdLayout layout;
  layout.mode = 1, layout.channels = 1, layout.depth = 16, layout.width = 1;
  layout.data = {0x40, 0x00};
  ISPalEntry palette[IS_PALETTE_SIZE];
  EXPECT_EQ(ReadPsd(PsdFile(layout), 8, palette).pixels, Bytes{63});
  std::memset(palette, 0xAA, sizeof palette);
  CTempFolder dir;
  CSource source(dir.Write("p.psd", PsdFile(layout)));
  int32_t count = -1;
  EXPECT_EQ(ISGetPSDPalette(source.Get(), &count, palette), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_PSDFORMAT);
  EXPECT_EQ(count, 0);
  for (const ISPalEntry& e : palette) ASSERT_TRUE(SameEntry(e, ISPalEntry{}));

  layout.depth = 8, layout.mode = 3;
  CSource rgb(dir.Write("rgb.psd", PsdFile(layout)));
  EXPECT_EQ(ISGetPSDPalette(rgb.Get(), &count, palette), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_DEPTH);
}

TEST(PsdRead, CmykInkBecomesRgb) {
  CPsdLayout layout;
  layout.mode = 4, layout.channels = 5, layout.width = 3;  // a fifth (spot) channel is never read
  // Per channel, three pixels: (255, 0, 0, 255), (0, 0, 0, 0), (128, 64, 255, 128).
  layout.data = {255, 0, 128, 0, 0, 64, 0, 0, 255, 255, 0, 128, 7, 7, 7};
  const CDecoded d = ReadPsd(PsdFile(layout), 24);
  EXPECT_EQ(d.error, IS_ERR_OK);
  EXPECT_EQ(d.pixels, (Bytes{255, 0, 0, 0, 0, 0, 64, 32, 128}));
}

TEST(PsdRead, BitmapDocumentsRawAndPacked) {
  CPsdLayout layout;
  layout.mode = 0, layout.channels = 1, layout.depth = 1, layout.width = 10, layout.height = 2;
  layout.data = {0xB0, 0x40, 0x00, 0xFF};
  const Bytes bits = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1};
  CPsdLayout packed = layout;
  packed.compression = 1;
  packed.data = Packed({{1, 0xB0, 0x40}, {0x00, 0x00, 0xFF, 0xFF}});
  for (const CPsdLayout* s : {&layout, &packed}) {
    ISPalEntry palette[IS_PALETTE_SIZE];
    const CDecoded d = ReadPsd(PsdFile(*s), 8, palette);
    EXPECT_EQ(d.error, IS_ERR_OK);
    EXPECT_EQ(d.pixels, bits);
    EXPECT_TRUE(SameEntry(palette[0], (ISPalEntry{255, 255, 255, 255})));
    EXPECT_TRUE(SameEntry(palette[1], ISPalEntry{}));
    const CDecoded rgb = ReadPsd(PsdFile(*s), 24);
    ASSERT_EQ(rgb.pixels.size(), bits.size() * 3);
    for (size_t i = 0; i < bits.size(); ++i) ASSERT_EQ(rgb.pixels[i * 3 + 1], bits[i] ? 0 : 255) << i;
  }
  CTempFolder dir;
  CSource source(dir.Write("b.psd", PsdFile(layout)));
  ISPalEntry palette[IS_PALETTE_SIZE];
  int32_t count = 0;
  EXPECT_EQ(ISGetPSDPalette(source.Get(), &count, palette), 1);
  EXPECT_TRUE(SameEntry(palette[0], (ISPalEntry{255, 255, 255, 0})));
  EXPECT_TRUE(SameEntry(palette[2], ISPalEntry{}));
}

TEST(PsdRead, DamagedImageDataKeepsWhatWasDecoded) {
  CPsdLayout layout;
  layout.width = 2, layout.height = 2;
  layout.data = {1, 2, 3, 4, 5, 6};  // red whole, green half
  CDecoded d = ReadPsd(PsdFile(layout), 24);
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
  EXPECT_EQ(d.pixels, (Bytes{1, 5, 0, 2, 6, 0, 3, 0, 0, 4, 0, 0}));

  // A byte-count table far larger than the file: refused before any buffer.
  layout.channels = 60000, layout.height = 60000, layout.width = 1, layout.compression = 1;
  layout.data = {0, 1, 0, 1};
  d = ReadPsd(PsdFile(layout), 24);
  EXPECT_FALSE(d.hasBuffer);
  EXPECT_EQ(d.error, IS_ERR_FILEREAD);
}

struct RefusedCase {
  const char* name;
  void (*edit)(CPsdLayout&);
  int32_t bits;
  int32_t error;
  size_t cut = 0;  // the file is cut to this many bytes when nonzero
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << c.name << " at " << c.bits << " bits: " << ISErrorName(c.error);
  if (c.cut) *os << ", cut to " << c.cut << " bytes";
}

const RefusedCase kRefused[] = {
    {"signature", [](CPsdLayout& s) { s.signature = "8BPB"; }, 24, IS_ERR_NOTPSD},
    {"version", [](CPsdLayout& s) { s.version = 2; }, 24, IS_ERR_NOTPSD},
    {"tooShortForTheSignature", [](CPsdLayout&) {}, 24, IS_ERR_NOTPSD, 5},
    {"headerBreaksOff", [](CPsdLayout&) {}, 24, IS_ERR_FILEREAD, 20},
    {"depth4", [](CPsdLayout& s) { s.depth = 4; }, 24, IS_ERR_PSDFORMAT},
    {"depth32", [](CPsdLayout& s) { s.depth = 32; }, 8, IS_ERR_PSDFORMAT},
    {"lab", [](CPsdLayout& s) { s.mode = 9; }, 24, IS_ERR_PSDFORMAT},
    {"multichannel", [](CPsdLayout& s) { s.mode = 7; }, 24, IS_ERR_PSDFORMAT},
    {"rgbAt8", [](CPsdLayout&) {}, 8, IS_ERR_PSDFORMAT},
    {"packedSixteenBit", [](CPsdLayout& s) { s.depth = 16, s.compression = 1; }, 24, IS_ERR_PSDFORMAT},
    {"compression2", [](CPsdLayout& s) { s.compression = 2; }, 24, IS_ERR_FILEREAD},
    {"noChannels", [](CPsdLayout& s) { s.channels = 0; }, 24, IS_ERR_PSDFORMAT},
    {"rgbWithTwoChannels", [](CPsdLayout& s) { s.channels = 2; }, 24, IS_ERR_PSDFORMAT},
    {"eightBitBitmap", [](CPsdLayout& s) { s.mode = 0, s.channels = 1; }, 8, IS_ERR_PSDFORMAT},
    {"oneBitGrey", [](CPsdLayout& s) { s.mode = 1, s.channels = 1, s.depth = 1; }, 24, IS_ERR_PSDFORMAT},
    {"zeroWidth", [](CPsdLayout& s) { s.width = 0; }, 24, IS_ERR_MEMORY},
    {"hugePictureWithoutData", [](CPsdLayout& s) { s.width = 100000, s.height = 100000; }, 24, IS_ERR_FILEREAD},
    {"widestPicture", [](CPsdLayout& s) { s.width = 0xFFFFFFFF, s.height = 0xFFFFFFFF; }, 24, IS_ERR_FILEREAD},
    {"colourDataPastTheEnd", [](CPsdLayout& s) { s.colourData = Bytes(10, 1); }, 24, IS_ERR_FILEREAD, 35},
    {"resourcesPastTheEnd", [](CPsdLayout& s) { s.resources = Bytes(100, 1); }, 24, IS_ERR_FILEREAD, 60},
    {"layersPastTheEnd", [](CPsdLayout& s) { s.layers = Bytes(100, 1); }, 24, IS_ERR_FILEREAD, 60},
    {"noCompressionField", [](CPsdLayout&) {}, 24, IS_ERR_FILEREAD, 39},
};

class PsdRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(PsdRefused, GivesNoBufferAndItsError) {
  const RefusedCase& c = GetParam();
  CPsdLayout layout;
  layout.data = kRgbPlanes;
  c.edit(layout);
  Bytes file = PsdFile(layout);
  if (c.cut) file.resize(c.cut);
  ISPalEntry palette[IS_PALETTE_SIZE];
  const CDecoded d = ReadPsd(file, c.bits, palette);
  EXPECT_FALSE(d.hasBuffer);
  EXPECT_EQ(d.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(Documents, PsdRefused, ::testing::ValuesIn(kRefused), NameFrom<&RefusedCase::name>());

struct DimsResult {
  int32_t result = -1;
  int32_t error = -1;
  int32_t mode = -1;
  ISResolution resolution{-1, -1, -1};
};

DimsResult QueryDims(const Bytes& resources, bool withResolution = true) {
  CPsdLayout layout;
  layout.mode = 4, layout.width = 640, layout.height = 480;
  layout.resources = resources;
  CTempFolder dir;
  CSource source(dir.Write("d.psd", PsdFile(layout)));
  DimsResult r;
  int32_t w = 0, h = 0;
  r.result = ISGetPSDDims(source.Get(), &w, &h, &r.mode, withResolution ? &r.resolution : nullptr);
  r.error = ISGetLastError();
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  return r;
}

TEST(PsdDims, ResolutionFromItsResource) {
  struct Case {
    uint16_t x, horizontalUnit, y, verticalUnit;
    ISResolution expected;
  };
  const Case cases[] = {
      {72, 1, 72, 1, {72, 72, 1}},
      {300, 1, 118, 2, {300, 46, 1}},   // vertical per centimetre, taken per inch: 118 x 0.3937
      {118, 2, 300, 1, {118, 761, 2}},  // 300 x 2.54 truncated
      {118, 2, 118, 2, {118, 118, 2}},
      {96, 3, 96, 3, {96, 96, 0}},
  };
  for (const Case& c : cases) {
    const Bytes resources = Resource(1005, ResolutionData(c.x, c.horizontalUnit, c.y, c.verticalUnit), "res");
    const DimsResult r = QueryDims(resources);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.error, IS_ERR_OK);
    EXPECT_EQ(r.mode, 4);
    EXPECT_EQ(r.resolution.x, c.expected.x);
    EXPECT_EQ(r.resolution.y, c.expected.y);
    EXPECT_EQ(r.resolution.unit, c.expected.unit);
  }
}

TEST(PsdDims, ResourceBlocksAreFoundOrReportedMissing) {
  const Bytes resolution = Resource(1005, ResolutionData(150, 1, 150, 1));
  Bytes afterJunk = {0x11, 0x22, 0x33};
  afterJunk.insert(afterJunk.end(), resolution.begin(), resolution.end());
  Bytes afterOther = Resource(1036, Bytes(5, 9), "thumb");
  afterOther.insert(afterOther.end(), resolution.begin(), resolution.end());
  Bytes overlong = Resource(1005, ResolutionData(150, 1, 150, 1));
  overlong[11] = 0x40;  // the size claims 64 bytes of 16
  const Bytes shortResolution = Resource(1005, Bytes(8, 1));

  const struct {
    const char* name;
    Bytes resources;
    int32_t error;
    int32_t x;
  } cases[] = {
      {"afterJunk", afterJunk, IS_ERR_OK, 150},
      {"afterAnotherBlock", afterOther, IS_ERR_OK, 150},
      {"otherBlockOnly", Resource(1036, Bytes(4, 1)), IS_ERR_OK, 0},
      {"tooShortToUse", shortResolution, IS_ERR_OK, 0},
      {"noResources", {}, IS_ERR_PSDRESOURCES, 0},
      {"noSignature", Bytes(40, 0x38), IS_ERR_PSDRESOURCES, 0},
      {"sizePastTheSection", overlong, IS_ERR_PSDRESOURCES, 0},
  };
  for (const auto& c : cases) {
    const DimsResult r = QueryDims(c.resources);
    EXPECT_EQ(r.result, 1) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
    EXPECT_EQ(r.resolution.x, c.x) << c.name;
  }
  EXPECT_EQ(QueryDims({}, false).error, IS_ERR_OK);  // without a record nothing is parsed
}

TEST(PsdErrors, ArgumentsAndHandles) {
  CPsdLayout layout;
  layout.data = kRgbPlanes;
  CTempFolder dir;
  CSource source(dir.Write("a.psd", PsdFile(layout)));
  int32_t w = 0, h = 0, mode = 0, count = 0;
  ISPalEntry palette[IS_PALETTE_SIZE];
  const struct {
    const char* what;
    std::function<bool()> call;
  } calls[] = {
      {"16 bits", [&] { return ISReadPSD(source.Get(), &w, &h, 16, palette, 0) != nullptr; }},
      {"8 bits, no palette", [&] { return ISReadPSD(source.Get(), &w, &h, 8, nullptr, 0) != nullptr; }},
      {"no height", [&] { return ISReadPSD(source.Get(), &w, nullptr, 24, nullptr, 0) != nullptr; }},
      {"no source", [&] { return ISReadPSD(nullptr, &w, &h, 24, nullptr, 0) != nullptr; }},
      {"dims without mode", [&] { return ISGetPSDDims(source.Get(), &w, &h, nullptr, nullptr) != 0; }},
      {"palette without array", [&] { return ISGetPSDPalette(source.Get(), &count, nullptr) != 0; }},
  };
  for (const auto& c : calls) {
    source.Rewind();
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM) << c.what;
  }
  EXPECT_EQ(ISGetPSDDims(reinterpret_cast<HISSRC>(&w), &w, &h, &mode, nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADSOURCE);
}

}  // namespace
}  // namespace qv::test
