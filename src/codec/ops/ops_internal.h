// Pieces the image operations share: argument checks in 64-bit arithmetic, an
// image view, and the bilinear and area-average geometry (the indexed and
// 1-bit resamplers reuse the whole-byte ones' positions and weights).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/codec_internal.h"
#include "codec/ops/ops.h"

namespace qv::codec::ops {

// ---- Checks ------------------------------------------------------------------

// All of the values are 0 or more.
template <class... T>
bool NonNegative(T... values) {
  return ((values >= 0) && ...);
}

// stride >= width * bytesPerPixel, without overflow (all values non-negative).
inline bool StrideHolds(int32_t stride, int32_t width, int64_t bytesPerPixel) {
  return int64_t(stride) >= int64_t(width) * bytesPerPixel;
}
inline int64_t BitRowBytes(int64_t width) { return (width + 7) / 8; }
inline bool BitStrideHolds(int32_t stride, int32_t width) { return int64_t(stride) >= BitRowBytes(width); }

// ---- Image views -------------------------------------------------------------

struct CSourceView {
  const uint8_t* m_pBits;
  uint32_t m_nWidth;
  uint32_t m_nHeight;
  size_t m_nStride;
  const uint8_t* Row(size_t y) const { return m_pBits + y * m_nStride; }
};

struct CDestView {
  uint8_t* m_pBits;
  uint32_t m_nWidth;
  uint32_t m_nHeight;
  size_t m_nStride;
  uint8_t* Row(size_t y) const { return m_pBits + y * m_nStride; }
};

inline CSourceView SourceView(const uint8_t* bits, int32_t width, int32_t height, int32_t stride) {
  return {bits, uint32_t(width), uint32_t(height), size_t(stride)};
}
inline CDestView DestView(uint8_t* bits, int32_t width, int32_t height, int32_t stride) {
  return {bits, uint32_t(width), uint32_t(height), size_t(stride)};
}

// Equal sizes and strides: the operations that have the same-size rule copy
// height * stride bytes and do no arithmetic. Source and destination may be
// the same buffer or overlap, hence memmove.
inline bool SameSize(const CSourceView& s, const CDestView& d) {
  return s.m_nWidth == d.m_nWidth && s.m_nHeight == d.m_nHeight && s.m_nStride == d.m_nStride;
}
inline void CopyWhole(const CSourceView& s, const CDestView& d) {
  std::memmove(d.m_pBits, s.m_pBits, size_t(s.m_nHeight) * s.m_nStride);
}

// Bit x of a 1-bit row (most significant bit first).
inline uint32_t BitAt(const uint8_t* row, size_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }
inline void PutBit(uint8_t* row, size_t x, bool set) {
  const uint8_t mask = uint8_t(0x80u >> (x & 7));
  if (set) {
    row[x >> 3] |= mask;
  } else {
    row[x >> 3] &= uint8_t(~mask);
  }
}

// ---- Bilinear geometry ---------------------------------------------------------

// Step between destination samples in source pixels: source / destination, or
// (source - that) / destination when enlarging (signed comparison).
double BilinearStep(uint32_t source, uint32_t dest);

// One destination column: its left neighbour, right neighbour (limited to the
// last column) and the fraction between them (kept as computed).
struct CBilinearColumn {
  uint32_t m_nX0;
  uint32_t m_nX1;
  double m_fFraction;
};
std::vector<CBilinearColumn> BilinearColumns(uint32_t sourceWidth, uint32_t destWidth);

// One destination row: upper and lower neighbour rows and the fraction.
struct CBilinearRow {
  uint32_t m_nRow0;
  uint32_t m_nRow1;
  double m_fFraction;
};
CBilinearRow BilinearRowAt(uint32_t j, double ystep, uint32_t sourceHeight);

// The four weights of a sample, formed as (1 - fx)(1 - fy), fx(1 - fy),
// (1 - fx)fy and fx.fy.
struct CBilinearWeights {
  double m_f00, m_f01, m_f10, m_f11;
};
inline CBilinearWeights BilinearWeights(double fx, double fy) {
  return {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
}

// ---- Area-average geometry -----------------------------------------------------

// Footprint of a destination pixel along one axis: source indices [s, e) with
// the weight of the first and of the last, and their total. A footprint never
// reaches past the image: where rounding would make it end beyond the last
// pixel it ends at that pixel, with weight 1.
struct CAreaSpan {
  uint32_t m_nStart;
  uint32_t m_nEnd;
  double m_fFirst;
  double m_fLast;
  double m_fTotal;
};
CAreaSpan AreaSpanAt(uint32_t i, double step, uint32_t sourceSize);
std::vector<CAreaSpan> AreaColumns(uint32_t sourceWidth, uint32_t destWidth);

// The rows of one destination row: weights of rows v .. v + n - 1 and their
// running sums (index 1 holds the last weight when n is 1).
struct CAreaRows {
  uint32_t m_nFirstRow = 0;
  uint32_t m_nCount = 0;
  std::vector<double> m_arrWeight;
  std::vector<double> m_arrCum;
};
void AreaRowsAt(uint32_t j, double step, uint32_t sourceHeight, CAreaRows& rows);

// ---- Exact area average -----------------------------------------------------------

// Sizes of one exact area average and the destination part computed (the
// whole destination for the whole-picture call).
struct CAreaGeometry {
  uint32_t m_nSourceWidth, m_nSourceHeight;
  uint32_t m_nDestWidth, m_nDestHeight;
  uint32_t m_nChannels;
  ISRect m_keep;
};

// Folds source rows, in order from the top, into the kept destination rows;
// out receives the kept part at its top left. Sizes are checked by the caller.
class CAreaEngine;

int32_t ResizeAreaExact(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels);

// ---- Packed device-independent bitmap ------------------------------------------

// Builds the packed 24-bit bitmap of an image into block; an IS_ERR_... code.
int32_t BuildPackedDIB(const uint8_t* image, int32_t width, int32_t height, CISBuffer& block);

}  // namespace qv::codec::ops
