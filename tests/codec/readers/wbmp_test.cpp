// The WBMP reader on files built byte by byte.
#include <gtest/gtest.h>

#include <array>

#include "codec/codec_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

class WbmpReader : public ::testing::Test {
 protected:
  // Reads the file; the reader's error goes to m_nError (closing the source clears the last error).
  uint8_t* Read(const Bytes& file, int32_t bits, ISPalEntry* palette, int32_t& w, int32_t& h) {
    CSource source(m_dir.Write("t.wbmp", file));
    uint8_t* pixels = ISReadWBMP(source.Get(), &w, &h, palette, bits, 0);
    m_nError = ISGetLastError();
    return pixels;
  }
  CTempFolder m_dir;
  int32_t m_nError = -1;
};

// Width 9, height 2: two bytes per row.
const Bytes kNineByTwo = {0, 0, 9, 2, 0xA5, 0x80, 0x5A, 0x7F};

TEST_F(WbmpReader, ReadsPackedAndExpandedRows) {
  std::array<ISPalEntry, 256> palette;
  palette.fill(ISPalEntry{7, 7, 7, 7});
  int32_t w = 0, h = 0;
  CCodecBuffer packed(Read(kNineByTwo, 1, palette.data(), w, h));
  EXPECT_EQ(m_nError, IS_ERR_OK);
  EXPECT_EQ(w, 9);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(packed.Copy(4), (Bytes{0xA5, 0x80, 0x5A, 0x7F}));
  EXPECT_EQ(palette[0].red, 0);
  EXPECT_EQ(palette[1].red, 255);
  EXPECT_EQ(palette[1].reserved, 255);
  EXPECT_EQ(palette[2].red, 7);  // the rest is left alone

  CCodecBuffer expanded(Read(kNineByTwo, 8, palette.data(), w, h));
  EXPECT_EQ(m_nError, IS_ERR_OK);
  EXPECT_EQ(expanded.Copy(18), (Bytes{1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 0, 0}));
}

TEST_F(WbmpReader, MultiByteDimensions) {
  CSource source(m_dir.Write("d.wbmp", Bytes{0, 0, 0x81, 0x00, 0x82, 0x81, 0x01}));
  int32_t w = 0, h = 0;
  ASSERT_EQ(ISGetWBMPDims(source.Get(), &w, &h), 1);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 2 * 16384 + 128 + 1);
}

TEST_F(WbmpReader, TruncatedRowsKeepWhatWasRead) {
  std::array<ISPalEntry, 256> palette{};
  int32_t w = 0, h = 0;
  CCodecBuffer d(Read(Bytes{0, 0, 8, 3, 0xFF, 0x0F}, 8, palette.data(), w, h));
  ASSERT_TRUE(d);
  EXPECT_EQ(m_nError, IS_ERR_FILEREAD);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(d.Copy(24), (Bytes{1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
}

struct WbmpRefusal {
  const char* label;
  Bytes file;
  int32_t bits;
  int32_t error;
};

void PrintTo(const WbmpRefusal& c, std::ostream* os) {
  *os << c.label << " at " << c.bits << " bits: " << ISErrorName(c.error) << ", file " << HexBytes(c.file);
}

const WbmpRefusal kWbmpRefusals[] = {
    {"type_byte_not_zero", {1, 0, 8, 1, 0xFF}, 8, IS_ERR_NOTWBMP},
    {"fixed_header_not_zero", {0, 1, 8, 1, 0xFF}, 8, IS_ERR_NOTWBMP},
    {"zero_width", {0, 0, 0, 1}, 8, IS_ERR_NOTWBMP},
    {"zero_height", {0, 0, 8, 0}, 1, IS_ERR_NOTWBMP},
    {"width_cut_off", {0, 0, 0x81}, 8, IS_ERR_NOTWBMP},
    {"width_overflows", {0, 0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 1}, 8, IS_ERR_NOTWBMP},
    {"huge_without_data", {0, 0, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x87, 0xFF, 0xFF, 0xFF, 0x7F}, 8, IS_ERR_FILEREAD},
    {"first_row_cut_off", {0, 0, 16, 1, 0xFF}, 1, IS_ERR_FILEREAD},
    {"depth_24", {0, 0, 8, 1, 0xFF}, 24, IS_ERR_BADPARAM},
};

class WbmpRefusals : public WbmpReader, public ::testing::WithParamInterface<WbmpRefusal> {};

TEST_P(WbmpRefusals, FailWithTheirCode) {
  std::array<ISPalEntry, 256> palette{};
  int32_t w = 0, h = 0;
  CCodecBuffer d(Read(GetParam().file, GetParam().bits, palette.data(), w, h));
  EXPECT_FALSE(d);
  EXPECT_EQ(m_nError, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Table, WbmpRefusals, ::testing::ValuesIn(kWbmpRefusals), NameFrom<&WbmpRefusal::label>());

TEST_F(WbmpReader, ReadNeedsAPalette) {
  int32_t w = 0, h = 0;
  EXPECT_EQ(Read(kNineByTwo, 8, nullptr, w, h), nullptr);
  EXPECT_EQ(m_nError, IS_ERR_BADPARAM);
  CSource source(m_dir.Write("n.wbmp", Bytes{1, 0, 8, 1}));
  EXPECT_EQ(ISGetWBMPDims(source.Get(), &w, &h), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_NOTWBMP);
}

}  // namespace
}  // namespace qv::test
