// Whole-byte resampling: every operation against its literal form on random
// pictures, then the cases with known answers, refusals and cancellation.
#include <gtest/gtest.h>

#include "codec/ops/ops.h"
#include "ops_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

struct CResizeOp {
  const char* m_pName;
  bool m_bShrinkOnly;
  int32_t m_nMinDest;  // smallest destination side the case generator uses
  int32_t (*m_pRun)(const CPicture& s, CPicture& d, int32_t channels, int32_t extra);
  void (*m_pReference)(const ref::Img& s, const ref::Out& d, int64_t channels, int32_t extra);
};

void PrintTo(const CResizeOp& op, std::ostream* os) {
  *os << op.m_pName << (op.m_bShrinkOnly ? ", shrinking only" : "") << ", destination sides from " << op.m_nMinDest;
}

const CResizeOp kOps[] = {
    {"bilinear", false, 1,
     [](const CPicture& s, CPicture& d, int32_t ch, int32_t) {
       return ISResizeBilinear(s.bits.data(), s.width, s.height, s.stride, d.bits.data(), d.width, d.height, d.stride,
                               ch);
     },
     [](const ref::Img& s, const ref::Out& d, int64_t ch, int32_t) { ref::ResizeBilinear(s, d, ch); }},
    {"area", true, 1,
     [](const CPicture& s, CPicture& d, int32_t ch, int32_t) {
       return ISResizeAreaAverage(s.bits.data(), s.width, s.height, s.stride, d.bits.data(), d.width, d.height,
                                  d.stride, ch, 1);
     },
     [](const ref::Img& s, const ref::Out& d, int64_t ch, int32_t) { ref::ResizeAreaExact(s, d, ch); }},
    {"block", true, 1,
     [](const CPicture& s, CPicture& d, int32_t ch, int32_t) {
       return ISResizeAreaAverage(s.bits.data(), s.width, s.height, s.stride, d.bits.data(), d.width, d.height,
                                  d.stride, ch, 0);
     },
     [](const ref::Img& s, const ref::Out& d, int64_t ch, int32_t) { ref::ResizeBlock(s, d, ch); }},
    {"nearest", false, 1,
     [](const CPicture& s, CPicture& d, int32_t ch, int32_t) {
       return ISResizeNearest(s.bits.data(), s.width, s.height, s.stride, d.bits.data(), d.width, d.height, d.stride,
                              ch);
     },
     [](const ref::Img& s, const ref::Out& d, int64_t ch, int32_t) { ref::ResizeNearest(s, d, ch); }},
    {"bicubic", false, 1,
     [](const CPicture& s, CPicture& d, int32_t ch, int32_t) {
       return ISResizeBicubic(s.bits.data(), s.width, s.height, s.stride, d.bits.data(), d.width, d.height, d.stride,
                              ch);
     },
     [](const ref::Img& s, const ref::Out& d, int64_t ch, int32_t) { ref::ResizeBicubic(s, d, ch); }},
    {"filtered", false, 4,
     [](const CPicture& s, CPicture& d, int32_t ch, int32_t filter) {
       return ISResizeFiltered(s.bits.data(), s.width, s.height, s.stride, d.bits.data(), d.width, d.height, d.stride,
                               ch, filter);
     },
     [](const ref::Img& s, const ref::Out& d, int64_t ch, int32_t filter) { ref::ResizeFiltered(s, d, ch, filter); }},
};

class ResampleDifferential : public ::testing::TestWithParam<CResizeOp> {};

