// PhotoCD reader: one resolution of an image pack at 24 bits, converted from
// luminance and two chrominance planes and turned upright.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codec/codec_internal.h"

namespace qv::codec {
namespace {

constexpr size_t kSectorBytes = 2048;
constexpr size_t kHeadBytes = 6144;
constexpr size_t kSignatureOffset = 2048;
constexpr size_t kOrientationOffset = 3586;
constexpr int32_t kBaseIndex = 3;  // 768 x 512, the largest image stored without residuals
// Sectors from the end of the head to the image of resolutions 1, 2 and 3.
constexpr int64_t kSectorsToImage[kBaseIndex] = {1, 20, 93};

// Converted values (0 to 350) to output bytes.
constexpr uint8_t kOutputTable[351] = {
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

// The terms of the conversion, one table of 256 per term.
struct CConversionTerms {
  std::array<double, 256> luma, redC2, greenC1, greenC2, blueC1;
  CConversionTerms() {
    for (int i = 0; i < 256; ++i) {
      luma[i] = 1.402 * i;
      redC2[i] = 1.88 * (i - 137);
      greenC1[i] = -(0.444066 * (i - 156));
      greenC2[i] = -(0.95692 * (i - 137));
      blueC1[i] = 2.289 * (i - 156);
    }
  }
};

inline uint8_t OutputByte(double v) {
  const double clamped = std::clamp(v, 0.0, 350.0);
  return kOutputTable[static_cast<int>(clamped)];
}

// Enlarges a plane of w x h samples (row stride s) in place to 2w x 2h.
void DoublePlane(uint8_t* p, size_t w, size_t h, size_t s) {
  for (size_t r = h; r-- > 0;) {
    const uint8_t* src = p + r * s;
    uint8_t* dst = p + 2 * r * s;  // row 0 is its own target: right to left, each sample is read first
    const uint8_t last = src[w - 1];
    dst[2 * w - 1] = last;
    dst[2 * w - 2] = last;
    for (size_t x = w - 1; x-- > 0;) {
      const uint32_t a = src[x], b = src[x + 1];
      dst[2 * x + 1] = static_cast<uint8_t>((a + b + 1) >> 1);
      dst[2 * x] = static_cast<uint8_t>(a);
    }
  }
  const size_t cols = 2 * w;
  for (size_t r = 0; r + 1 < h; ++r) {
    const uint8_t* a = p + 2 * r * s;
    const uint8_t* b = a + 2 * s;
    uint8_t* d = p + (2 * r + 1) * s;
    for (size_t x = 0; x < cols; x += 2) d[x] = static_cast<uint8_t>((a[x] + b[x] + 1) >> 1);
    for (size_t x = 1; x + 1 < cols; x += 2)
      d[x] = static_cast<uint8_t>((a[x - 1] + b[x - 1] + a[x + 1] + b[x + 1] + 2) >> 2);
    d[cols - 1] = static_cast<uint8_t>((a[cols - 1] + b[cols - 1] + 1) >> 1);
  }
  std::memcpy(p + (2 * h - 1) * s, p + (2 * h - 2) * s, cols);
}

struct CPlanes {
  size_t nStride;  // the width of the delivered picture
  std::vector<uint8_t> luma, c1, c2;
  CPlanes(size_t width, size_t height)
      : nStride(width), luma(width * height + 1), c1(width * height + 1), c2(width * height + 1) {}
};

// H / 2 groups of two luminance rows of W bytes and one row of W / 2 bytes of
// each chrominance; the chrominance rows stay at half size, left-aligned.
void ReadBaseRows(CISIO& io, CPlanes& planes, size_t w, size_t h) {
  const size_t s = planes.nStride;
  for (size_t k = 0; k < h / 2; ++k) {
    const bool ok = io.ReadExactly(planes.luma.data() + 2 * k * s, w) &&
                    io.ReadExactly(planes.luma.data() + (2 * k + 1) * s, w) &&
                    io.ReadExactly(planes.c1.data() + k * s, w / 2) && io.ReadExactly(planes.c2.data() + k * s, w / 2);
    if (!ok) throw ISException(IS_ERR_FILEREAD);
  }
}

void Convert(const CPlanes& planes, size_t pixels, uint8_t* out) {
  static const CConversionTerms t;
  for (size_t i = 0; i < pixels; ++i, out += 3) {
    const uint8_t y = planes.luma[i], c1 = planes.c1[i], c2 = planes.c2[i];
    out[0] = OutputByte(t.luma[y] + t.redC2[c2]);
    out[1] = OutputByte(t.luma[y] + t.greenC1[c1] + t.greenC2[c2]);
    out[2] = OutputByte(t.luma[y] + t.blueC1[c1]);
  }
}

// Turns a w x h picture by the stored orientation: 1 a quarter turn
// counter-clockwise, 2 a half turn, 3 a quarter turn clockwise. Quarter turns
// exchange width and height.
CISBuffer Turn(CISBuffer image, size_t w, size_t h, int orientation) {
  if (orientation == 0) return image;
  CISBuffer turned(image.Size());
  if (!turned) throw ISException(IS_ERR_MEMORY);
  const uint8_t* src = image.Get();
  uint8_t* dst = turned.Get();
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      size_t target = 0;
      switch (orientation) {
        case 1:
          target = (w - 1 - x) * h + y;
          break;
        case 2:
          target = (h - 1 - y) * w + (w - 1 - x);
          break;
        default:
          target = x * h + (h - 1 - y);
          break;
      }
      std::memcpy(dst + target * 3, src + (y * w + x) * 3, 3);
    }
  }
  return turned;
}

uint8_t* ReadPcd(CISIO& io, int32_t index, int32_t* width, int32_t* height) {
  std::vector<uint8_t> head(kHeadBytes);
  if (!io.ReadExactly(head.data(), head.size())) throw ISException(IS_ERR_NOTPCD);
  if (std::memcmp(head.data(), "PCD_OPA", 7) == 0) throw ISException(IS_ERR_PCDOVERVIEW);
  if (std::memcmp(head.data() + kSignatureOffset, "PCD", 3) != 0) throw ISException(IS_ERR_NOTPCD);
  const int orientation = head[kOrientationOffset] & 3;

  index = std::clamp(index, 1, 6);
  const int32_t stored = std::min(index, kBaseIndex);
  const size_t w = size_t{192} << (stored - 1), h = size_t{128} << (stored - 1);
  const int steps = index - stored;  // resolutions above the base: the base enlarged
  const size_t outW = w << steps, outH = h << steps;
  Trace(2, "Reading PCD sub-image #%d (%d x %d)\n", index, static_cast<int>(outW), static_cast<int>(outH));

  // A pack that ends before the stored image does is refused before the planes
  // (up to 75 MB for resolution 6) are made.
  const int64_t gap = kSectorsToImage[stored - 1] * static_cast<int64_t>(kSectorBytes);
  if (CISByteCursor(io).Remaining() < static_cast<uint64_t>(gap) + w * h * 3 / 2) throw ISException(IS_ERR_FILEREAD);
  CPlanes planes(outW, outH);
  if (!io.Seek(gap, 1)) throw ISException(IS_ERR_FILEREAD);
  ReadBaseRows(io, planes, w, h);
  DoublePlane(planes.c1.data(), w / 2, h / 2, outW);
  DoublePlane(planes.c2.data(), w / 2, h / 2, outW);
  for (int i = 0; i < steps; ++i) {
    for (auto* plane : {&planes.luma, &planes.c1, &planes.c2}) DoublePlane(plane->data(), w << i, h << i, outW);
  }

  CISBuffer image(uint64_t{outW} * outH * 3);
  if (!image) throw ISException(IS_ERR_MEMORY);
  Convert(planes, outW * outH, image.Get());
  image = Turn(std::move(image), outW, outH, orientation);
  const bool quarter = orientation == 1 || orientation == 3;
  *width = static_cast<int32_t>(quarter ? outH : outW);
  *height = static_cast<int32_t>(quarter ? outW : outH);
  return image.Release();
}

}  // namespace
}  // namespace qv::codec

uint8_t* ISReadPCD(HISSRC source, int32_t* width, int32_t* height, int32_t resolution, uint32_t /*flags*/) {
  qv::codec::CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!width || !height) return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  *width = 0;
  *height = 0;
  qv::codec::CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr, [&] { return qv::codec::ReadPcd(io, resolution, width, height); });
}
