// The JPEG reader against libjpeg's own encodes and decodes.
#include "codec/jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "codec/codec_internal.h"
#include "encoders.h"
#include "readers_test_support.h"

namespace qv::test {
namespace {

CRead ReadJpg(const std::string& path, int32_t bits, uint32_t flags = 0) {
  CSource source(path);
  CRead r;
  r.buffer.Reset(ISReadJPG(source.Get(), &r.width, &r.height, bits, flags));
  r.error = ISGetLastError();
  return r;
}

class JpegReader : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const CJpegLayout& layout, const Bytes& pixels) {
    m_file = EncodeJpeg(layout, pixels);
    return m_dir.Write(name, m_file);
  }
  CTempFolder m_dir;
  Bytes m_file;
};

TEST_F(JpegReader, ColourMatchesLibjpegDecodeAndReportsJfifDensity) {
  const CJpegLayout layout{.width = 67, .height = 45, .densityUnit = 1, .xDensity = 72, .yDensity = 96};
  const std::string path = Write("c.jpg", layout, Pattern(67, 45, 3, 1));
  CSource source(path);
  int32_t w = 0, h = 0, bits = 0;
  ISResolution res{};
  ASSERT_EQ(ISGetJPGDims(source.Get(), &w, &h, &bits, &res), 1);
  EXPECT_EQ(w, 67);
  EXPECT_EQ(h, 45);
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(res.x, 72);
  EXPECT_EQ(res.y, 96);
  EXPECT_EQ(res.unit, 1);

  const CRead r = ReadJpg(path, 24);
  ASSERT_EQ(r.error, IS_ERR_OK);
  ASSERT_EQ(r.width, 67);
  ASSERT_EQ(r.height, 45);
  EXPECT_EQ(r.Copy(67 * 45 * 3), DecodeJpeg(m_file, JCS_RGB).pixels);
}

TEST_F(JpegReader, GreyReadsAtEightAndTwentyFourBits) {
  const std::string path =
      Write("g.jpg", {.width = 33, .height = 20, .components = 1, .colorSpace = JCS_GRAYSCALE}, Pattern(33, 20, 1, 2));
  const Bytes grey = DecodeJpeg(m_file, JCS_GRAYSCALE).pixels;
  CSource source(path);
  int32_t w = 0, h = 0, bits = 0;
  ASSERT_EQ(ISGetJPGDims(source.Get(), &w, &h, &bits, nullptr), 1);
  EXPECT_EQ(bits, 8);

  const CRead r8 = ReadJpg(path, 8);
  ASSERT_EQ(r8.error, IS_ERR_OK);
  EXPECT_EQ(r8.Copy(grey.size()), grey);
  const CRead r24 = ReadJpg(path, 24);
  ASSERT_EQ(r24.error, IS_ERR_OK);
  const Bytes rgb = r24.Copy(grey.size() * 3);
  for (size_t i = 0; i < grey.size(); ++i) {
    ASSERT_EQ(rgb[3 * i], grey[i]);
    ASSERT_EQ(rgb[3 * i + 1], grey[i]);
    ASSERT_EQ(rgb[3 * i + 2], grey[i]);
  }
}

TEST_F(JpegReader, DepthsAKindCannotDeliverFailWithJpegError) {
  const std::string grey =
      Write("g.jpg", {.width = 8, .height = 8, .components = 1, .colorSpace = JCS_GRAYSCALE}, Pattern(8, 8, 1, 3));
  const std::string colour = Write("c.jpg", {.width = 8, .height = 8}, Pattern(8, 8, 3, 3));
  const std::string cmyk =
      Write("k.jpg", {.width = 8, .height = 8, .components = 4, .colorSpace = JCS_CMYK}, Pattern(8, 8, 4, 3));
  const struct {
    std::string path;
    int32_t bits;
    uint32_t flags;
  } cases[] = {{grey, 32, 0}, {colour, 8, 0}, {colour, 32, 0}, {cmyk, 32, 0}, {cmyk, 24, IS_JPG_RAW_CMYK}};
  for (const auto& c : cases) {
    const CRead r = ReadJpg(c.path, c.bits, c.flags);
    EXPECT_EQ(r.error, IS_ERR_JPEG) << c.path << " at " << c.bits;
    EXPECT_FALSE(r.buffer);
  }
}

