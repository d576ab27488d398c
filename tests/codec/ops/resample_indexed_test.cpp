// Resampling of 8-bit indexed and 1-bit pictures, and the nearest-colour matcher.
#include <gtest/gtest.h>

#include "codec/ops/color_match.h"
#include "codec/ops/ops.h"
#include "ops_test_support.h"

namespace qv::test {
namespace {

using qv::codec::ops::CISColorMatch;

// A palette of random colours; with few distinct colours, many entries repeat
// (ties between equal entries must go to the lower index).
std::vector<ISPalEntry> RandomPalette(CRandom& rng) {
  std::vector<ISPalEntry> pal(256);
  const int distinct = rng.Int(0, 1) ? 256 : rng.Int(1, 6);
  std::vector<ISPalEntry> colours(static_cast<size_t>(distinct));
  for (auto& c : colours) c = {uint8_t(rng.Int(0, 255)), uint8_t(rng.Int(0, 255)), uint8_t(rng.Int(0, 255)), 0};
  for (auto& e : pal) e = colours[size_t(rng.Int(0, distinct - 1))];
  return pal;
}

// Indices limited to the first few entries now and then, so that neighbours
// share colours and flat areas occur.
CPicture RandomIndexed(CRandom& rng, int32_t w, int32_t h) {
  CPicture p = RandomPicture(rng, w, h, w);
  if (rng.Int(0, 1)) {
    const int32_t used = rng.Int(1, 4);
    for (auto& b : p.bits) b = uint8_t(b % used);
  }
  return p;
}

// 1-bit rows with a random share of set bits.
CPicture RandomBits(CRandom& rng, int32_t w, int32_t h) {
  CPicture p = RandomPicture(rng, w, h, (int64_t(w) + 7) / 8);
  const int32_t density = rng.Int(0, 8);
  for (auto& b : p.bits) {
    uint8_t v = 0;
    for (int k = 0; k < 8; ++k) v = uint8_t((v << 1) | (rng.Int(0, 7) < density ? 1 : 0));
    b = v;
  }
  return p;
}

TEST(ResampleIndexed, Bilinear8MatchesLiteralForm) {
  CRandom rng(81);
  for (int n = 0; n < 220; ++n) {
    const auto pal = RandomPalette(rng);
    const int32_t count = rng.Int(0, 3) ? rng.Int(1, 256) : 256;
    const int32_t sw = rng.AwkwardSize(), sh = rng.AwkwardSize(), dw = rng.AwkwardSize(), dh = rng.AwkwardSize();
    const CPicture src = RandomIndexed(rng, sw, sh);
    CPicture got = RandomPicture(rng, dw, dh, dw);
    if (sw == dw && sh == dh && src.stride == got.stride) continue;
    CPicture want = got;
    ASSERT_EQ(
        ISResizeBilinear8(src.bits.data(), sw, sh, src.stride, got.bits.data(), dw, dh, got.stride, count, pal.data()),
        1);
    ref::ResizeBilinear8(src.View(), want.Out(), pal.data(), count);
    ASSERT_EQ(got.bits, want.bits) << Describe("bilinear8", sw, sh, dw, dh, 1) << " count " << count;
  }
}

TEST(ResampleIndexed, AreaAverage8MatchesLiteralForm) {
  CRandom rng(82);
  for (int n = 0; n < 220; ++n) {
    const auto pal = RandomPalette(rng);
    const int32_t count = rng.Int(1, 256);
    const int32_t dw = rng.AwkwardSize(), dh = rng.AwkwardSize();
    const int32_t sw = rng.ShrinkSource(dw), sh = rng.ShrinkSource(dh);
    const CPicture src = RandomIndexed(rng, sw, sh);
    CPicture got = RandomPicture(rng, dw, dh, dw);
    CPicture want = got;
    ASSERT_EQ(ISResizeAreaAverage8(src.bits.data(), sw, sh, src.stride, got.bits.data(), dw, dh, got.stride, pal.data(),
                                   count),
              1);
    ref::ResizeAreaAverage8(src.View(), want.Out(), pal.data(), count);
    ASSERT_EQ(got.bits, want.bits) << Describe("area8", sw, sh, dw, dh, 1);
  }
}

TEST(ResampleIndexed, OneBitMatchesLiteralForm) {
  CRandom rng(83);
  for (int n = 0; n < 220; ++n) {
    const int32_t sw = rng.AwkwardSize(), sh = rng.AwkwardSize(), dw = rng.AwkwardSize(), dh = rng.AwkwardSize();
    const CPicture src = RandomBits(rng, sw, sh);
    CPicture got = RandomPicture(rng, dw, dh, (dw + 7) / 8);
    CPicture want = got;
    ASSERT_EQ(ISResize1Bit(src.bits.data(), sw, sh, src.stride, got.bits.data(), dw, dh, got.stride), 1);
    ref::Resize1Bit(src.View(), want.Out());
    ASSERT_EQ(got.bits, want.bits) << Describe("1bit", sw, sh, dw, dh, 1);
  }
}

TEST(ResampleIndexed, ThresholdMatchesLiteralForm) {
  CRandom rng(84);
  for (int n = 0; n < 220; ++n) {
    const int32_t dw = rng.AwkwardSize(), dh = rng.AwkwardSize();
    const int32_t sw = rng.ShrinkSource(dw), sh = rng.ShrinkSource(dh);
    const int32_t threshold = rng.Int(0, 255);
    const CPicture src = RandomBits(rng, sw, sh);
    CPicture got = RandomPicture(rng, dw, dh, (dw + 7) / 8);
    CPicture want = got;
    ASSERT_EQ(
        ISResize1BitThreshold(src.bits.data(), sw, sh, src.stride, got.bits.data(), dw, dh, got.stride, threshold), 1);
    ref::Resize1BitThreshold(src.View(), want.Out(), threshold);
    ASSERT_EQ(got.bits, want.bits) << Describe("threshold", sw, sh, dw, dh, 1) << " threshold " << threshold;
  }
}

TEST(ResampleIndexed, CountMatchesBitByBit) {
  CRandom rng(85);
  for (int n = 0; n < 220; ++n) {
    const int32_t w = rng.AwkwardSize(), h = rng.AwkwardSize();
    const CPicture src = RandomBits(rng, w, h);
    uint64_t counts[2] = {99, 99};
    ASSERT_EQ(ISCount1BitPixels(src.bits.data(), w, h, src.stride, counts), 1);
    uint64_t ones = 0;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) ones += ref::Bit(src.View(), y, x);
    }
    ASSERT_EQ(counts[1], ones);
    ASSERT_EQ(counts[0], uint64_t(w) * uint64_t(h) - ones);
  }
}