// 250 random pictures per operation: 1 to 5 channels, padded strides, sizes of
// 1, primes and factors just off integers; the destination's fill (padding
// included) must come out byte for byte as the literal form leaves it.
TEST_P(ResampleDifferential, MatchesLiteralForm) {
  const CResizeOp& op = GetParam();
  CRandom rng(20240517u + uint32_t(op.m_pName[0]) * 7u + uint32_t(op.m_pName[1]));
  for (int n = 0; n < 250; ++n) {
    static const int32_t kChannels[] = {1, 3, 3, 4, 4, 2, 5};
    const int32_t ch = kChannels[rng.Int(0, 6)];
    int32_t dw = std::max(op.m_nMinDest, rng.AwkwardSize());
    int32_t dh = std::max(op.m_nMinDest, rng.AwkwardSize());
    int32_t sw = op.m_bShrinkOnly ? rng.ShrinkSource(dw) : rng.AwkwardSize();
    int32_t sh = op.m_bShrinkOnly ? rng.ShrinkSource(dh) : rng.AwkwardSize();
    if (n < 4) {  // the thinnest pictures first: 1 x 1 and 1 x N both ways
      sw = n == 0 ? 1 : sw;
      sh = n <= 1 ? 1 : sh;
      if (op.m_bShrinkOnly) dw = std::min(dw, sw), dh = std::min(dh, sh);
    }
    const int32_t extra = rng.Int(0, IS_FILTER_COUNT - 1);
    const CPicture src = RandomPicture(rng, sw, sh, int64_t(sw) * ch);
    CPicture got = RandomPicture(rng, dw, dh, int64_t(dw) * ch);
    // The same-size copies (equal strides; any strides for the block average) are tested below.
    if (dw == sw && dh == sh && (got.stride == src.stride || std::string(op.m_pName) == "block")) continue;
    CPicture want = got;
    ASSERT_EQ(op.m_pRun(src, got, ch, extra), 1) << Describe(op.m_pName, sw, sh, dw, dh, ch);
    ASSERT_EQ(ISGetLastError(), IS_ERR_OK);
    op.m_pReference(src.View(), want.Out(), ch, extra);
    ASSERT_EQ(got.bits, want.bits) << Describe(op.m_pName, sw, sh, dw, dh, ch) << " filter " << extra;
  }
}

INSTANTIATE_TEST_SUITE_P(AllOperations, ResampleDifferential, ::testing::ValuesIn(kOps),
                         NameFrom<&CResizeOp::m_pName>());

// Scale factors with short binary fractions (1.5, 2.25, 3.125, ...), whose
// sums are exact in any order, and large ones whose sums are not: the
// operation must match the literal form for all of them.
TEST(Resample, AreaAverageShortFractionFactors) {
  static const double kFactors[] = {1, 1.5, 2, 2.25, 3.125, 1.0625, 4.875, 7.5, 40.25, 100};
  CRandom rng(11);
  for (int n = 0; n < 200; ++n) {
    const int32_t ch = n % 4 + 1;
    const double fx = kFactors[rng.Int(0, 9)], fy = kFactors[rng.Int(0, 9)];
    const int32_t dw = 16 * rng.Int(1, 3), dh = 16 * rng.Int(1, 2);
    const int32_t sw = int32_t(dw * fx), sh = int32_t(dh * fy);
    const CPicture src = RandomPicture(rng, sw, sh, int64_t(sw) * ch);
    CPicture got = RandomPicture(rng, dw, dh, int64_t(dw) * ch), want = got;
    ASSERT_EQ(ISResizeAreaAverage(src.bits.data(), sw, sh, src.stride, got.bits.data(), dw, dh, got.stride, ch, 1), 1);
    ref::ResizeAreaExact(src.View(), want.Out(), ch);
    ASSERT_EQ(got.bits, want.bits) << Describe("area", sw, sh, dw, dh, ch);
  }
}