TEST_F(JpegReader, CmykAndYcckAreMultipliedByTheirBlackSample) {
  for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
    const Bytes file = EncodeJpeg(
        {.width = 19, .height = 11, .components = 4, .colorSpace = JCS_CMYK, .storeAs = stored}, Pattern(19, 11, 4, 4));
    const std::string path = m_dir.Write("k.jpg", file);
    const Bytes samples = DecodeJpeg(file, JCS_CMYK).pixels;
    const CRead rgb = ReadJpg(path, 24);
    ASSERT_EQ(rgb.error, IS_ERR_OK);
    const Bytes got = rgb.Copy(19 * 11 * 3);
    for (size_t p = 0; p < 19 * 11; ++p) {
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(got[p * 3 + c], samples[p * 4 + c] * samples[p * 4 + 3] / 255) << "pixel " << p;
    }
    const CRead raw = ReadJpg(path, 32, IS_JPG_RAW_CMYK);
    ASSERT_EQ(raw.error, IS_ERR_OK);
    EXPECT_EQ(raw.Copy(samples.size()), samples);
  }
}

// Rows past the end of the data are neither decoded nor touched: they stay 0.
TEST_F(JpegReader, FileCutInTheScanKeepsTheRowsItHolds) {
  for (const bool progressive : {false, true}) {
    Write("full.jpg", {.width = 128, .height = 128, .progressive = progressive}, Pattern(128, 128, 3, 5));
    const Bytes full = DecodeJpeg(m_file, JCS_RGB).pixels;
    // Progressive: halfway through the first scan, which alone reaches every row.
    const Bytes sos = {0xFF, 0xDA};
    const auto first = std::search(m_file.begin(), m_file.end(), sos.begin(), sos.end());
    const auto second = std::search(first + 1, m_file.end(), sos.begin(), sos.end());
    const size_t keep =
        progressive ? static_cast<size_t>((first - m_file.begin()) + (second - first) / 2) : m_file.size() * 6 / 10;
    const std::string cut = m_dir.Write("cut.jpg", Bytes(m_file.begin(), m_file.begin() + keep));
    const CRead r = ReadJpg(cut, 24);
    EXPECT_EQ(r.error, IS_ERR_FILEREAD) << progressive;
    ASSERT_EQ(r.width, 128);
    ASSERT_EQ(r.height, 128);
    const Bytes got = r.Copy(full.size());
    if (!progressive) {
      const auto diff = std::mismatch(got.begin(), got.end(), full.begin());
      EXPECT_GE(diff.first - got.begin(), 32 * 128 * 3) << "rows before the cut";
    }
    EXPECT_TRUE(std::all_of(got.end() - 16 * 128 * 3, got.end(), [](uint8_t v) { return v == 0; })) << progressive;
    // Without only its end-of-image marker the whole picture is there.
    const std::string noEnd = m_dir.Write("no-end.jpg", Bytes(m_file.begin(), m_file.end() - 2));
    const CRead whole = ReadJpg(noEnd, 24);
    EXPECT_EQ(whole.error, IS_ERR_OK) << progressive;
    EXPECT_EQ(whole.Copy(full.size()), full) << progressive;
  }
}

TEST_F(JpegReader, FatalErrorAfterTheRowsKeepsThemWithReadError) {
  Write("c.jpg", {.width = 24, .height = 24}, Pattern(24, 24, 3, 15));
  Bytes broken(m_file.begin(), m_file.end() - 2);  // a table marker of impossible length before the end
  broken.insert(broken.end(), {0xFF, 0xDB, 0x00, 0x01, 0xFF, 0xD9});
  const CRead r = ReadJpg(m_dir.Write("b.jpg", broken), 24);
  EXPECT_EQ(r.error, IS_ERR_FILEREAD);
  EXPECT_EQ(r.Copy(24 * 24 * 3), DecodeJpeg(m_file, JCS_RGB).pixels);
}

TEST_F(JpegReader, EmptyAndForeignFilesFailWithJpegError) {
  const Bytes notJpeg = Noise(300, 6);
  for (const Bytes& file : {Bytes{}, notJpeg, Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11}}) {
    const std::string path = m_dir.Write("x.jpg", file);
    const CRead r = ReadJpg(path, 24);
    EXPECT_EQ(r.error, IS_ERR_JPEG);
    EXPECT_FALSE(r.buffer);
    CSource source(path);
    int32_t w = -1, h = -1;
    EXPECT_EQ(ISGetJPGDims(source.Get(), &w, &h, nullptr, nullptr), 0);
    EXPECT_EQ(ISGetLastError(), IS_ERR_JPEG);
    EXPECT_EQ(w, 0);
  }
}

