// Resampling of 8-bit indexed and 1-bit images, on the geometry and weights of
// the whole-byte bilinear and exact area-average resamplers.
#include <algorithm>
#include <bit>

#include "codec/ops/color_match.h"
#include "codec/ops/ops_internal.h"

namespace qv::codec::ops {

namespace {

// The three colour bytes of every palette entry as doubles (entry bytes 0, 1, 2).
struct CPaletteColours {
  explicit CPaletteColours(const ISPalEntry* palette) {
    for (int32_t i = 0; i < IS_PALETTE_SIZE; ++i) {
      m_arr[i][0] = palette[i].blue;
      m_arr[i][1] = palette[i].green;
      m_arr[i][2] = palette[i].red;
    }
  }
  double m_arr[IS_PALETTE_SIZE][3];
};

// Checks of the operations that shrink: nothing negative, a non-empty
// destination no larger than the source, and strides that hold a row.
bool ShrinkArgs(const uint8_t* source, int32_t sw, int32_t sh, int32_t ss, const uint8_t* dest, int32_t dw, int32_t dh,
                int32_t ds) {
  return source && dest && NonNegative(sw, sh, ss, dw, dh, ds) && dw && dh && sw >= dw && sh >= dh;
}

bool EnlargeArgs(const uint8_t* source, int32_t sw, int32_t sh, int32_t ss, const uint8_t* dest, int32_t dw, int32_t dh,
                 int32_t ds) {
  return source && dest && source != dest && NonNegative(sw, sh, ss, dw, dh, ds) && sw && sh && dw && dh;
}

// ---- 8-bit bilinear -------------------------------------------------------------

int32_t ResizeBilinear8(CISOperation& op, const CSourceView& src, const CDestView& dst, const ISPalEntry* palette,
                        int32_t count) {
  const std::vector<CBilinearColumn> columns = BilinearColumns(src.m_nWidth, dst.m_nWidth);
  const CPaletteColours colours(palette);
  CISColorMatch match(palette, count);
  const double ystep = BilinearStep(src.m_nHeight, dst.m_nHeight);
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    const CBilinearRow r = BilinearRowAt(j, ystep, src.m_nHeight);
    const uint8_t* row0 = src.Row(r.m_nRow0);
    const uint8_t* row1 = src.Row(r.m_nRow1);
    uint8_t* out = dst.Row(j);
    for (uint32_t i = 0; i < dst.m_nWidth; ++i) {
      const CBilinearColumn& col = columns[i];
      const CBilinearWeights w = BilinearWeights(col.m_fFraction, r.m_fFraction);
      const double* a = colours.m_arr[row0[col.m_nX0]];
      const double* b = colours.m_arr[row0[col.m_nX1]];
      const double* c = colours.m_arr[row1[col.m_nX0]];
      const double* d = colours.m_arr[row1[col.m_nX1]];
      uint32_t v[3];
      for (int k = 0; k < 3; ++k)
        v[k] = uint32_t(int32_t(w.m_f11 * d[k] + w.m_f10 * c[k] + w.m_f01 * b[k] + w.m_f00 * a[k]));
      out[i] = match.Lookup(v[0], v[1], v[2]);
    }
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

// ---- 8-bit area average -----------------------------------------------------------

// The colour sums of one source row over every destination column's footprint;
// a footprint of one column takes the last weight.
void IndexedRowSums(const std::vector<CAreaSpan>& columns, const uint8_t* row, const CPaletteColours& colours,
                    double* out) {
  for (const CAreaSpan& span : columns) {
    const uint32_t n = span.m_nEnd - span.m_nStart;
    const uint8_t* p = row + span.m_nStart;
    for (int k = 0; k < 3; ++k) {
      double sum;
      if (n == 1) {
        sum = span.m_fLast * colours.m_arr[p[0]][k];
      } else {
        sum = span.m_fFirst * colours.m_arr[p[0]][k];
        for (uint32_t x = 1; x + 1 < n; ++x) sum += colours.m_arr[p[x]][k];
        sum += span.m_fLast * colours.m_arr[p[n - 1]][k];
      }
      *out++ = sum;
    }
  }
}

int32_t ResizeAreaAverage8(CISOperation& op, const CSourceView& src, const CDestView& dst, const ISPalEntry* palette,
                           int32_t count) {
  const std::vector<CAreaSpan> columns = AreaColumns(src.m_nWidth, dst.m_nWidth);
  const CPaletteColours colours(palette);
  CISColorMatch match(palette, count);
  const size_t elements = size_t(dst.m_nWidth) * 3;
  std::vector<double> sums(elements), acc(elements);
  const double sy = double(src.m_nHeight) / double(dst.m_nHeight);
  CAreaRows rows;
  rows.m_arrWeight.reserve(size_t(sy) + 3);
  rows.m_arrCum.reserve(rows.m_arrWeight.capacity());
  int64_t summedRow = -1;
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    AreaRowsAt(j, sy, src.m_nHeight, rows);
    for (uint32_t k = 0; k < rows.m_nCount; ++k) {
      const uint32_t y = rows.m_nFirstRow + k;
      if (int64_t(y) != summedRow) {
        IndexedRowSums(columns, src.Row(y), colours, sums.data());
        summedRow = y;
      }
      const double w = rows.m_arrWeight[k];
      for (size_t x = 0; x < elements; ++x) acc[x] = k == 0 ? w * sums[x] : acc[x] + w * sums[x];
    }
    const double vertical = rows.m_arrCum[rows.m_nCount - 1];
    uint8_t* out = dst.Row(j);
    for (uint32_t i = 0; i < dst.m_nWidth; ++i) {
      const double scale = 1 / (columns[i].m_fTotal * vertical);
      const double* s = &acc[size_t(i) * 3];
      out[i] = match.Lookup(uint32_t(int32_t(s[0] * scale)), uint32_t(int32_t(s[1] * scale)),
                            uint32_t(int32_t(s[2] * scale)));
    }
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

// ---- 1-bit bilinear -----------------------------------------------------------------

int32_t Resize1Bit(CISOperation& op, const CSourceView& src, const CDestView& dst) {
  const std::vector<CBilinearColumn> columns = BilinearColumns(src.m_nWidth, dst.m_nWidth);
  const double ystep = BilinearStep(src.m_nHeight, dst.m_nHeight);
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    const CBilinearRow r = BilinearRowAt(j, ystep, src.m_nHeight);
    const uint8_t* row0 = src.Row(r.m_nRow0);
    const uint8_t* row1 = src.Row(r.m_nRow1);
    uint8_t* out = dst.Row(j);
    for (uint32_t i = 0; i < dst.m_nWidth; ++i) {
      const CBilinearColumn& col = columns[i];
      const CBilinearWeights w = BilinearWeights(col.m_fFraction, r.m_fFraction);
      const double v = w.m_f11 * BitAt(row1, col.m_nX1) + w.m_f10 * BitAt(row1, col.m_nX0) +
                       w.m_f01 * BitAt(row0, col.m_nX1) + w.m_f00 * BitAt(row0, col.m_nX0);
      PutBit(out, i, v > 0.5);
    }
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

// ---- 1-bit coverage threshold ---------------------------------------------------------

// Sum of (row weight x column weight) x 255 over the set bits of the footprint,
// rows top to bottom, columns left to right; bytes with no bit set are skipped.
double Coverage(const CSourceView& src, const CAreaRows& rows, const CAreaSpan& span) {
  double sum = 0;
  const uint32_t n = span.m_nEnd - span.m_nStart;
  for (uint32_t k = 0; k < rows.m_nCount; ++k) {
    const uint8_t* row = src.Row(rows.m_nFirstRow + k);
    const double wy = rows.m_arrWeight[k];
    for (uint32_t x = 0; x < n;) {
      const size_t column = size_t(span.m_nStart) + x;
      if ((column & 7) == 0 && row[column >> 3] == 0) {
        x += 8;
        continue;
      }
      if (BitAt(row, column)) {
        const double wx = x == 0 ? span.m_fFirst : x + 1 == n ? span.m_fLast : 1.0;
        sum += wy * wx * 255;
      }
      ++x;
    }
  }
  return sum;
}

int32_t Resize1BitThreshold(CISOperation& op, const CSourceView& src, const CDestView& dst, int32_t threshold) {
  const std::vector<CAreaSpan> columns = AreaColumns(src.m_nWidth, dst.m_nWidth);
  const double sy = double(src.m_nHeight) / double(dst.m_nHeight);
  CAreaRows rows;
  rows.m_arrWeight.reserve(size_t(sy) + 3);
  rows.m_arrCum.reserve(rows.m_arrWeight.capacity());
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    AreaRowsAt(j, sy, src.m_nHeight, rows);
    const double vertical = rows.m_arrCum[rows.m_nCount - 1];
    uint8_t* out = dst.Row(j);
    for (uint32_t i = 0; i < dst.m_nWidth; ++i) {
      const double k = columns[i].m_fTotal * vertical;
      const int32_t value = int32_t(Coverage(src, rows, columns[i]) / k);
      PutBit(out, i, threshold < value);
    }
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

// ---- Counting ---------------------------------------------------------------------------

void Count1Bit(const CSourceView& src, uint64_t counts[2]) {
  const size_t whole = src.m_nWidth / 8;
  const uint32_t rest = src.m_nWidth % 8;
  const uint8_t restMask = uint8_t(0xFF00u >> rest);
  uint64_t ones = 0;
  for (uint32_t y = 0; y < src.m_nHeight; ++y) {
    const uint8_t* row = src.Row(y);
    for (size_t x = 0; x < whole; ++x) ones += uint64_t(std::popcount(row[x]));
    if (rest) ones += uint64_t(std::popcount(uint8_t(row[whole] & restMask)));
  }
  counts[1] = ones;
  counts[0] = uint64_t(src.m_nWidth) * src.m_nHeight - ones;
}

}  // namespace

}  // namespace qv::codec::ops

using namespace qv::codec;
using namespace qv::codec::ops;

int32_t ISResizeBilinear8(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                          uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride,
                          int32_t paletteCount, const ISPalEntry* palette) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!EnlargeArgs(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride) ||
      !palette || paletteCount < 0 || !StrideHolds(sourceStride, sourceWidth, 1) ||
      !StrideHolds(destStride, destWidth, 1)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const CDestView dst = DestView(dest, destWidth, destHeight, destStride);
  if (SameSize(src, dst)) {
    CopyWhole(src, dst);
    return 1;
  }
  return op.Run<int32_t>(0, [&] { return ResizeBilinear8(op, src, dst, palette, paletteCount); });
}

int32_t ISResizeAreaAverage8(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                             uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride,
                             const ISPalEntry* palette, int32_t paletteCount) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!ShrinkArgs(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride) ||
      !palette || paletteCount < 0 || !StrideHolds(sourceStride, sourceWidth, 1) ||
      !StrideHolds(destStride, destWidth, 1)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const CDestView dst = DestView(dest, destWidth, destHeight, destStride);
  return op.Run<int32_t>(0, [&] { return ResizeAreaAverage8(op, src, dst, palette, paletteCount); });
}

int32_t ISResize1Bit(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                     uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!EnlargeArgs(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride) ||
      !BitStrideHolds(sourceStride, sourceWidth) || !BitStrideHolds(destStride, destWidth)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const CDestView dst = DestView(dest, destWidth, destHeight, destStride);
  return op.Run<int32_t>(0, [&] { return Resize1Bit(op, src, dst); });
}

int32_t ISResize1BitThreshold(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                              uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride,
                              int32_t threshold) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!ShrinkArgs(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride) ||
      !BitStrideHolds(sourceStride, sourceWidth) || !BitStrideHolds(destStride, destWidth)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const CDestView dst = DestView(dest, destWidth, destHeight, destStride);
  return op.Run<int32_t>(0, [&] { return Resize1BitThreshold(op, src, dst, threshold); });
}

int32_t ISCount1BitPixels(const uint8_t* source, int32_t width, int32_t height, int32_t stride, uint64_t counts[2]) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!source || !counts || !NonNegative(width, height, stride) || !BitStrideHolds(stride, width)) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  Count1Bit(SourceView(source, width, height, stride), counts);
  return 1;
}