TEST(ResampleIndexed, CountIgnoresPaddingBits) {
  for (uint8_t padding : {uint8_t(0x00), uint8_t(0x7F)}) {
    const uint8_t row[2] = {0xA0, uint8_t(0x80 | padding)};  // 9 pixels: 1 0 1 0 0 0 0 0 1
    uint64_t counts[2] = {};
    ASSERT_EQ(ISCount1BitPixels(row, 9, 1, 2, counts), 1);
    EXPECT_EQ(counts[0], 6u);
    EXPECT_EQ(counts[1], 3u);
  }
}

TEST(ResampleIndexed, OnePaletteEntryMapsEverythingToIt) {
  CRandom rng(86);
  const CPicture src = RandomIndexed(rng, 7, 5);
  std::vector<ISPalEntry> pal(256, ISPalEntry{9, 8, 7, 0});
  pal[3] = {200, 100, 50, 0};
  Bytes dst(13 * 11, 0xFF);
  ASSERT_EQ(ISResizeBilinear8(src.bits.data(), 7, 5, src.stride, dst.data(), 13, 11, 13, 1, pal.data()), 1);
  EXPECT_EQ(dst, Bytes(dst.size(), 0));
}

TEST(ResampleIndexed, Bilinear8PicksTheNearerOfTwoEntries) {
  const uint8_t src[2] = {0, 1};
  std::vector<ISPalEntry> pal(256, ISPalEntry{0, 0, 0, 0});
  pal[1] = {200, 200, 200, 0};
  uint8_t dst[4] = {};
  // Colours 0, 75, 150, 200 on the way from entry 0 to entry 1.
  ASSERT_EQ(ISResizeBilinear8(src, 2, 1, 2, dst, 4, 1, 4, 2, pal.data()), 1);
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 4), (std::vector<uint8_t>{0, 0, 1, 1}));
}

TEST(ResampleIndexed, ColorMatchAgreesWithFullScan) {
  CRandom rng(87);
  for (int round = 0; round < 20; ++round) {
    const auto pal = RandomPalette(rng);
    const int32_t count = rng.Int(0, 256);
    CISColorMatch match(pal.data(), count);
    // More distinct colours than the cache holds, each asked twice.
    for (int k = 0; k < 600; ++k) {
      const int c0 = rng.Int(0, 255), c1 = rng.Int(0, 255), c2 = rng.Int(0, 255);
      const uint8_t want = count == 0 ? 0 : ref::Nearest(pal.data(), count, c0, c1, c2);
      ASSERT_EQ(match.Lookup(uint32_t(c0), uint32_t(c1), uint32_t(c2)), want);
      ASSERT_EQ(match.Lookup(uint32_t(c0), uint32_t(c1), uint32_t(c2)), want);
    }
  }
}

TEST(ResampleIndexed, ColorMatchTiesAndMissingPalette) {
  const ISPalEntry pal[3] = {{0, 0, 0, 0}, {2, 2, 2, 0}, {1, 1, 1, 0}};
  CISColorMatch two(pal, 2);
  EXPECT_EQ(two.Lookup(1, 1, 1), 0);  // equally far from both: the lower index
  CISColorMatch three(pal, 3);
  EXPECT_EQ(three.Lookup(1, 1, 1), 2);
  EXPECT_EQ(three.Lookup(2, 2, 3), 1);  // compared byte by byte: blue, green, red
  CISColorMatch none(nullptr, 3);
  EXPECT_EQ(none.Lookup(2, 2, 2), 0);
}