TEST_F(JpegReader, HugeProgressiveHeaderFailsBeforeDecoding) {
  Bytes file = EncodeJpeg({.width = 16, .height = 16, .progressive = true}, Pattern(16, 16, 3, 16));
  const Bytes sof2 = {0xFF, 0xC2};
  const auto sof = std::search(file.begin(), file.end(), sof2.begin(), sof2.end());
  ASSERT_NE(sof, file.end());
  for (int i : {5, 7}) *(sof + i) = 0xEA;  // 60000 x 60000
  for (int i : {6, 8}) *(sof + i) = 0x60;
  const auto start = std::chrono::steady_clock::now();
  const CRead r = ReadJpg(m_dir.Write("huge.jpg", file), 24);
  EXPECT_EQ(r.error, IS_ERR_MEMORY);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// The last scan of a progressive file written again and again: libjpeg
// decodes each copy (a wrong progression is only a warning) unless the
// reader stops at its scan limit.
TEST_F(JpegReader, ProgressiveFileWithThousandsOfScansIsRefused) {
  const Bytes file = EncodeJpeg({.width = 64, .height = 64, .progressive = true}, Pattern(64, 64, 3, 5));
  const Bytes sos = {0xFF, 0xDA};
  auto last = file.end();
  for (auto it = std::search(file.begin(), file.end(), sos.begin(), sos.end()); it != file.end();
       it = std::search(it + 1, file.end(), sos.begin(), sos.end()))
    last = it;
  ASSERT_NE(last, file.end());
  const Bytes scan(last, file.end() - 2);  // up to the end-of-image marker
  for (const int copies : {100, 3000}) {
    Bytes many(file.begin(), file.end() - 2);
    for (int i = 0; i < copies; ++i) many.insert(many.end(), scan.begin(), scan.end());
    many.insert(many.end(), {0xFF, 0xD9});
    const auto start = std::chrono::steady_clock::now();
    const CRead r = ReadJpg(m_dir.Write("scans.jpg", many), 24);
    EXPECT_EQ(r.error, copies < 200 ? IS_ERR_OK : IS_ERR_JPEG) << copies;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << copies;
  }
}

TEST_F(JpegReader, CommentsAndAppMarkersAreHarvestedInFileOrder) {
  const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 1, 2, 3};
  const std::string tagged =
      Write("t.jpg", {.width = 8, .height = 8, .comments = {"first", "second"}, .appMarkers = {{1, exif}, {2, {9, 8}}}},
            Pattern(8, 8, 3, 7));
  ASSERT_EQ(ReadJpg(tagged, 24).error, IS_ERR_OK);
  const codec::ISThreadState& state = *codec::GetThreadState();
  ASSERT_EQ(state.m_arrComments.size(), 2u);
  EXPECT_STREQ(reinterpret_cast<const char*>(state.m_arrComments[0]->m_data.data()), "first");
  EXPECT_STREQ(reinterpret_cast<const char*>(state.m_arrComments[1]->m_data.data()), "second");
  ASSERT_EQ(state.m_arrMarkers.size(), 2u);
  const codec::CFileDataTag& app1 = *state.m_arrMarkers[0];
  EXPECT_EQ(app1.m_nCode, 0xE1);
  ASSERT_EQ(app1.m_data.size(), exif.size() + 4);
  EXPECT_EQ(Bytes(app1.m_data.begin() + 4, app1.m_data.end()), exif);
  EXPECT_EQ(state.m_arrMarkers[1]->m_nCode, 0xE2);

  // The next JPEG operation starts the lists afresh.
  const std::string plain = Write("p.jpg", {.width = 8, .height = 8}, Pattern(8, 8, 3, 8));
  CSource source(plain);
  int32_t w = 0, h = 0;
  ASSERT_EQ(ISGetJPGDims(source.Get(), &w, &h, nullptr, nullptr), 1);
  EXPECT_TRUE(state.m_arrComments.empty());
  EXPECT_TRUE(state.m_arrMarkers.empty());
}