// Equal sizes and strides: an exact copy of every byte, padding included
// (the exact area average has no such rule and only reproduces the pixels).
TEST(Resample, SameSizeCopiesWholeRows) {
  CRandom rng(7);
  const CPicture src = RandomPicture(rng, 5, 4, 15);
  for (const CResizeOp& op : kOps) {
    if (op.m_bShrinkOnly || op.m_nMinDest > 1) continue;
    CPicture dst = src;
    std::fill(dst.bits.begin(), dst.bits.end(), 0);
    ASSERT_EQ(op.m_pRun(src, dst, 3, 0), 1) << op.m_pName;
    EXPECT_EQ(dst.bits, src.bits) << op.m_pName;
  }
  // Block average: row by row, the shorter of the two strides.
  CPicture narrow{5, 4, 15, Bytes(60, 0)};
  ASSERT_EQ(ISResizeAreaAverage(src.bits.data(), 5, 4, src.stride, narrow.bits.data(), 5, 4, 15, 3, 0), 1);
  for (int y = 0; y < 4; ++y) {
    EXPECT_TRUE(std::equal(&narrow.bits[y * 15], &narrow.bits[y * 15 + 15], &src.bits[y * src.stride]));
  }
  CPicture dst = src;
  std::fill(dst.bits.begin(), dst.bits.end(), 0xEE);
  ASSERT_EQ(ISResizeAreaAverage(src.bits.data(), 5, 4, src.stride, dst.bits.data(), 5, 4, dst.stride, 3, 1), 1);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < src.stride; ++x) {
      EXPECT_EQ(dst.bits[y * dst.stride + x], x < 15 ? src.bits[y * src.stride + x] : 0xEE) << x << "," << y;
    }
  }
}

// The same-size copy onto the source itself, or onto a picture one row above
// or below it in the same buffer, gives the source as it was.
TEST(Resample, SameSizeCopyMayOverlapTheSource) {
  using Run = int32_t (*)(const uint8_t* s, uint8_t* d, int32_t w, int32_t h, int32_t stride);
  static const ISPalEntry kPalette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  const struct {
    const char* name;
    bool refusesItself;
    Run run;
  } ops[] = {
      {"bilinear", false,
       [](const uint8_t* s, uint8_t* d, int32_t w, int32_t h, int32_t st) {
         return ISResizeBilinear(s, w, h, st, d, w, h, st, 3);
       }},
      {"nearest", false,
       [](const uint8_t* s, uint8_t* d, int32_t w, int32_t h, int32_t st) {
         return ISResizeNearest(s, w, h, st, d, w, h, st, 3);
       }},
      {"bicubic", true,
       [](const uint8_t* s, uint8_t* d, int32_t w, int32_t h, int32_t st) {
         return ISResizeBicubic(s, w, h, st, d, w, h, st, 3);
       }},
      {"block", false,
       [](const uint8_t* s, uint8_t* d, int32_t w, int32_t h, int32_t st) {
         return ISResizeAreaAverage(s, w, h, st, d, w, h, st, 3, 0);
       }},
      {"bilinear8", true,
       [](const uint8_t* s, uint8_t* d, int32_t w, int32_t h, int32_t st) {
         return ISResizeBilinear8(s, w * 3, h, st, d, w * 3, h, st, 2, kPalette);
       }},
  };
  constexpr int32_t kWidth = 5, kHeight = 4, kStride = 17;
  CRandom rng(11);
  for (const auto& op : ops) {
    for (const int shift : {0, 1, -1}) {  // destination rows below the source
      if (shift == 0 && op.refusesItself) continue;
      SCOPED_TRACE(std::string(op.name) + " shift " + std::to_string(shift));
      Bytes buffer = rng.Fill(size_t(kStride) * (kHeight + 1));
      uint8_t* source = buffer.data() + (shift < 0 ? kStride : 0);
      uint8_t* dest = source + shift * kStride;
      const Bytes before(source, source + kStride * kHeight);
      ASSERT_EQ(op.run(source, dest, kWidth, kHeight, kStride), 1);
      EXPECT_EQ(Bytes(dest, dest + kStride * kHeight), before);
    }
  }
}

TEST(Resample, BilinearTwoToFourSamplesQuarterSteps) {
  const uint8_t src[2] = {0, 200};
  uint8_t dst[4] = {};
  ASSERT_EQ(ISResizeBilinear(src, 2, 1, 2, dst, 4, 1, 4, 1), 1);
  // Positions 0, 0.375, 0.75 and 1.125 (limited to column 1).
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 4), (std::vector<uint8_t>{0, 75, 150, 200}));
}