TEST(ResampleIndexed, OneBitKeepsUniformPicturesUniform) {
  CRandom rng(88);
  for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF)}) {
    for (int n = 0; n < 20; ++n) {
      const int32_t sw = rng.AwkwardSize(), sh = rng.AwkwardSize(), dw = rng.AwkwardSize(), dh = rng.AwkwardSize();
      const Bytes src(size_t((sw + 7) / 8) * sh, fill);
      CPicture dst{dw, dh, (dw + 7) / 8, Bytes(size_t((dw + 7) / 8) * dh, uint8_t(~fill))};
      ASSERT_EQ(ISResize1Bit(src.data(), sw, sh, (sw + 7) / 8, dst.bits.data(), dw, dh, dst.stride), 1);
      for (int32_t y = 0; y < dh; ++y) {
        for (int32_t x = 0; x < dw; ++x) ASSERT_EQ(ref::Bit({dst.bits.data(), dw, dh, dst.stride}, y, x), fill & 1);
      }
    }
  }
}

// Halving a checkerboard covers every destination pixel by 127 (half of 255,
// truncated): thresholds below 127 set the bit, from 127 up they clear it.
TEST(ResampleIndexed, ThresholdOfHalvedCheckerboard) {
  Bytes src(2 * 16);
  for (int y = 0; y < 16; ++y) src[size_t(y) * 2] = src[size_t(y) * 2 + 1] = y % 2 ? 0x55 : 0xAA;
  for (auto [threshold, want] :
       {std::pair{64, 0xFF}, std::pair{126, 0xFF}, std::pair{127, 0x00}, std::pair{192, 0x00}}) {
    Bytes dst(8, 0x5A);
    ASSERT_EQ(ISResize1BitThreshold(src.data(), 16, 16, 2, dst.data(), 8, 8, 1, threshold), 1);
    EXPECT_EQ(dst, Bytes(8, uint8_t(want))) << threshold;
  }
}

TEST(ResampleIndexed, RefusedArguments) {
  const Bytes src(64, 1);
  std::vector<ISPalEntry> pal(256);
  Bytes dst(64, 0x33);
  uint8_t* d = dst.data();
  const uint8_t* s = src.data();
  uint64_t counts[2];
  const std::pair<const char*, int32_t> kCases[] = {
      {"bilinear8 null palette", ISResizeBilinear8(s, 4, 4, 4, d, 8, 8, 8, 256, nullptr)},
      {"bilinear8 in place", ISResizeBilinear8(d, 4, 4, 4, d, 8, 8, 8, 256, pal.data())},
      {"bilinear8 short stride", ISResizeBilinear8(s, 4, 4, 3, d, 8, 8, 8, 256, pal.data())},
      {"area8 enlarging", ISResizeAreaAverage8(s, 4, 4, 4, d, 5, 4, 5, pal.data(), 256)},
      {"area8 zero size", ISResizeAreaAverage8(s, 4, 4, 4, d, 0, 4, 5, pal.data(), 256)},
      {"area8 null palette", ISResizeAreaAverage8(s, 4, 4, 4, d, 2, 2, 2, nullptr, 256)},
      {"1bit in place", ISResize1Bit(d, 8, 8, 1, d, 16, 16, 2)},
      {"1bit zero size", ISResize1Bit(s, 8, 8, 1, d, 0, 16, 2)},
      {"1bit short stride", ISResize1Bit(s, 9, 8, 1, d, 16, 16, 2)},
      {"threshold enlarging", ISResize1BitThreshold(s, 8, 8, 1, d, 8, 9, 1, 64)},
      {"count null output", ISCount1BitPixels(s, 8, 8, 1, nullptr)},
      {"count short stride", ISCount1BitPixels(s, 17, 1, 2, counts)},
  };
  for (const auto& [what, result] : kCases) EXPECT_EQ(result, 0) << what;
  EXPECT_EQ(dst, Bytes(64, 0x33));
  EXPECT_EQ(ISResize1Bit(nullptr, 8, 8, 1, d, 16, 16, 2), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

TEST(ResampleIndexed, CancellationAfterFirstRow) {
  CRandom rng(89);
  const CPicture idx = RandomIndexed(rng, 10, 10);
  const auto pal = RandomPalette(rng);
  Bytes dst(25, 0xCD);
  CProgressStop stop(1);
  EXPECT_EQ(ISResizeAreaAverage8(idx.bits.data(), 10, 10, idx.stride, dst.data(), 5, 5, 5, pal.data(), 256), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_CANCELLED);
  EXPECT_EQ(Bytes(dst.begin() + 5, dst.end()), Bytes(20, 0xCD));
}

}  // namespace
}  // namespace qv::test
