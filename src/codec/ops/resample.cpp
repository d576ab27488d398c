// Resampling of whole-byte pixels: bilinear, exact area average, block
// average, nearest neighbour and bicubic.
//
// Every result keeps the arithmetic of a per-pixel evaluation bit for bit: the
// same double operations in the same order for each pixel and channel. Speed
// comes from doing shared work once (source rows converted to doubles once,
// each source row's horizontal footprint sums computed once for all destination
// rows that cover it) and from evaluating two channels per SSE2 instruction,
// which keeps each lane's own order of operations.
#include <algorithm>
#include <cmath>

#include "codec/ops/lanes.h"
#include "codec/ops/ops_internal.h"
#include "codec/ops/row_cache.h"

namespace qv::codec::ops {

void BytesToDoubles(const uint8_t* bytes, size_t count, double* out) {
  size_t i = 0;
#ifdef QV_OPS_SSE2
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= count; i += 8) {
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i w = _mm_unpacklo_epi8(b, zero);
    const __m128i lo = _mm_unpacklo_epi16(w, zero);
    const __m128i hi = _mm_unpackhi_epi16(w, zero);
    _mm_storeu_pd(out + i, _mm_cvtepi32_pd(lo));
    _mm_storeu_pd(out + i + 2, _mm_cvtepi32_pd(_mm_shuffle_epi32(lo, 0x0E)));
    _mm_storeu_pd(out + i + 4, _mm_cvtepi32_pd(hi));
    _mm_storeu_pd(out + i + 6, _mm_cvtepi32_pd(_mm_shuffle_epi32(hi, 0x0E)));
  }
#endif
  for (; i < count; ++i) out[i] = double(bytes[i]);
}