TEST(Resample, AreaAverageHalvingGivesTruncatedBlockMeans) {
  const uint8_t src[16] = {0, 1, 10, 20, 3, 3, 30, 41, 255, 255, 7, 8, 254, 255, 9, 9};
  uint8_t dst[4] = {};
  ASSERT_EQ(ISResizeAreaAverage(src, 4, 4, 4, dst, 2, 2, 2, 1, 1), 1);
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 4), (std::vector<uint8_t>{1, 25, 254, 8}));
  // Height kept, width halved: means of horizontal pairs, never above 255.
  uint8_t wide[8] = {};
  ASSERT_EQ(ISResizeAreaAverage(src, 4, 4, 4, wide, 2, 4, 2, 1, 1), 1);
  EXPECT_EQ(std::vector<uint8_t>(wide, wide + 8), (std::vector<uint8_t>{0, 15, 3, 35, 255, 7, 254, 9}));
}

// Block average sums in 32 bits: the largest block the limit admits still
// averages exactly, one just above the limit is refused.
TEST(Resample, BlockAverageOverflowLimit) {
  const int32_t sw = 4096, sh = 4112;
  std::vector<uint8_t> src(size_t(sw) * sh + sh, 255);
  uint8_t dst[1] = {0};
  ASSERT_EQ(ISResizeAreaAverage(src.data(), sw, sh, sw, dst, 1, 1, 1, 1, 0), 1);
  EXPECT_EQ(dst[0], 255);
  dst[0] = 7;
  EXPECT_EQ(ISResizeAreaAverage(src.data(), sw + 1, sh, sw + 1, dst, 1, 1, 1, 1, 0), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(dst[0], 7);
}

struct CRefusal {
  const char* m_pWhat;
  int32_t sw, sh, ss, dw, dh, ds, ch;
  bool m_bNullSource, m_bNullDest;
};

// Each operation's argument checks: error 5, destination untouched.
TEST(Resample, RefusedArgumentsLeaveDestinationAlone) {
  const CRefusal kCases[] = {
      {"null source", 4, 4, 12, 2, 2, 6, 3, true, false},
      {"null destination", 4, 4, 12, 2, 2, 6, 3, false, true},
      {"source stride short", 4, 4, 11, 2, 2, 6, 3, false, false},
      {"destination stride short", 4, 4, 12, 2, 2, 5, 3, false, false},
      {"zero destination width", 4, 4, 12, 0, 2, 6, 3, false, false},
      {"zero destination height", 4, 4, 12, 2, 0, 6, 3, false, false},
      {"zero channels", 4, 4, 12, 2, 2, 6, 0, false, false},
      {"negative width", -4, 4, 12, 2, 2, 6, 3, false, false},
      {"negative stride", 4, 4, -12, 2, 2, 6, 3, false, false},
  };
  std::vector<uint8_t> src(64, 9);
  for (const CResizeOp& op : kOps) {
    for (const CRefusal& c : kCases) {
      CPicture s{c.sw, c.sh, c.ss, c.m_bNullSource ? Bytes() : src};
      CPicture d{c.dw, c.dh, c.ds, c.m_bNullDest ? Bytes() : Bytes(64, 0xAB)};
      const Bytes before = d.bits;
      EXPECT_EQ(op.m_pRun(s, d, c.ch, IS_FILTER_BOX), 0) << op.m_pName << ": " << c.m_pWhat;
      EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM) << op.m_pName << ": " << c.m_pWhat;
      EXPECT_EQ(d.bits, before) << op.m_pName << ": " << c.m_pWhat;
    }
  }
}

