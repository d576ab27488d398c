// Palette pictures whose pixels use indices past the colours their file lists:
// the holder shows them as the codec's 8-bit read does (entry 0's colour).
#include <gtest/gtest.h>

#include "codec/codec_test_support.h"
#include "show/show_image.h"
#include "support/param_names.h"

namespace qv {
namespace {

using test::Bytes;
using test::CByteWriter;
using test::CCodecBuffer;
using test::CSource;
using test::CTempFolder;

constexpr int32_t kWidth = 8;
constexpr int32_t kHeight = 2;

struct PastCountCase {
  const char* label;
  int bits;              // 1, 4 or 8
  uint32_t colours;      // entries in the file, fewer than the indices used
  uint32_t compression;  // 0, or 1 / 2 for run-length data
  uint32_t headerSize;
};

void PrintTo(const PastCountCase& c, std::ostream* os) { *os << c.label; }

uint8_t IndexAt(const PastCountCase& c, int32_t x, int32_t y) {
  return static_cast<uint8_t>((x * 5 + y * 3) % (1 << c.bits));
}

ISPalEntry Entry(uint32_t i) {
  return ISPalEntry{static_cast<uint8_t>(40 + i), static_cast<uint8_t>(90 + i), static_cast<uint8_t>(200 - i), 0};
}

// Bottom-up rows; run-length data as one run per pixel.
Bytes MakeFile(const PastCountCase& c) {
  Bytes data;
  for (int32_t y = kHeight - 1; y >= 0; --y) {
    if (c.compression != 0) {
      for (int32_t x = 0; x < kWidth; ++x) {
        data.push_back(1);
        data.push_back(static_cast<uint8_t>(c.bits == 4 ? IndexAt(c, x, y) << 4 : IndexAt(c, x, y)));
      }
      data.insert(data.end(), {0, 0});
      continue;
    }
    Bytes row((static_cast<size_t>(kWidth) * c.bits + 31) / 32 * 4, 0);
    for (int32_t x = 0; x < kWidth; ++x) {
      const int bit = x * c.bits;
      row[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(IndexAt(c, x, y) << (8 - c.bits - bit % 8));
    }
    data.insert(data.end(), row.begin(), row.end());
  }
  if (c.compression != 0) data.insert(data.end(), {0, 1});
  const uint32_t offset = 14 + c.headerSize + c.colours * 4;
  CByteWriter w;
  w.Text("BM").U32(offset + static_cast<uint32_t>(data.size())).U32(0).U32(offset);
  w.U32(c.headerSize).U32(kWidth).U32(kHeight).U16(1).U16(static_cast<uint32_t>(c.bits)).U32(c.compression);
  w.U32(static_cast<uint32_t>(data.size())).U32(3780).U32(3780).U32(c.colours).U32(0);
  w.Fill(c.headerSize - 40);
  for (uint32_t i = 0; i < c.colours; ++i) {
    const ISPalEntry e = Entry(i);
    w.U8(e.blue).U8(e.green).U8(e.red).U8(0);
  }
  w.Raw(data);
  return w.Get();
}

class ShowImagePastCount : public testing::TestWithParam<PastCountCase> {
 protected:
  CTempFolder m_dir;
};

TEST_P(ShowImagePastCount, ShowsWhatTheEightBitReadGives) {
  const PastCountCase& c = GetParam();
  const std::string path = m_dir.Write("p.bmp", MakeFile(c));

  ISPalEntry palette[IS_PALETTE_SIZE];
  int32_t width = 0, height = 0;
  CSource source(path);
  CCodecBuffer indices(ISReadBMP(source.Get(), &width, &height, 8, palette, 0));
  ASSERT_TRUE(indices);
  ASSERT_EQ(ISGetLastError(), IS_ERR_OK);

  CShowImage image;
  ASSERT_EQ(image.Load(path, kTypeNone, 0), IS_ERR_OK);
  EXPECT_EQ(image.m_nType, c.bits == 1 ? kTypeBmp1 : kTypeBmp8);
  ASSERT_EQ(image.m_nBitsPerPixel, 24);
  ASSERT_EQ(image.m_nWidth, kWidth);
  ASSERT_EQ(image.m_nHeight, kHeight);
  int pastCount = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint8_t index = IndexAt(c, x, y);
      ASSERT_EQ(indices.Get()[y * kWidth + x], index);
      const ISPalEntry want = Entry(index < c.colours ? index : 0);
      const ISPalEntry& read = palette[index];
      const uint8_t* shown = image.GetBits() + (y * kWidth + x) * 3;
      EXPECT_EQ(read.red, want.red);
      EXPECT_EQ(shown[0], want.red) << x << "," << y;
      EXPECT_EQ(shown[1], want.green) << x << "," << y;
      EXPECT_EQ(shown[2], want.blue) << x << "," << y;
      pastCount += index >= c.colours;
    }
  }
  EXPECT_GT(pastCount, 0);  // the case does reach past the count
}

INSTANTIATE_TEST_SUITE_P(Table, ShowImagePastCount,
                         testing::Values(PastCountCase{"one_bit_one_colour", 1, 1, 0, 40},
                                         PastCountCase{"four_bits_three_colours", 4, 3, 0, 40},
                                         PastCountCase{"eight_bits_five_colours", 8, 5, 0, 124},
                                         PastCountCase{"rle4_two_colours", 4, 2, 2, 40},
                                         PastCountCase{"rle8_four_colours", 8, 4, 1, 108}),
                         test::NameFrom<&PastCountCase::label>());

}  // namespace
}  // namespace qv