namespace {

// Checks shared by the whole-byte operations: nothing negative, and strides
// that hold a row of each image.
bool WholeByteArgs(const uint8_t* source, int32_t sw, int32_t sh, int32_t ss, const uint8_t* dest, int32_t dw,
                   int32_t dh, int32_t ds, int32_t channels) {
  return source && dest && NonNegative(sw, sh, ss, dw, dh, ds, channels) && StrideHolds(ss, sw, channels) &&
         StrideHolds(ds, dw, channels);
}

// ---- Bilinear ----------------------------------------------------------------

struct CBilinearPlan {
  std::vector<CBilinearColumn> m_arrColumns;
  std::vector<double> m_arrSide;  // per column: 1 - fx, fx
};

#ifdef QV_OPS_SSE2
// value = w11.P(row1, x1) + w10.P(row1, x0) + w01.P(row0, x1) + w00.P(row0, x0)
// for two channels at once (starting at offset k of each pixel).
inline __m128d BilinearPair(const double* a, const double* b, const double* c, const double* d, __m128d w00,
                            __m128d w01, __m128d w10, __m128d w11) {
  __m128d v = _mm_mul_pd(w11, _mm_loadu_pd(d));
  v = _mm_add_pd(v, _mm_mul_pd(w10, _mm_loadu_pd(c)));
  v = _mm_add_pd(v, _mm_mul_pd(w01, _mm_loadu_pd(b)));
  return _mm_add_pd(v, _mm_mul_pd(w00, _mm_loadu_pd(a)));
}

// Three or four channels per pixel: two lanes for channels 0-1, two for 2-3
// (with three channels lane 3 reads the next element or the row padding and
// is dropped).
void BilinearRowWide(const CBilinearPlan& plan, const double* row0, const double* row1, double fy, uint32_t channels,
                     uint8_t* out) {
  const __m128d gy = _mm_set1_pd(1 - fy);
  const __m128d fyv = _mm_set1_pd(fy);
  const size_t n = plan.m_arrColumns.size();
  for (size_t i = 0; i < n; ++i) {
    const CBilinearColumn& col = plan.m_arrColumns[i];
    const __m128d side = _mm_loadu_pd(&plan.m_arrSide[2 * i]);
    const __m128d top = _mm_mul_pd(side, gy);      // (1 - fx)(1 - fy), fx(1 - fy)
    const __m128d bottom = _mm_mul_pd(side, fyv);  // (1 - fx)fy, fx.fy
    const __m128d w00 = _mm_unpacklo_pd(top, top), w01 = _mm_unpackhi_pd(top, top);
    const __m128d w10 = _mm_unpacklo_pd(bottom, bottom), w11 = _mm_unpackhi_pd(bottom, bottom);
    const double* a = row0 + size_t(col.m_nX0) * channels;
    const double* b = row0 + size_t(col.m_nX1) * channels;
    const double* c = row1 + size_t(col.m_nX0) * channels;
    const double* d = row1 + size_t(col.m_nX1) * channels;
    const __m128d lo = BilinearPair(a, b, c, d, w00, w01, w10, w11);
    const __m128d hi = BilinearPair(a + 2, b + 2, c + 2, d + 2, w00, w01, w10, w11);
    const uint32_t packed = PackFour(lo, hi);
    std::memcpy(out + i * channels, &packed, channels);
  }
}
#endif

void BilinearRowScalar(const CBilinearPlan& plan, const double* row0, const double* row1, double fy, uint32_t channels,
                       uint8_t* out) {
  const size_t n = plan.m_arrColumns.size();
  for (size_t i = 0; i < n; ++i) {
    const CBilinearColumn& col = plan.m_arrColumns[i];
    const CBilinearWeights w = BilinearWeights(col.m_fFraction, fy);
    const double* a = row0 + size_t(col.m_nX0) * channels;
    const double* b = row0 + size_t(col.m_nX1) * channels;
    const double* c = row1 + size_t(col.m_nX0) * channels;
    const double* d = row1 + size_t(col.m_nX1) * channels;
    for (uint32_t k = 0; k < channels; ++k) {
      *out++ = Store(w.m_f11 * d[k] + w.m_f10 * c[k] + w.m_f01 * b[k] + w.m_f00 * a[k]);
    }
  }
}

int32_t ResizeBilinear(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels) {
  CBilinearPlan plan;
  plan.m_arrColumns = BilinearColumns(src.m_nWidth, dst.m_nWidth);
  plan.m_arrSide.resize(2 * size_t(dst.m_nWidth));
  for (size_t i = 0; i < dst.m_nWidth; ++i) {
    plan.m_arrSide[2 * i] = 1 - plan.m_arrColumns[i].m_fFraction;
    plan.m_arrSide[2 * i + 1] = plan.m_arrColumns[i].m_fFraction;
  }
  CRowCache rows(src, size_t(src.m_nWidth) * channels, 2);
  const double ystep = BilinearStep(src.m_nHeight, dst.m_nHeight);
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    const CBilinearRow r = BilinearRowAt(j, ystep, src.m_nHeight);
    const double* row0 = rows.Get(r.m_nRow0);
    const double* row1 = rows.Get(r.m_nRow1);
#ifdef QV_OPS_SSE2
    if (channels == 3 || channels == 4) {
      BilinearRowWide(plan, row0, row1, r.m_fFraction, channels, dst.Row(j));
    } else {
      BilinearRowScalar(plan, row0, row1, r.m_fFraction, channels, dst.Row(j));
    }
#else
    BilinearRowScalar(plan, row0, row1, r.m_fFraction, channels, dst.Row(j));
#endif
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

// ---- Block average ------------------------------------------------------------

int32_t ResizeBlock(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels) {
  const double sx = double(src.m_nWidth) / double(dst.m_nWidth);
  const double sy = double(src.m_nHeight) / double(dst.m_nHeight);
  if (sx * sy > double(0xFFFFFFFFu / 255)) return op.Fail(IS_ERR_BADPARAM, 0);
  const uint32_t h = std::min(uint32_t(sx), uint32_t(sy));
  const uint32_t area = h * h;
  // Origins come from sums of the step; where the sum's rounding would put a
  // block past the edge, the block ends at the edge.
  std::vector<size_t> origin(dst.m_nWidth);
  double x = 0;
  for (size_t i = 0; i < dst.m_nWidth; ++i, x += sx) origin[i] = std::min<size_t>(size_t(x), src.m_nWidth - h);
  double y = 0;
  for (uint32_t j = 0; j < dst.m_nHeight; ++j, y += sy) {
    const size_t top = std::min<size_t>(size_t(y), src.m_nHeight - h);
    uint8_t* out = dst.Row(j);
    for (size_t i = 0; i < dst.m_nWidth; ++i) {
      for (uint32_t k = 0; k < channels; ++k) {
        uint32_t sum = 0;
        for (uint32_t dy = 0; dy < h; ++dy) {
          const uint8_t* p = src.Row(top + dy) + origin[i] * channels + k;
          for (uint32_t dx = 0; dx < h; ++dx) sum += p[size_t(dx) * channels];
        }
        *out++ = uint8_t(sum / area);
      }
    }
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

// ---- Nearest ------------------------------------------------------------------

int32_t ResizeNearest(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels) {
  std::vector<size_t> column(dst.m_nWidth);
  for (uint64_t i = 0; i < dst.m_nWidth; ++i) column[i] = channels * size_t(i * src.m_nWidth / dst.m_nWidth);
  std::vector<const uint8_t*> row(dst.m_nHeight);
  for (uint64_t j = 0; j < dst.m_nHeight; ++j) row[j] = src.Row(size_t(j * src.m_nHeight / dst.m_nHeight));
  for (uint32_t k = 0; k < channels; ++k) {
    for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
      const uint8_t* in = row[j] + k;
      uint8_t* out = dst.Row(j) + k;
      for (size_t i = 0; i < dst.m_nWidth; ++i) out[i * channels] = in[column[i]];
    }
    if (!op.Progress(int32_t(k), int32_t(channels))) return 0;
  }
  return 1;
}

// ---- Bicubic ------------------------------------------------------------------

// Four neighbours and their weights at one position.
struct CCubicTap {
  uint32_t m_arrIndex[4];
  double m_arrWeight[4];
};

// t is the position's fraction; the neighbour rules look at the position p.
CCubicTap CubicTapAt(double p, uint32_t size) {
  const double n = double(size);
  const int64_t k = int64_t(p);
  const double t = p - double(k);
  CCubicTap tap;
  int64_t i0 = p < 1 ? 0 : k - 1;
  int64_t i1 = p >= n - 1 ? int64_t(size) - 1 : k;
  int64_t i2 = p >= n - 2 ? i1 : k + 1;
  int64_t i3 = p >= n - 3 ? i2 : k + 2;
  const int64_t index[4] = {i0, i1, i2, i3};
  for (int m = 0; m < 4; ++m) tap.m_arrIndex[m] = uint32_t(std::clamp<int64_t>(index[m], 0, int64_t(size) - 1));
  tap.m_arrWeight[0] = -t * (1 - t) * (1 - t);
  tap.m_arrWeight[1] = 1 - 2 * t * t + t * t * t;
  tap.m_arrWeight[2] = t * (1 + t - t * t);
  tap.m_arrWeight[3] = -t * t * (1 - t);
  return tap;
}

// Horizontally interpolated source rows, each computed once.
class CCubicRows {
 public:
  CCubicRows(const CSourceView& src, const std::vector<CCubicTap>& columns, uint32_t channels)
      : m_src(src),
        m_columns(columns),
        m_nChannels(channels),
        m_arrRow(4, -1),
        m_values(4 * columns.size() * channels) {}

  const double* Get(uint32_t y) {
    size_t slot = 0;
    for (size_t k = 0; k < 4; ++k) {
      if (m_arrRow[k] == int64_t(y)) return Slot(k);
      if (m_arrRow[k] < m_arrRow[slot]) slot = k;
    }
    m_arrRow[slot] = y;
    double* out = Slot(slot);
    const uint8_t* in = m_src.Row(y);
    for (const CCubicTap& tap : m_columns) {
      const uint8_t* p0 = in + size_t(tap.m_arrIndex[0]) * m_nChannels;
      const uint8_t* p1 = in + size_t(tap.m_arrIndex[1]) * m_nChannels;
      const uint8_t* p2 = in + size_t(tap.m_arrIndex[2]) * m_nChannels;
      const uint8_t* p3 = in + size_t(tap.m_arrIndex[3]) * m_nChannels;
      for (uint32_t k = 0; k < m_nChannels; ++k) {
        *out++ = tap.m_arrWeight[0] * p0[k] + tap.m_arrWeight[1] * p1[k] + tap.m_arrWeight[2] * p2[k] +
                 tap.m_arrWeight[3] * p3[k];
      }
    }
    return Slot(slot);
  }

 private:
  double* Slot(size_t k) { return m_values.data() + k * m_columns.size() * m_nChannels; }

  CSourceView m_src;
  const std::vector<CCubicTap>& m_columns;
  uint32_t m_nChannels;
  std::vector<int64_t> m_arrRow;
  std::vector<double> m_values;
};

uint8_t StoreRounded(double value) {
  const int32_t v = int32_t(value + 0.5);
  return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(v);
}

int32_t ResizeBicubic(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels) {
  const double sx = double(src.m_nWidth) / double(dst.m_nWidth);
  const double sy = double(src.m_nHeight) / double(dst.m_nHeight);
  std::vector<CCubicTap> columns(dst.m_nWidth);
  for (uint32_t i = 0; i < dst.m_nWidth; ++i) {
    const double p = std::clamp(double(i) * sx, 0.0, double(src.m_nWidth) - 1);
    columns[i] = CubicTapAt(p, src.m_nWidth);
  }
  CCubicRows rows(src, columns, channels);
  const size_t elements = size_t(dst.m_nWidth) * channels;
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    const CCubicTap tap = CubicTapAt(double(j) * sy, src.m_nHeight);
    const double* h[4];
    for (int m = 0; m < 4; ++m) h[m] = rows.Get(tap.m_arrIndex[m]);
    const double* w = tap.m_arrWeight;
    uint8_t* out = dst.Row(j);
    for (size_t x = 0; x < elements; ++x) {
      out[x] = StoreRounded(w[0] * h[0][x] + w[1] * h[1][x] + w[2] * h[2][x] + w[3] * h[3][x]);
    }
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

}  // namespace

}  // namespace qv::codec::ops

using namespace qv::codec;
using namespace qv::codec::ops;

namespace {

// The shared frame of the resamplers that copy a same-size picture as it is:
// argument checks (no zero size or channel count; allowAlias false also refuses
// a destination that is the source), the copy, else body(op, src, dst, channels).
template <class Body>
int32_t RunCopyingResize(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                         uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels,
                         bool allowAlias, Body body) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!WholeByteArgs(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride,
                     channels) ||
      (!allowAlias && source == dest) || !sourceWidth || !sourceHeight || !destWidth || !destHeight || !channels) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const CDestView dst = DestView(dest, destWidth, destHeight, destStride);
  if (SameSize(src, dst)) {
    CopyWhole(src, dst);
    return 1;
  }
  return op.Run<int32_t>(0, [&] { return body(op, src, dst, uint32_t(channels)); });
}

}  // namespace

