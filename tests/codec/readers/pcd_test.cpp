// PhotoCD reader, against packs written here: the conversion terms and output
// table, the doubling of the chrominance planes, the orientations, the
// resolution index, and refused or cut packs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "readers_test_support.h"

namespace qv::test {
namespace {

constexpr size_t kSector = 2048;
// Where each stored resolution starts, in sectors.
constexpr size_t kImageSector[4] = {0, 4, 23, 96};

// One stored resolution: luminance W x H, each chrominance W/2 x H/2.
struct CPlanes {
  size_t w = 0, h = 0;
  Bytes luma, c1, c2;
};

CPlanes RandomPlanes(size_t w, size_t h, uint32_t seed) {
  std::mt19937 random(seed);
  CPlanes p;
  p.w = w, p.h = h;
  const auto fill = [&](Bytes& plane, size_t n) {
    plane.resize(n);
    for (uint8_t& v : plane) v = static_cast<uint8_t>(random());
  };
  fill(p.luma, w * h);
  fill(p.c1, w * h / 4);
  fill(p.c2, w * h / 4);
  return p;
}

CPlanes UniformPlanes(size_t w, size_t h, uint8_t y, uint8_t c1, uint8_t c2) {
  CPlanes p;
  p.w = w, p.h = h;
  p.luma.assign(w * h, y);
  p.c1.assign(w * h / 4, c1);
  p.c2.assign(w * h / 4, c2);
  return p;
}

// A pack holding one stored resolution (1 to 3) and nothing after it.
Bytes PackFile(const CPlanes& p, int resolution, uint8_t orientation = 0) {
  Bytes file(kImageSector[resolution] * kSector, 0xFF);
  std::memcpy(file.data() + 2048, "PCD_IPI", 7);
  file[3586] = orientation;
  for (size_t k = 0; k < p.h / 2; ++k) {
    const auto row = [&](const Bytes& plane, size_t r, size_t w) {
      file.insert(file.end(), plane.begin() + static_cast<std::ptrdiff_t>(r * w),
                  plane.begin() + static_cast<std::ptrdiff_t>((r + 1) * w));
    };
    row(p.luma, 2 * k, p.w);
    row(p.luma, 2 * k + 1, p.w);
    row(p.c1, k, p.w / 2);
    row(p.c2, k, p.w / 2);
  }
  return file;
}

CDecoded ReadPcd(const Bytes& file, int32_t resolution) {
  return DecodeBytes(
      file, [&](HISSRC s, int32_t* w, int32_t* h) { return ISReadPCD(s, w, h, resolution, 0); }, 3);
}

// ---- The rules, written out plainly ----

// Values 0 to 350 after conversion, row by row as listed for the format.
const uint8_t kOutput[351] = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,
    22,  23,  24,  25,  26,  27,  28,  29,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39,  40,  41,  42,
    43,  44,  45,  46,  47,  48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,  65,
    66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,  80,  81,  82,  83,  84,  85,  86,  87,
    88,  89,  90,  91,  92,  93,  95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110,
    111, 112, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133,
    135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 153, 154, 155, 156,
    157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 175, 176, 177,
    178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 187, 188, 189, 190, 191, 192, 193, 194, 194, 195, 196, 197,
    198, 199, 199, 200, 201, 202, 203, 203, 204, 205, 206, 207, 207, 208, 209, 210, 210, 211, 212, 213, 213, 214,
    215, 215, 216, 217, 218, 218, 219, 220, 220, 221, 222, 222, 223, 223, 224, 225, 225, 226, 227, 227, 228, 228,
    229, 229, 230, 230, 231, 232, 232, 233, 233, 234, 234, 235, 235, 235, 236, 236, 237, 237, 238, 238, 238, 239,
    239, 240, 240, 240, 241, 241, 242, 242, 242, 243, 243, 243, 243, 244, 244, 244, 245, 245, 245, 245, 246, 246,
    246, 247, 247, 247, 247, 247, 248, 248, 248, 248, 249, 249, 249, 249, 249, 249, 250, 250, 250, 250, 250, 250,
    251, 251, 251, 251, 251, 251, 252, 252, 252, 252, 252, 252, 252, 252, 252, 253, 253, 253, 253, 253, 253, 253,
    253, 253, 254, 254, 254, 254, 254, 254, 254, 254, 254, 254, 254, 254, 255, 255, 255, 255, 255, 255, 255,
};

uint8_t Output(double v) { return kOutput[static_cast<int>(std::min(350.0, std::max(0.0, v)))]; }

// w x h samples to 2w x 2h: columns first, then the odd rows from their
// neighbours above and below, the last row a copy of the one before.
Bytes Doubled(const Bytes& in, size_t w, size_t h) {
  const size_t W = 2 * w;
  Bytes out(W * 2 * h);
  const auto at = [&](size_t r, size_t x) -> uint8_t& { return out[r * W + x]; };
  for (size_t r = 0; r < h; ++r) {
    for (size_t x = 0; x < w; ++x) {
      const uint8_t s = in[r * w + x];
      at(2 * r, 2 * x) = s;
      at(2 * r, 2 * x + 1) = x + 1 < w ? static_cast<uint8_t>((s + in[r * w + x + 1] + 1) / 2) : s;
    }
  }
  for (size_t r = 0; r + 1 < h; ++r) {
    for (size_t x = 0; x < W; ++x) {
      const size_t a = 2 * r, b = 2 * r + 2;
      if (x % 2 == 0 || x == W - 1) {
        at(a + 1, x) = static_cast<uint8_t>((at(a, x) + at(b, x) + 1) / 2);
      } else {
        at(a + 1, x) = static_cast<uint8_t>((at(a, x - 1) + at(b, x - 1) + at(a, x + 1) + at(b, x + 1) + 2) / 4);
      }
    }
  }
  std::copy_n(out.begin() + static_cast<std::ptrdiff_t>((2 * h - 2) * W), W,
              out.begin() + static_cast<std::ptrdiff_t>((2 * h - 1) * W));
  return out;
}

// The upright picture of stored planes, enlarged `steps` times past the stored size.
Bytes Expected(const CPlanes& p, int steps = 0) {
  Bytes luma = p.luma;
  Bytes c1 = Doubled(p.c1, p.w / 2, p.h / 2);
  Bytes c2 = Doubled(p.c2, p.w / 2, p.h / 2);
  size_t w = p.w, h = p.h;
  for (int i = 0; i < steps; ++i, w *= 2, h *= 2) {
    luma = Doubled(luma, w, h);
    c1 = Doubled(c1, w, h);
    c2 = Doubled(c2, w, h);
  }
  Bytes rgb;
  rgb.reserve(w * h * 3);
  for (size_t i = 0; i < w * h; ++i) {
    const double y = luma[i], u = c1[i], v = c2[i];
    rgb.push_back(Output(1.402 * y + 1.88 * (v - 137)));
    rgb.push_back(Output(1.402 * y - 0.444066 * (u - 156) - 0.95692 * (v - 137)));
    rgb.push_back(Output(1.402 * y + 2.289 * (u - 156)));
  }
  return rgb;
}

// ---- Tests ----

TEST(PcdRead, NeutralChrominanceEndsAtBlackAndWhite) {
  const struct {
    uint8_t y;
    uint8_t value;
  } cases[] = {{0, 0}, {255, 255}, {100, kOutput[140]}};  // 1.402 x 255 = 357.51, clamped
  for (const auto& c : cases) {
    const CDecoded d = ReadPcd(PackFile(UniformPlanes(192, 128, c.y, 156, 137), 1), 1);
    ASSERT_EQ(d.error, IS_ERR_OK);
    EXPECT_EQ(d.pixels, Bytes(192 * 128 * 3, c.value)) << int(c.y);
  }
}

TEST(PcdRead, ConversionAndChrominanceDoublingFollowTheRules) {
  for (const int resolution : {1, 2}) {
    const size_t w = size_t{192} << (resolution - 1), h = size_t{128} << (resolution - 1);
    const CPlanes planes = RandomPlanes(w, h, 17u + static_cast<uint32_t>(resolution));
    const CDecoded d = ReadPcd(PackFile(planes, resolution), resolution);
    ASSERT_EQ(d.error, IS_ERR_OK);
    EXPECT_EQ(d.width, static_cast<int32_t>(w));
    EXPECT_EQ(d.height, static_cast<int32_t>(h));
    const Bytes expected = Expected(planes);
    ASSERT_EQ(d.pixels.size(), expected.size());
    const auto mismatch = std::mismatch(d.pixels.begin(), d.pixels.end(), expected.begin());
    EXPECT_TRUE(mismatch.first == d.pixels.end())
        << "resolution " << resolution << ": first difference at byte " << (mismatch.first - d.pixels.begin());
  }
}

TEST(PcdRead, TurnsTheStoredPictureUpright) {
  const CPlanes planes = RandomPlanes(192, 128, 5);
  const Bytes upright = Expected(planes);
  const auto pixel = [&](size_t x, size_t y) {
    return Bytes(upright.begin() + static_cast<std::ptrdiff_t>((y * 192 + x) * 3),
                 upright.begin() + static_cast<std::ptrdiff_t>((y * 192 + x) * 3 + 3));
  };
  // Where stored pixel (x, y) lands for each orientation.
  const struct {
    uint8_t orientation;
    int32_t width, height;
    size_t (*column)(size_t x, size_t y);
    size_t (*row)(size_t x, size_t y);
  } cases[] = {
      {0, 192, 128, [](size_t x, size_t) { return x; }, [](size_t, size_t y) { return y; }},
      {1, 128, 192, [](size_t, size_t y) { return y; }, [](size_t x, size_t) { return 191 - x; }},
      {2, 192, 128, [](size_t x, size_t) { return 191 - x; }, [](size_t, size_t y) { return 127 - y; }},
      {3, 128, 192, [](size_t, size_t y) { return 127 - y; }, [](size_t x, size_t) { return x; }},
  };
  for (const auto& c : cases) {
    const CDecoded d = ReadPcd(PackFile(planes, 1, static_cast<uint8_t>(c.orientation | 0xFC)), 1);
    ASSERT_EQ(d.error, IS_ERR_OK);
    ASSERT_EQ(d.width, c.width);
    ASSERT_EQ(d.height, c.height);
    for (size_t y = 0; y < 128; ++y) {
      for (size_t x = 0; x < 192; ++x) {
        const size_t at = (c.row(x, y) * size_t(c.width) + c.column(x, y)) * 3;
        ASSERT_EQ(Bytes(d.pixels.begin() + static_cast<std::ptrdiff_t>(at),
                        d.pixels.begin() + static_cast<std::ptrdiff_t>(at + 3)),
                  pixel(x, y))
            << "orientation " << int(c.orientation) << " at " << x << ", " << y;
      }
    }
  }
}

TEST(PcdRead, ResolutionIndexIsClampedAndLargerOnesEnlargeTheBase) {
  const CPlanes small = RandomPlanes(192, 128, 9);
  for (const int32_t index : {0, -4}) {
    const CDecoded d = ReadPcd(PackFile(small, 1), index);
    EXPECT_EQ(d.width, 192);
    EXPECT_EQ(d.height, 128);
  }
  const CPlanes base = RandomPlanes(768, 512, 11);
  const Bytes pack = PackFile(base, 3);
  const CDecoded d4 = ReadPcd(pack, 4);
  ASSERT_EQ(d4.error, IS_ERR_OK);
  EXPECT_EQ(d4.width, 1536);
  EXPECT_EQ(d4.height, 1024);
  EXPECT_TRUE(d4.pixels == Expected(base, 1));
  const CDecoded d6 = ReadPcd(pack, 99);
  EXPECT_EQ(d6.error, IS_ERR_OK);
  EXPECT_EQ(d6.width, 6144);
  EXPECT_EQ(d6.height, 4096);
}

TEST(PcdErrors, RefusedAndCutPacks) {
  const Bytes good = PackFile(UniformPlanes(192, 128, 50, 100, 200), 1);
  Bytes overview = good;
  std::memcpy(overview.data(), "PCD_OPA", 7);
  Bytes unsigned_ = good;
  unsigned_[2049] = 'X';
  const struct {
    const char* name;
    Bytes file;
    int32_t resolution;
    int32_t error;
  } cases[] = {
      {"overview", overview, 3, IS_ERR_PCDOVERVIEW},
      {"noSignature", unsigned_, 1, IS_ERR_NOTPCD},
      {"shorterThanItsHead", Bytes(good.begin(), good.begin() + 6000), 1, IS_ERR_NOTPCD},
      {"endsInsideTheImage", Bytes(good.begin(), good.end() - 1), 1, IS_ERR_FILEREAD},
      {"endsBeforeTheBaseImage", good, 3, IS_ERR_FILEREAD},
  };
  for (const auto& c : cases) {
    const CDecoded d = ReadPcd(c.file, c.resolution);
    EXPECT_FALSE(d.hasBuffer) << c.name;
    EXPECT_EQ(d.error, c.error) << c.name;
    EXPECT_EQ(d.width, 0) << c.name;
    EXPECT_EQ(d.height, 0) << c.name;
  }

  CTempFolder dir;
  CSource source(dir.Write("p.pcd", good));
  int32_t w = 0, h = 0;
  EXPECT_EQ(ISReadPCD(source.Get(), nullptr, &h, 1, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(ISReadPCD(nullptr, &w, &h, 1, 0), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

}  // namespace
}  // namespace qv::test
