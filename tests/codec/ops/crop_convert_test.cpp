// Crop, unpacking of packed pixels and expansion through the palette.
#include <gtest/gtest.h>

#include "codec/ops/ops.h"
#include "ops_test_support.h"

namespace qv::test {
namespace {

ISRect Rect(int32_t l, int32_t t, int32_t w, int32_t h) { return {l, t, l + w, t + h}; }

TEST(Crop, RandomRectanglesCopyExactlyTheirPixels) {
  CRandom rng(41);
  for (int n = 0; n < 220; ++n) {
    const int32_t bpp = rng.Int(1, 4), sw = rng.AwkwardSize(), sh = rng.AwkwardSize();
    const int32_t l = rng.Int(0, sw - 1), t = rng.Int(0, sh - 1);
    const int32_t w = rng.Int(0, sw - l), h = rng.Int(0, sh - t);
    const CPicture src = RandomPicture(rng, sw, sh, int64_t(sw) * bpp);
    CPicture got = RandomPicture(rng, std::max(w, 1), h + 1, std::max(w * bpp, 1));
    CPicture want = got;
    ASSERT_EQ(ISCropImage(src.bits.data(), sw, sh, src.stride, got.bits.data(), got.stride, Rect(l, t, w, h), bpp), 1);
    for (int32_t y = 0; y < h; ++y) {
      std::memcpy(&want.bits[size_t(y) * want.stride], &src.bits[size_t(t + y) * src.stride + size_t(l) * bpp],
                  size_t(w) * bpp);
    }
    ASSERT_EQ(got.bits, want.bits) << sw << "x" << sh << " rect " << l << "," << t << " " << w << "x" << h;
  }
}

TEST(Crop, FullImageAndOneTooWide) {
  CRandom rng(42);
  const CPicture src = RandomPicture(rng, 6, 5, 18);
  Bytes dst(18 * 5, 0);
  ASSERT_EQ(ISCropImage(src.bits.data(), 6, 5, src.stride, dst.data(), 18, Rect(0, 0, 6, 5), 3), 1);
  for (int y = 0; y < 5; ++y) EXPECT_TRUE(std::equal(&dst[y * 18], &dst[y * 18 + 18], &src.bits[y * src.stride]));
  Bytes untouched(18 * 5 + 3, 0x77);
  EXPECT_EQ(ISCropImage(src.bits.data(), 6, 5, src.stride, untouched.data(), 21, Rect(0, 0, 7, 5), 3), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(untouched, Bytes(18 * 5 + 3, 0x77));
}

TEST(Crop, RectanglesOutsideTheImageAreRefused) {
  const Bytes src(10 * 8, 1);
  const std::pair<const char*, ISRect> kCases[] = {
      {"left at the width", {10, 0, 10, 2}},      {"top at the height", {0, 8, 2, 8}},
      {"reaching past the right", {6, 0, 11, 2}}, {"reaching past the bottom", {0, 5, 2, 9}},
      {"negative left", {-1, 0, 3, 2}},           {"negative top", {0, -2, 3, 2}},
      {"right before left", {5, 0, 4, 2}},        {"huge right", {1, 0, INT32_MAX, 2}},
  };
  for (const auto& [what, rect] : kCases) {
    Bytes dst(256, 0x42);
    EXPECT_EQ(ISCropImage(src.data(), 10, 8, 10, dst.data(), 16, rect, 1), 0) << what;
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM) << what;
    EXPECT_EQ(ISCrop1Bit(src.data(), 10, 8, 2, dst.data(), 16, rect), 0) << what;
    EXPECT_EQ(dst, Bytes(256, 0x42)) << what;
  }
  Bytes dst(256, 0);
  EXPECT_EQ(ISCropImage(src.data(), 10, 8, 9, dst.data(), 16, Rect(0, 0, 2, 2), 1), 0);   // source stride short
  EXPECT_EQ(ISCropImage(src.data(), 10, 8, 10, dst.data(), 5, Rect(0, 0, 2, 2), 3), 0);   // destination stride short
  EXPECT_EQ(ISCropImage(dst.data(), 10, 8, 10, dst.data(), 16, Rect(0, 0, 2, 2), 1), 0);  // in place
  EXPECT_EQ(ISCrop1Bit(src.data(), 10, 8, 1, dst.data(), 16, Rect(0, 0, 2, 2)), 0);       // 1-bit stride short
}

TEST(Crop, OneBitShiftsBitsAndKeepsTrailingBits) {
  const uint8_t src[2] = {0b00010110, 0b11010000};  // bits 3..12: 1 0 1 1 0 1 1 0 1 0
  uint8_t dst[2] = {0xFF, 0x3F};
  ASSERT_EQ(ISCrop1Bit(src, 16, 1, 2, dst, 2, Rect(3, 0, 10, 1)), 1);
  EXPECT_EQ(dst[0], 0b10110110);
  EXPECT_EQ(dst[1], 0b10111111);  // two copied bits, then the previous low 6 bits
}

TEST(Crop, OneBitMatchesBitByBitCopy) {
  CRandom rng(43);
  for (int n = 0; n < 220; ++n) {
    const int32_t sw = rng.AwkwardSize(), sh = rng.AwkwardSize();
    const int32_t l = rng.Int(0, sw - 1), t = rng.Int(0, sh - 1);
    const int32_t w = rng.Int(0, sw - l), h = rng.Int(0, sh - t);
    const CPicture src = RandomPicture(rng, sw, sh, (sw + 7) / 8);
    CPicture got = RandomPicture(rng, std::max(w, 1), h + 1, std::max((w + 7) / 8, 1));
    CPicture want = got;
    ASSERT_EQ(ISCrop1Bit(src.bits.data(), sw, sh, src.stride, got.bits.data(), got.stride, Rect(l, t, w, h)), 1);
    ref::Crop1Bit(src.View(), want.Out(), l, t, w, h);
    ASSERT_EQ(got.bits, want.bits) << sw << "x" << sh << " rect " << l << "," << t << " " << w << "x" << h;
  }
}

TEST(Crop, ProgressVisitsEverySourceRow) {
  const Bytes src(6 * 9, 5);
  Bytes dst(6 * 9, 0);
  {
    CProgressStop stop(0);
    ASSERT_EQ(ISCropImage(src.data(), 6, 9, 6, dst.data(), 2, Rect(1, 3, 2, 2), 1), 1);
    EXPECT_EQ(stop.Calls(), 9);
    EXPECT_EQ(stop.LastIndex(), 8);
    EXPECT_EQ(stop.LastCount(), 9);
  }
  CProgressStop stop(1);
  EXPECT_EQ(ISCrop1Bit(src.data(), 6, 9, 6, dst.data(), 2, Rect(1, 3, 2, 2)), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_CANCELLED);
}

TEST(Unpack, KnownBytes) {
  const uint8_t a5 = 0xA5;
  uint8_t out[8] = {};
  ASSERT_EQ(ISUnpackBits(&a5, 8, 1, 1, out), 1);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 0, 1}));
  ASSERT_EQ(ISUnpackBits(&a5, 2, 1, 4, out), 1);
  EXPECT_EQ(out[0], 10);
  EXPECT_EQ(out[1], 5);
}