int32_t ISResizeBilinear(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                         uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels) {
  return RunCopyingResize(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride,
                          channels, true, ResizeBilinear);
}

int32_t ISResizeAreaAverage(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                            uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels,
                            uint32_t mode) {
  CISOperation op;
  if (!op.Ok()) return 0;
  const bool exact = (mode & 1) != 0;
  // A zero destination size would make the footprints infinite; refused in both modes.
  if (!WholeByteArgs(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride,
                     channels) ||
      !destWidth || !destHeight || sourceWidth < destWidth || sourceHeight < destHeight || !channels) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const CDestView dst = DestView(dest, destWidth, destHeight, destStride);
  if (!exact && src.m_nWidth == dst.m_nWidth && src.m_nHeight == dst.m_nHeight) {
    // The two may overlap: like memmove, the rows go last first when the
    // destination starts at a higher address, so no row is overwritten
    // before it is read.
    const size_t bytes = std::min(src.m_nStride, dst.m_nStride);
    const bool backwards = dst.m_pBits > src.m_pBits;
    for (uint32_t i = 0; i < src.m_nHeight; ++i) {
      const uint32_t y = backwards ? src.m_nHeight - 1 - i : i;
      std::memmove(dst.Row(y), src.Row(y), bytes);
    }
    return 1;
  }
  return op.Run<int32_t>(0, [&] {
    return exact ? ResizeAreaExact(op, src, dst, uint32_t(channels)) : ResizeBlock(op, src, dst, uint32_t(channels));
  });
}

int32_t ISResizeNearest(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                        uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels) {
  return RunCopyingResize(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride,
                          channels, true, ResizeNearest);
}

int32_t ISResizeBicubic(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                        uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels) {
  return RunCopyingResize(source, sourceWidth, sourceHeight, sourceStride, dest, destWidth, destHeight, destStride,
                          channels, false, ResizeBicubic);
}
