// Colour reduction: mapping to a palette against its literal form, and what
// both palette builders must give.
#include <gtest/gtest.h>

#include <set>

#include "codec/ops/ops.h"
#include "ops_test_support.h"

namespace qv::test {
namespace {

std::vector<ISPalEntry> RandomPalette(CRandom& rng) {
  std::vector<ISPalEntry> pal(256);
  for (auto& e : pal) e = {uint8_t(rng.Int(0, 255)), uint8_t(rng.Int(0, 255)), uint8_t(rng.Int(0, 255)), 0};
  return pal;
}

// A 24-bit picture of the given colours (red, green, blue) in random places.
CPicture PictureOf(CRandom& rng, int32_t w, int32_t h, const std::vector<std::array<uint8_t, 3>>& colours) {
  CPicture p = RandomPicture(rng, w, h, int64_t(w) * 3);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const auto& c = colours[size_t(rng.Int(0, int32_t(colours.size()) - 1))];
      std::copy(c.begin(), c.end(), &p.bits[size_t(y) * p.stride + size_t(x) * 3]);
    }
  }
  return p;
}

// Indices expanded through the palette back to red, green, blue.
Bytes Expand(const CPicture& idx, const std::vector<ISPalEntry>& pal) {
  Bytes out;
  for (int32_t y = 0; y < idx.height; ++y) {
    for (int32_t x = 0; x < idx.width; ++x) {
      const ISPalEntry& e = pal[idx.bits[size_t(y) * idx.stride + size_t(x)]];
      out.insert(out.end(), {e.red, e.green, e.blue});
    }
  }
  return out;
}

Bytes Pixels(const CPicture& p) {
  Bytes out;
  for (int32_t y = 0; y < p.height; ++y) {
    out.insert(out.end(), &p.bits[size_t(y) * p.stride], &p.bits[size_t(y) * p.stride + size_t(p.width) * 3]);
  }
  return out;
}

TEST(Quantize, MappingMatchesLiteralForm) {
  CRandom rng(61);
  for (int n = 0; n < 220; ++n) {
    const auto pal = RandomPalette(rng);
    const int32_t count = rng.Int(1, 256), w = rng.AwkwardSize(), h = rng.AwkwardSize();
    const bool dither = rng.Int(0, 2) != 0;
    const int32_t level = rng.Int(0, 3) ? rng.Int(0, 40) : 255;
    const uint32_t flags = uint32_t(rng.Int(0, 3));  // swapped bytes, 4-byte pixels
    const int64_t step = (flags & IS_QUANT_32BIT) ? 4 : 3;
    const CPicture src = RandomPicture(rng, w, h, w * step);
    CPicture got = RandomPicture(rng, w, h, w), want = got;
    ASSERT_EQ(ISMapRGBToPalette(src.bits.data(), w, h, src.stride, got.bits.data(), got.stride, count, pal.data(),
                                dither, level, flags),
              1);
    CPicture plain = src;  // the literal form reads red, green, blue
    if (flags & IS_QUANT_SWAPRB) {
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x)
          std::swap(plain.bits[y * src.stride + x * step], plain.bits[y * src.stride + x * step + 2]);
      }
    }
    ref::MapToPalette(plain.View(), step, want.Out(), pal.data(), count, dither, level);
    ASSERT_EQ(got.bits, want.bits) << w << "x" << h << " count " << count << " dither " << dither << " level " << level
                                   << " flags " << flags;
  }
}

// Pictures with no more colours than asked for, each colour alone in its
// cell of the tree: both builders give exactly those colours, and mapping
// without dithering reproduces the picture.
TEST(Quantize, FewColoursComeBackExactly) {
  CRandom rng(62);
  for (int n = 0; n < 60; ++n) {
    const uint32_t octree = (n & 1) ? IS_QUANT_OCTREE : 0;
    std::set<int> cells;
    std::vector<std::array<uint8_t, 3>> colours;
    const int want = rng.Int(1, 40);
    while (int(colours.size()) < want) {
      const std::array<uint8_t, 3> c{uint8_t(rng.Int(0, 255)), uint8_t(rng.Int(0, 255)), uint8_t(rng.Int(0, 255))};
      if (cells.insert((c[0] >> 3) << 10 | (c[1] >> 3) << 5 | (c[2] >> 3)).second) colours.push_back(c);
    }
    const int32_t w = rng.Int(1, 60), h = rng.Int(1, 30);
    const CPicture src = PictureOf(rng, w, h, colours);
    std::set<std::array<uint8_t, 3>> present;
    for (size_t k = 0; k < size_t(w) * h; ++k) {
      const uint8_t* p = &src.bits[k / size_t(w) * src.stride + k % size_t(w) * 3];
      present.insert({p[0], p[1], p[2]});
    }
    std::vector<ISPalEntry> pal(256, ISPalEntry{1, 2, 3, 4});
    CPicture idx{w, h, w, Bytes(size_t(w) * h)};
    int32_t built = -1;
    ASSERT_EQ(
        ISQuantizeRGB(src.bits.data(), w, h, src.stride, idx.bits.data(), w, 256, pal.data(), 0, 20, octree, &built),
        1);
    ASSERT_EQ(built, int32_t(present.size())) << "octree " << octree;
    std::set<std::array<uint8_t, 3>> entries;
    for (int32_t i = 0; i < built; ++i) entries.insert({pal[i].red, pal[i].green, pal[i].blue});
    EXPECT_EQ(entries, present);
    EXPECT_EQ(Expand(idx, pal), Pixels(src));
  }
}