TEST(Unpack, EveryDepthMatchesBitStream) {
  CRandom rng(44);
  for (int n = 0; n < 240; ++n) {
    const int32_t bits = n % 8 + 1, w = rng.AwkwardSize(), h = rng.Int(1, 3);
    const uint64_t pixels = uint64_t(w) * uint64_t(h);
    const Bytes src = rng.Fill(size_t((pixels * uint64_t(bits) + 7) / 8));
    Bytes got(size_t(pixels) + 4, 0xEE), want = got;
    ASSERT_EQ(ISUnpackBits(src.data(), w, h, bits, got.data()), 1);
    ref::UnpackBits(src.data(), int64_t(pixels), bits, want.data());
    ASSERT_EQ(got, want) << bits << " bits, " << w << "x" << h;
  }
}

TEST(Unpack, RefusedDepths) {
  const uint8_t src[4] = {};
  uint8_t dst[32] = {};
  for (int32_t bits : {0, 9, -1}) {
    EXPECT_EQ(ISUnpackBits(src, 4, 1, bits, dst), 0);
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  }
  EXPECT_EQ(ISUnpackBits(nullptr, 4, 1, 1, dst), 0);
  EXPECT_EQ(ISUnpackBits(src, 4, 1, 1, nullptr), 0);
}