// Rows handed over one at a time, each from a buffer that is overwritten
// right after: the kept part equals that part of the whole-picture result, for
// short and long fractions, 1-pixel results and any rectangle.
TEST(Resample, RowAveragerMatchesWholePictureCall) {
  CRandom rng(29);
  for (int n = 0; n < 300; ++n) {
    const int32_t ch = n % 5 == 0 ? 1 : n % 5 == 1 ? 4 : 3;
    const int32_t dw = rng.AwkwardSize(), dh = rng.AwkwardSize();
    const int32_t sw = rng.ShrinkSource(dw), sh = rng.ShrinkSource(dh);
    const CPicture src = RandomPicture(rng, sw, sh, int64_t(sw) * ch);
    CPicture whole = RandomPicture(rng, dw, dh, int64_t(dw) * ch);
    ASSERT_EQ(ISResizeAreaAverage(src.bits.data(), sw, sh, src.stride, whole.bits.data(), dw, dh, whole.stride, ch, 1),
              1);
    const int32_t left = rng.Int(0, dw - 1), top = rng.Int(0, dh - 1);
    const ISRect keep{left, top, rng.Int(left + 1, dw), rng.Int(top + 1, dh)};
    const int32_t kw = keep.right - keep.left, kh = keep.bottom - keep.top;
    Bytes part(size_t(kw) * ch * size_t(kh), 0xEE);
    ISRowAverager averager;
    ASSERT_EQ(averager.Start(sw, sh, dw, dh, ch, keep, part.data(), kw * ch), 1);
    Bytes row(size_t(sw) * ch);
    for (int32_t y = 0; y < sh; ++y) {
      std::copy_n(src.bits.begin() + ptrdiff_t(y) * src.stride, row.size(), row.begin());
      ASSERT_EQ(averager.AddRow(row.data()), 1);
      std::fill(row.begin(), row.end(), 0xA5);
    }
    EXPECT_EQ(averager.AddRow(row.data()), 0) << "a row past the last";
    for (int32_t y = 0; y < kh; ++y) {
      const auto* want = whole.bits.data() + ptrdiff_t(keep.top + y) * whole.stride + ptrdiff_t(keep.left) * ch;
      ASSERT_TRUE(std::equal(want, want + ptrdiff_t(kw) * ch, part.begin() + ptrdiff_t(y) * kw * ch))
          << Describe("rows", sw, sh, dw, dh, ch) << " keep " << keep.left << "," << keep.top << " row " << y;
    }
  }
}

TEST(Resample, RowAveragerRefusals) {
  Bytes out(64, 0);
  const struct {
    const char* what;
    int32_t sw, sh, dw, dh, ch;
    ISRect keep;
    int32_t stride;
  } kCases[] = {
      {"enlarging", 4, 4, 5, 4, 1, {0, 0, 5, 4}, 5},     {"zero destination", 4, 4, 0, 4, 1, {0, 0, 0, 4}, 4},
      {"no channels", 4, 4, 2, 2, 0, {0, 0, 2, 2}, 4},   {"keep outside", 4, 4, 2, 2, 1, {0, 0, 3, 2}, 4},
      {"keep empty", 4, 4, 2, 2, 1, {1, 0, 1, 2}, 4},    {"keep negative", 4, 4, 2, 2, 1, {-1, 0, 1, 2}, 4},
      {"short stride", 8, 8, 4, 4, 3, {0, 0, 4, 4}, 11},
  };
  for (const auto& c : kCases) {
    ISRowAverager averager;
    EXPECT_EQ(averager.Start(c.sw, c.sh, c.dw, c.dh, c.ch, c.keep, out.data(), c.stride), 0) << c.what;
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM) << c.what;
    EXPECT_EQ(averager.AddRow(out.data()), 0) << c.what << ": not started";
  }
}

TEST(Resample, AreaAverageRefusesToEnlarge) {
  const Bytes src(16, 1);
  for (uint32_t mode : {0u, 1u}) {
    for (auto [dw, dh] : {std::pair{5, 4}, std::pair{4, 5}}) {
      Bytes dst(25, 0x5A);
      EXPECT_EQ(ISResizeAreaAverage(src.data(), 4, 4, 4, dst.data(), dw, dh, dw, 1, mode), 0);
      EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
      EXPECT_EQ(dst, Bytes(25, 0x5A));
    }
  }
}

