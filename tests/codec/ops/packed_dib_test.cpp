// The packed device-independent bitmap of a 24-bit picture.
#include <gtest/gtest.h>

#include "codec/ops/ops.h"
#include "ops_test_support.h"
#include "platform/global_memory.h"

namespace qv::test {
namespace {

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct CBlock {
  explicit CBlock(uint8_t* p) : m_p(p) {}
  ~CBlock() { qv::GlobalMemFree(m_p); }
  CBlock(const CBlock&) = delete;
  CBlock& operator=(const CBlock&) = delete;
  uint8_t* m_p;
};

TEST(PackedDIB, OneRedPixel) {
  const uint8_t red[3] = {255, 0, 0};
  uint64_t size = 0;
  const CBlock block(ISMakePackedDIB(red, 1, 1, &size));
  ASSERT_TRUE(block.m_p);
  ASSERT_EQ(size, 44u);
  const uint8_t* h = block.m_p;
  EXPECT_EQ(U32(h), 40u);
  EXPECT_EQ(U32(h + 4), 1u);
  EXPECT_EQ(U32(h + 8), 1u);
  EXPECT_EQ(U16(h + 12), 1);
  EXPECT_EQ(U16(h + 14), 24);
  EXPECT_EQ(U32(h + 16), 0u);
  EXPECT_EQ(U32(h + 20), 4u);
  EXPECT_EQ(Bytes(h + 24, h + 40), Bytes(16, 0));
  EXPECT_EQ(Bytes(h + 40, h + 44), (Bytes{0, 0, 255, 0}));
}

// Rows bottom-up, blue first, each padded with zeros to a multiple of 4
// (width 3: 9 bytes of pixels and 3 of padding).
TEST(PackedDIB, RowsReversedSwappedAndPadded) {
  CRandom rng(51);
  for (int n = 0; n < 60; ++n) {
    const int32_t w = n == 0 ? 3 : rng.AwkwardSize(), h = rng.Int(1, 9);
    const Bytes image = rng.Fill(size_t(w) * h * 3);
    uint64_t size = 0;
    const CBlock block(ISMakePackedDIB(image.data(), w, h, &size));
    ASSERT_TRUE(block.m_p);
    const size_t row = size_t((w * 3 + 3) / 4 * 4);
    if (w == 3) {
      EXPECT_EQ(row, 12u);
    }
    ASSERT_EQ(size, 40 + row * h);
    EXPECT_EQ(U32(block.m_p + 20), row * h);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* out = block.m_p + 40 + size_t(h - 1 - y) * row;
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* in = &image[(size_t(y) * w + x) * 3];
        ASSERT_EQ((Bytes{out[x * 3], out[x * 3 + 1], out[x * 3 + 2]}), (Bytes{in[2], in[1], in[0]}));
      }
      for (size_t k = size_t(w) * 3; k < row; ++k) ASSERT_EQ(out[k], 0);
    }
  }
}

TEST(PackedDIB, Refusals) {
  const uint8_t px[3] = {};
  EXPECT_EQ(ISMakePackedDIB(nullptr, 1, 1, nullptr), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(ISMakePackedDIB(px, 0, 1, nullptr), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(ISMakePackedDIB(px, 1, -1, nullptr), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  // Larger than any block the library hands out: refused before anything is read.
  EXPECT_EQ(ISMakePackedDIB(px, 40000, 20000, nullptr), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_MEMORY);
}

}  // namespace
}  // namespace qv::test
