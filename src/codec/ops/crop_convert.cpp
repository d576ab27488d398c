// Crop of whole-byte and 1-bit images, unpacking of packed pixels, and
// expansion of indexed images to 24-bit colour.
#include <algorithm>

#include "codec/ops/ops_internal.h"

namespace qv::codec::ops {

namespace {

// The rectangle's origin and size as unsigned values.
struct CCropBox {
  uint32_t m_nLeft, m_nTop, m_nWidth, m_nHeight;
};

CCropBox CropBox(const ISRect& rect) {
  return {uint32_t(rect.left), uint32_t(rect.top), uint32_t(rect.right) - uint32_t(rect.left),
          uint32_t(rect.bottom) - uint32_t(rect.top)};
}

// The rectangle lies inside the image (all comparisons unsigned, sums in 64 bits).
bool InsideImage(const CCropBox& box, int32_t sourceWidth, int32_t sourceHeight) {
  const uint64_t w = uint32_t(sourceWidth), h = uint32_t(sourceHeight);
  return box.m_nLeft < w && box.m_nTop < h && w >= box.m_nWidth && h >= box.m_nHeight &&
         w >= uint64_t(box.m_nLeft) + box.m_nWidth && h >= uint64_t(box.m_nTop) + box.m_nHeight;
}

// Visits every source row, copying those inside the rectangle with copyRow(source row, destination row).
template <class CopyRow>
int32_t CropRows(CISOperation& op, const CSourceView& src, uint8_t* dest, size_t destStride, const CCropBox& box,
                 CopyRow copyRow) {
  uint8_t* out = dest;
  for (uint32_t y = 0; y < src.m_nHeight; ++y) {
    if (y >= box.m_nTop && y - box.m_nTop < box.m_nHeight) {
      copyRow(src.Row(y), out);
      out += destStride;
    }
    if (!op.Progress(int32_t(y), int32_t(src.m_nHeight))) return 0;
  }
  return 1;
}

// Destination bits 0..width-1 of a row become source bits left..left+width-1;
// the bits after width in the last byte keep their values.
void CopyBits(const uint8_t* in, uint32_t left, uint32_t width, uint8_t* out) {
  if (width == 0) return;
  const uint32_t shift = left & 7;
  const uint8_t* p = in + (left >> 3);
  const size_t lastIn = (size_t(left) + width - 1) / 8 - (left >> 3);  // last source byte used, from p
  const size_t bytes = (size_t(width) + 7) / 8;
  for (size_t k = 0; k < bytes; ++k) {
    uint32_t v = uint32_t(p[k]) << shift;
    if (shift && k + 1 <= lastIn) v |= uint32_t(p[k + 1]) >> (8 - shift);
    v &= 0xFF;
    if (k + 1 == bytes && (width & 7)) {
      const uint8_t keep = uint8_t(0xFFu >> (width & 7));
      out[k] = uint8_t((out[k] & keep) | (v & uint8_t(~keep)));
    } else {
      out[k] = uint8_t(v);
    }
  }
}

// pixels values of bits each (1..7), most significant bits first, from one continuous stream.
void UnpackStream(const uint8_t* in, uint64_t pixels, uint32_t bits, uint8_t* out) {
  const uint64_t inBytes = (pixels * bits + 7) / 8;
  const uint32_t mask = (1u << bits) - 1;
  if (bits == 1) {
    for (uint64_t p = 0; p < pixels; ++p) out[p] = uint8_t((in[p >> 3] >> (7 - (p & 7))) & 1);
    return;
  }
  for (uint64_t p = 0; p < pixels; ++p) {
    const uint64_t bit = p * bits;
    const uint64_t byte = bit >> 3;
    uint32_t window = uint32_t(in[byte]) << 8;
    if (byte + 1 < inBytes) window |= in[byte + 1];
    out[p] = uint8_t((window >> (16 - (bit & 7) - bits)) & mask);
  }
}

int32_t PaletteToRGB(CISOperation& op, const CSourceView& src, const CDestView& dst, const ISPalEntry* palette,
                     bool keepOrder) {
  for (uint32_t y = 0; y < src.m_nHeight; ++y) {
    const uint8_t* in = src.Row(y);
    uint8_t* out = dst.Row(y);
    for (uint32_t x = 0; x < src.m_nWidth; ++x, out += 3) {
      const ISPalEntry& e = palette[in[x]];
      out[0] = keepOrder ? e.blue : e.red;
      out[1] = e.green;
      out[2] = keepOrder ? e.red : e.blue;
    }
    if (!op.Progress(int32_t(y), int32_t(src.m_nHeight))) return 0;
  }
  return 1;
}

}  // namespace

}  // namespace qv::codec::ops