TEST_F(JpegReader, NoJfifHeaderReportsNoResolution) {
  const std::string path =
      Write("n.jpg", {.width = 8, .height = 8, .jfif = false, .densityUnit = 1, .xDensity = 300, .yDensity = 300},
            Pattern(8, 8, 3, 9));
  CSource source(path);
  int32_t w = 0, h = 0, bits = 0;
  ISResolution res{7, 7, 7};
  ASSERT_EQ(ISGetJPGDims(source.Get(), &w, &h, &bits, &res), 1);
  EXPECT_EQ(res.x, 0);
  EXPECT_EQ(res.y, 0);
  EXPECT_EQ(res.unit, 0);
}

TEST_F(JpegReader, PaddedRowsAreBlueFirstAndPackedBitmapsBottomUp) {
  Write("c.jpg", {.width = 5, .height = 3, .densityUnit = 2, .xDensity = 40, .yDensity = 20}, Pattern(5, 3, 3, 10));
  const std::string path = m_dir.Path("c.jpg");
  const Bytes ref = DecodeJpeg(m_file, JCS_RGB).pixels;
  const CRead padded = ReadJpg(path, 24, IS_JPG_PADDED_BGR);
  ASSERT_EQ(padded.error, IS_ERR_OK);
  const Bytes p = padded.Copy(16 * 3);
  const CRead dib = ReadJpg(path, 24, IS_JPG_PACKED_DIB);
  ASSERT_EQ(dib.error, IS_ERR_OK);
  const Bytes d = dib.Copy(40 + 16 * 3);
  EXPECT_EQ(qv::LoadU32LE(&d[0]), 40u);
  EXPECT_EQ(qv::LoadU32LE(&d[4]), 5u);
  EXPECT_EQ(qv::LoadU32LE(&d[8]), 3u);
  EXPECT_EQ(qv::LoadU16LE(&d[14]), 24u);
  EXPECT_EQ(qv::LoadU32LE(&d[20]), 48u);
  EXPECT_EQ(qv::LoadU32LE(&d[24]), 4000u);
  EXPECT_EQ(qv::LoadU32LE(&d[28]), 2000u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      for (int c = 0; c < 3; ++c) {
        const uint8_t want = ref[(y * 5 + x) * 3 + (2 - c)];
        ASSERT_EQ(p[y * 16 + x * 3 + c], want);
        ASSERT_EQ(d[40 + (2 - y) * 16 + x * 3 + c], want);
      }
    }
    EXPECT_EQ(p[y * 16 + 15], 0);
  }

  const std::string grey =
      Write("g.jpg", {.width = 3, .height = 2, .components = 1, .colorSpace = JCS_GRAYSCALE}, Pattern(3, 2, 1, 11));
  const CRead g = ReadJpg(grey, 24, IS_JPG_PACKED_DIB);  // packed grey is always 8 bits with a grey palette
  ASSERT_EQ(g.error, IS_ERR_OK);
  const Bytes gd = g.Copy(40 + 1024 + 8);
  EXPECT_EQ(qv::LoadU16LE(&gd[14]), 8u);
  EXPECT_EQ(qv::LoadU32LE(&gd[32]), 256u);
  EXPECT_EQ(gd[40 + 4 * 200], 200);
  EXPECT_EQ(gd[40 + 4 * 200 + 3], 255);
}

TEST_F(JpegReader, RewindFlagLeavesTheSourceJustAfterTheImage) {
  Write("c.jpg", {.width = 16, .height = 16}, Pattern(16, 16, 3, 12));
  Bytes tailed = m_file;
  tailed.insert(tailed.end(), 10, 0x55);
  const std::string path = m_dir.Write("t.jpg", tailed);
  for (const bool rewind : {false, true}) {
    HISSRC source = ISOpenFileSource(path.c_str());
    int32_t w = 0, h = 0;
    qv::GlobalMemFree(ISReadJPG(source, &w, &h, 24, rewind ? IS_JPG_REWIND_AT_END : 0));
    EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
    EXPECT_EQ(ISCloseSource(source), static_cast<int32_t>(rewind ? m_file.size() : tailed.size()));
  }
}