TEST(PaletteToRGB, GreyPaletteAndByteOrder) {
  std::vector<ISPalEntry> grey(256), colour(256);
  for (int i = 0; i < 256; ++i) {
    grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i), uint8_t(i)};
    colour[i] = {uint8_t(i), uint8_t(i + 1), uint8_t(i + 2), 0};
  }
  const uint8_t src[6] = {0, 7, /* padding */ 255, 99, 128, 3};
  Bytes dst(2 * 10, 0xAA);
  ASSERT_EQ(ISPaletteToRGB(src, 2, 2, 3, dst.data(), 10, 256, grey.data(), 0), 1);
  EXPECT_EQ(dst, (Bytes{0, 0, 0, 7, 7, 7, 0xAA, 0xAA, 0xAA, 0xAA, 99, 99, 99, 128, 128, 128, 0xAA, 0xAA, 0xAA, 0xAA}));
  ASSERT_EQ(ISPaletteToRGB(src, 1, 1, 3, dst.data(), 10, 256, colour.data(), 0), 1);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 3), (Bytes{2, 1, 0}));  // red, green, blue
  ASSERT_EQ(ISPaletteToRGB(src + 1, 1, 1, 3, dst.data(), 10, 256, colour.data(), IS_PAL2RGB_KEEPORDER), 1);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 3), (Bytes{7, 8, 9}));  // the entry's own order
  EXPECT_EQ(ISPaletteToRGB(src, 2, 2, 3, dst.data(), 5, 256, grey.data(), 0), 0);
  EXPECT_EQ(ISPaletteToRGB(src, 2, 2, 3, dst.data(), 10, 256, nullptr, 0), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// A 3 x 2 picture of one byte a pixel,   1 2 3
// in each orientation (as shown):        4 5 6
TEST(OrientImage, KnownAnswersAndRefusals) {
  const Bytes src = {1, 2, 3, 4, 5, 6};
  const Bytes kWant[9] = {{},
                          {1, 2, 3, 4, 5, 6},
                          {3, 2, 1, 6, 5, 4},
                          {6, 5, 4, 3, 2, 1},
                          {4, 5, 6, 1, 2, 3},
                          {1, 4, 2, 5, 3, 6},
                          {4, 1, 5, 2, 6, 3},
                          {6, 3, 5, 2, 4, 1},
                          {3, 6, 2, 5, 1, 4}};
  for (int32_t o = 1; o <= 8; ++o) {
    Bytes dst(6, 0);
    ASSERT_EQ(ISOrientImage(src.data(), 3, 2, 1, o, dst.data()), 1) << o;
    EXPECT_EQ(dst, kWant[o]) << "orientation " << o;
  }
  Bytes four(24), out(24);
  for (size_t i = 0; i < four.size(); ++i) four[i] = uint8_t(i);
  ASSERT_EQ(ISOrientImage(four.data(), 3, 2, 4, 6, out.data()), 1);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), (Bytes{12, 13, 14, 15, 0, 1, 2, 3})) << "whole pixels move";
  Bytes dst(6, 0);
  for (int32_t o : {0, 9}) EXPECT_EQ(ISOrientImage(src.data(), 3, 2, 1, o, dst.data()), 0) << o;
  EXPECT_EQ(ISOrientImage(src.data(), 0, 2, 1, 1, dst.data()), 0);
  EXPECT_EQ(ISOrientImage(dst.data(), 3, 2, 1, 1, dst.data()), 0) << "in place";
  EXPECT_EQ(ISOrientImage(nullptr, 3, 2, 1, 1, dst.data()), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(dst, Bytes(6, 0));
}

}  // namespace
}  // namespace qv::test