using namespace qv::codec;
using namespace qv::codec::ops;

int32_t ISCropImage(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                    uint8_t* dest, int32_t destStride, ISRect rect, int32_t bytesPerPixel) {
  CISOperation op;
  if (!op.Ok()) return 0;
  const CCropBox box = CropBox(rect);
  if (!source || !dest || source == dest ||
      !NonNegative(sourceWidth, sourceHeight, sourceStride, destStride, bytesPerPixel) ||
      !InsideImage(box, sourceWidth, sourceHeight) || !StrideHolds(sourceStride, sourceWidth, bytesPerPixel) ||
      int64_t(destStride) < int64_t(box.m_nWidth) * bytesPerPixel) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const size_t offset = size_t(box.m_nLeft) * size_t(bytesPerPixel);
  const size_t bytes = size_t(box.m_nWidth) * size_t(bytesPerPixel);
  return CropRows(op, src, dest, size_t(destStride), box,
                  [&](const uint8_t* in, uint8_t* out) { std::memcpy(out, in + offset, bytes); });
}

int32_t ISCrop1Bit(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                   uint8_t* dest, int32_t destStride, ISRect rect) {
  CISOperation op;
  if (!op.Ok()) return 0;
  const CCropBox box = CropBox(rect);
  if (!source || !dest || source == dest || !NonNegative(sourceWidth, sourceHeight, sourceStride, destStride) ||
      !InsideImage(box, sourceWidth, sourceHeight) || !BitStrideHolds(sourceStride, sourceWidth) ||
      int64_t(destStride) < BitRowBytes(box.m_nWidth)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  return CropRows(op, src, dest, size_t(destStride), box,
                  [&](const uint8_t* in, uint8_t* out) { CopyBits(in, box.m_nLeft, box.m_nWidth, out); });
}

int32_t ISUnpackBits(const uint8_t* source, int32_t width, int32_t height, int32_t bitsPerPixel, uint8_t* dest) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!source || !dest || bitsPerPixel < 1 || bitsPerPixel > 8 || !NonNegative(width, height)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  if (bitsPerPixel == 8) {
    std::memmove(dest, source, size_t(pixels));  // an unpack in place is a copy onto itself
  } else {
    UnpackStream(source, pixels, uint32_t(bitsPerPixel), dest);
  }
  return 1;
}

int32_t ISPaletteToRGB(const uint8_t* source, int32_t width, int32_t height, int32_t sourceStride, uint8_t* dest,
                       int32_t destStride, int32_t paletteCount, const ISPalEntry* palette, uint32_t flags) {
  (void)paletteCount;  // every palette array holds 256 entries; the count bounds nothing
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!source || !dest || !palette || !NonNegative(width, height, sourceStride, destStride) ||
      !StrideHolds(sourceStride, width, 1) || !StrideHolds(destStride, width, 3)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, width, height, sourceStride);
  const CDestView dst = DestView(dest, width, height, destStride);
  return PaletteToRGB(op, src, dst, palette, (flags & IS_PAL2RGB_KEEPORDER) != 0);
}