TEST_F(JpegReader, StopByProgressCallbackKeepsTheRowsRead) {
  const std::string path = Write("c.jpg", {.width = 16, .height = 16}, Pattern(16, 16, 3, 13));
  const CProgressStop stop;
  const CRead r = ReadJpg(path, 24);
  EXPECT_EQ(r.error, IS_ERR_CANCELLED);
  ASSERT_TRUE(r.buffer);
  const Bytes full = DecodeJpeg(m_file, JCS_RGB).pixels;
  EXPECT_EQ(r.Copy(16 * 3), Bytes(full.begin(), full.begin() + 16 * 3));
}

TEST_F(JpegReader, BadArgumentsAreRefused) {
  const std::string path = Write("c.jpg", {.width = 8, .height = 8}, Pattern(8, 8, 3, 14));
  int32_t w = 0, h = 0;
  EXPECT_EQ(ISReadJPG(nullptr, &w, &h, 24, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(ReadJpg(path, 16).error, IS_ERR_BADPARAM);
  int32_t notASource = 0;
  EXPECT_EQ(ISGetJPGDims(reinterpret_cast<HISSRC>(&notASource), &w, &h, nullptr, nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADSOURCE);
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// Exif blocks whole and damaged: only a well-formed orientation entry counts.
TEST(ExifOrientation, WellFormedEntriesOnly) {
  // "Exif\0\0", a little-endian TIFF header, one directory of `entries` with
  // the orientation entry last, then the next-directory offset.
  auto block = [](uint16_t value, uint16_t type = 3, uint32_t count = 1, uint32_t entries = 1) {
    CByteWriter w;
    w.Text("Exif").U8(0).U8(0).Text("II").U16(42).U32(8).U16(entries);
    for (uint32_t i = 1; i < entries; ++i) w.U16(0x010F).U16(2).U32(4).U32(0);
    w.U16(0x0112).U16(type).U32(count).U16(value).U16(0).U32(0);
    return w.Get();
  };
  Bytes bigEndian = {'E', 'x', 'i',  'f',  0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
                     0,   1,   0x01, 0x12, 0, 3, 0,   0,   0, 1,  0, 8, 0, 0};
  const Bytes whole = block(6);
  Bytes badOrder = whole, badMagic = whole, farDirectory = whole;
  badOrder[6] = 'X';
  badMagic[8] = 43;
  farDirectory[10] = 0xF0;
  const Bytes cut(whole.begin(), whole.begin() + 20);
  const struct {
    const char* what;
    Bytes data;
    int32_t want;
  } kCases[] = {
      {"little-endian 6", block(6), 6},
      {"big-endian 8", bigEndian, 8},
      {"after another entry", block(3, 3, 1, 3), 3},
      {"value 0", block(0), 1},
      {"value 9", block(9), 1},
      {"type LONG", block(6, 4), 1},
      {"count 2", block(6, 3, 2), 1},
      {"byte order unknown", badOrder, 1},
      {"not 42", badMagic, 1},
      {"directory past the end", farDirectory, 1},
      {"entry cut short", cut, 1},
      {"no signature", Bytes(whole.begin() + 1, whole.end()), 1},
      {"empty", Bytes(), 1},
  };
  for (const auto& c : kCases) EXPECT_EQ(ISExifOrientation(c.data.data(), c.data.size()), c.want) << c.what;
}

TEST(ExifOrientation, ReadFromTheFileHeader) {
  CTempFolder dir;
  const Bytes pixels = Pattern(16, 8, 3, 1);
  const std::string plain = dir.Write("plain.jpg", EncodeJpeg({.width = 16, .height = 8}, pixels));
  CByteWriter exif;
  exif.Text("Exif").U8(0).U8(0).Text("II").U16(42).U32(8).U16(1).U16(0x0112).U16(3).U32(1).U16(8).U16(0).U32(0);
  const std::string turned = dir.Write(
      "turned.jpg", EncodeJpeg({.width = 16, .height = 8, .appMarkers = {{2, Bytes{1}}, {1, exif.Get()}}}, pixels));
  const std::string junk = dir.Write("junk.jpg", Bytes(64, 0x11));
  const struct {
    const std::string& path;
    int32_t want;
  } kCases[] = {{plain, 1}, {turned, 8}, {junk, 0}};
  for (const auto& c : kCases) {
    CSource source(c.path);
    EXPECT_EQ(ISGetJPGOrientation(source.Get()), c.want) << c.path;
  }
}

}  // namespace
}  // namespace qv::test