TEST(Quantize, NeverMoreEntriesThanAskedForAndIndicesInside) {
  CRandom rng(63);
  for (int n = 0; n < 80; ++n) {
    const int32_t colours = n % 5 == 0 ? rng.Int(-3, 1) : rng.Int(2, 300);
    const uint32_t flags = (n & 1) ? IS_QUANT_OCTREE : 0;
    const int32_t w = rng.AwkwardSize(), h = rng.Int(1, 40);
    const CPicture src = RandomPicture(rng, w, h, int64_t(w) * 3);
    std::vector<ISPalEntry> pal(256);
    Bytes idx(size_t(w) * h);
    int32_t built = -1;
    ASSERT_EQ(ISQuantizeRGB(src.bits.data(), w, h, src.stride, idx.data(), w, colours, pal.data(), n % 3 != 0, 20,
                            flags, &built),
              1);
    const int32_t limit = std::clamp(colours, 1, 256);
    EXPECT_GE(built, 1);
    EXPECT_LE(built, limit);
    for (uint8_t i : idx) ASSERT_LT(int32_t(i), built);
  }
}

// The colour tree merges the lightest node upwards: black (1 pixel) and red
// (2 pixels) end in the root, white (5 pixels) stays; the walk gives the
// root's children (7 first) before the root.
TEST(Quantize, ColourTreeMergesLightestFirst) {
  const uint8_t src[8 * 3] = {0,   0,   0,   255, 0,   0,   255, 0,   0,   255, 255, 255,
                              255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  std::vector<ISPalEntry> pal(256);
  uint8_t idx[8];
  int32_t built = 0;
  ASSERT_EQ(ISQuantizeRGB(src, 8, 1, 24, idx, 8, 2, pal.data(), 0, 0, 0, &built), 1);
  ASSERT_EQ(built, 2);
  EXPECT_EQ((std::array{pal[0].red, pal[0].green, pal[0].blue}), (std::array<uint8_t, 3>{255, 255, 255}));
  EXPECT_EQ((std::array{pal[1].red, pal[1].green, pal[1].blue}), (std::array<uint8_t, 3>{170, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(idx, idx + 8), (std::vector<uint8_t>{1, 1, 1, 0, 0, 0, 0, 0}));
}

TEST(Quantize, SwappedSourceGivesTheSameColours) {
  CRandom rng(64);
  const CPicture rgb = PictureOf(rng, 20, 10, {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}});
  CPicture bgr = rgb;
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 20; ++x)
      std::swap(bgr.bits[size_t(y * bgr.stride + x * 3)], bgr.bits[size_t(y * bgr.stride + x * 3 + 2)]);
  }
  for (uint32_t builder : {0u, IS_QUANT_OCTREE}) {
    std::vector<ISPalEntry> p1(256), p2(256);
    CPicture i1{20, 10, 20, Bytes(200)}, i2 = i1;
    ASSERT_EQ(ISQuantizeRGB(rgb.bits.data(), 20, 10, rgb.stride, i1.bits.data(), 20, 8, p1.data(), 1, 20, builder), 1);
    ASSERT_EQ(ISQuantizeRGB(bgr.bits.data(), 20, 10, rgb.stride, i2.bits.data(), 20, 8, p2.data(), 1, 20,
                            builder | IS_QUANT_SWAPRB),
              1);
    EXPECT_EQ(Expand(i1, p1), Expand(i2, p2));
    EXPECT_EQ(Expand(i1, p1), Pixels(rgb));
  }
}

TEST(Quantize, RefusalsAndCancellation) {
  const Bytes src(12 * 4, 100);
  std::vector<ISPalEntry> pal(256);
  Bytes dst(16, 0x11);
  EXPECT_EQ(ISQuantizeRGB(src.data(), 4, 4, 12, dst.data(), 4, 16, nullptr, 1, 20, 0), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(ISQuantizeRGB(src.data(), 4, 4, 12, dst.data(), 4, 16, pal.data(), 1, 20, IS_QUANT_32BIT), 0);
  EXPECT_EQ(ISMapRGBToPalette(src.data(), 4, 4, 12, dst.data(), 3, 16, pal.data(), 1, 20, 0), 0);
  EXPECT_EQ(ISMapRGBToPalette(src.data(), 4, 4, 12, nullptr, 4, 16, pal.data(), 1, 20, 0), 0);
  EXPECT_EQ(dst, Bytes(16, 0x11));
  CProgressStop stop(1);
  EXPECT_EQ(ISQuantizeRGB(src.data(), 4, 4, 12, dst.data(), 4, 16, pal.data(), 1, 20, 0), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_CANCELLED);
  EXPECT_EQ(Bytes(dst.begin() + 4, dst.end()), Bytes(12, 0x11));
}

}  // namespace
}  // namespace qv::test