TEST(Resample, FilterCodeAndSupportChecks) {
  const Bytes src(64, 1);
  Bytes dst(64, 0);
  EXPECT_EQ(ISResizeFiltered(src.data(), 8, 8, 8, dst.data(), 2, 8, 2, 1, IS_FILTER_LANCZOS), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILTERSIZE);
  EXPECT_EQ(ISResizeFiltered(src.data(), 8, 8, 8, dst.data(), 8, 2, 8, 1, IS_FILTER_SINC), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILTERSIZE);
  EXPECT_EQ(ISResizeFiltered(src.data(), 8, 8, 8, dst.data(), 3, 3, 3, 1, IS_FILTER_LANCZOS), 1);
  EXPECT_EQ(ISResizeFiltered(src.data(), 8, 8, 8, dst.data(), 1, 1, 1, 1, IS_FILTER_BOX), 1);
  for (int32_t bad : {-1, IS_FILTER_COUNT}) {
    EXPECT_EQ(ISResizeFiltered(src.data(), 8, 8, 8, dst.data(), 4, 4, 4, 1, bad), 0);
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  }
}

// A flat picture stays flat through every kernel, however narrow the source
// is next to the kernel's reach.
TEST(Resample, FilteredKeepsFlatPictures) {
  for (int32_t filter = 0; filter < IS_FILTER_COUNT; ++filter) {
    for (int32_t sw : {1, 2, 9}) {
      const Bytes src(size_t(sw) * 3 * 2, 77);
      Bytes dst(40 * 4 * 3, 0);
      ASSERT_EQ(ISResizeFiltered(src.data(), sw, 2, sw * 3, dst.data(), 40, 4, 120, 3, filter), 1);
      EXPECT_EQ(dst, Bytes(dst.size(), 77)) << "filter " << filter << " width " << sw;
    }
  }
}

// A callback that stops at once: error 14 after the first unit of work (a row,
// a channel for nearest, a column for the filter), the rest untouched.
TEST(Resample, CancellationAfterFirstUnit) {
  CRandom rng(3);
  const CPicture src = RandomPicture(rng, 12, 10, 36);
  for (const CResizeOp& op : kOps) {
    CPicture dst{6, 5, 18, Bytes(90, 0xCD)};
    CProgressStop stop(1);
    EXPECT_EQ(op.m_pRun(src, dst, 3, IS_FILTER_TRIANGLE), 0) << op.m_pName;
    EXPECT_EQ(ISGetLastError(), IS_ERR_CANCELLED) << op.m_pName;
    EXPECT_EQ(stop.Calls(), 1);
    EXPECT_EQ(stop.LastIndex(), 0);
    const std::string name = op.m_pName;
    EXPECT_EQ(stop.LastCount(), name == "nearest" ? 3 : name == "filtered" ? 6 : 5) << name;
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 18; ++x) {
        const bool first = name == "nearest" ? x % 3 == 0 : name == "filtered" ? x < 3 : y == 0;
        if (!first) {
          EXPECT_EQ(dst.bits[y * 18 + x], 0xCD) << name << " " << x << "," << y;
        }
      }
    }
  }
}

// With a callback that never stops, every row (channel, column) is reported once.
TEST(Resample, ProgressCountsEveryUnit) {
  CRandom rng(4);
  const CPicture src = RandomPicture(rng, 12, 10, 36);
  for (const CResizeOp& op : kOps) {
    CPicture dst{6, 5, 18, Bytes(90, 0)};
    CProgressStop stop(0);
    ASSERT_EQ(op.m_pRun(src, dst, 3, IS_FILTER_TRIANGLE), 1) << op.m_pName;
    const std::string name = op.m_pName;
    EXPECT_EQ(stop.Calls(), name == "nearest" ? 3 : name == "filtered" ? 6 : 5) << name;
  }
}

}  // namespace
}  // namespace qv::test
