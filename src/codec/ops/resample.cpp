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

#include "codec/ops/ops_internal.h"
#include "codec/ops/row_cache.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QV_OPS_SSE2 1
#endif

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

// Low 8 bits of the value truncated toward zero.
inline uint8_t Store(double value) { return uint8_t(int32_t(value)); }

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

// Four truncated values as bytes (all lie in 0..255, so saturation equals the low 8 bits).
inline uint32_t PackFour(__m128d lo, __m128d hi) {
  const __m128i v = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
  const __m128i w = _mm_packs_epi32(v, v);
  return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
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

// ---- Exact area average ----------------------------------------------------------

// Footprints of a run of destination columns over source pixels converted
// from pixel m_nOrigin on.
struct CSpanRange {
  const CAreaSpan* m_pBegin;
  const CAreaSpan* m_pEnd;
  uint32_t m_nOrigin;
};

// Where one source row's footprint sums go: acc = w.sum on a destination row's
// first source row, acc += w.sum on the later ones; a row that is also the
// first of the next destination row starts that row's sums too (next = w.sum).
struct CAreaTargets {
  double* m_pAcc;
  double m_fWeight;
  bool m_bFirst;
  double* m_pNext;  // null when the row is not shared
  double m_fNextWeight;
};

inline void Apply(const CAreaTargets& t, size_t x, double sum) {
  const double term = t.m_fWeight * sum;
  t.m_pAcc[x] = t.m_bFirst ? term : t.m_pAcc[x] + term;
  if (t.m_pNext) t.m_pNext[x] = t.m_fNextWeight * sum;
}

// Horizontal footprint sum of one source row for every destination column of
// the range and channel: first.b[s] + b[s+1] + ... + b[e-2] + last.b[e-1], left
// to right.
void AreaRowScalar(const CSpanRange& range, const double* row, uint32_t channels, const CAreaTargets& t, size_t x) {
  for (const CAreaSpan* span = range.m_pBegin; span != range.m_pEnd; ++span) {
    const double* p = row + size_t(span->m_nStart - range.m_nOrigin) * channels;
    const uint32_t n = span->m_nEnd - span->m_nStart;
    for (uint32_t k = 0; k < channels; ++k) {
      double sum = span->m_fFirst * p[k];
      for (uint32_t c = 1; c + 1 < n; ++c) sum += p[size_t(c) * channels + k];
      if (n >= 2) sum += span->m_fLast * p[size_t(n - 1) * channels + k];
      Apply(t, x++, sum);
    }
  }
}

#ifdef QV_OPS_SSE2
// Channels 0-1 and 2-3 of one pixel as two lane pairs (with three channels the
// fourth lane holds the next element, or padding, and is dropped).
template <uint32_t kChannels>
struct CPixelPair {
  __m128d lo, hi;
  static CPixelPair Load(const double* p) { return {_mm_loadu_pd(p), _mm_loadu_pd(p + 2)}; }
  void Add(const double* p) {
    lo = _mm_add_pd(lo, _mm_loadu_pd(p));
    hi = _mm_add_pd(hi, _mm_loadu_pd(p + 2));
  }
  void AddScaled(__m128d w, const double* p) {
    lo = _mm_add_pd(lo, _mm_mul_pd(w, _mm_loadu_pd(p)));
    hi = _mm_add_pd(hi, _mm_mul_pd(w, _mm_loadu_pd(p + 2)));
  }
  CPixelPair Scaled(__m128d w) const { return {_mm_mul_pd(w, lo), _mm_mul_pd(w, hi)}; }
  void Store(double* p) const {
    _mm_storeu_pd(p, lo);
    if constexpr (kChannels == 4) {
      _mm_storeu_pd(p + 2, hi);
    } else {
      _mm_store_sd(p + 2, hi);
    }
  }
  void AddTo(double* p) const {
    _mm_storeu_pd(p, _mm_add_pd(_mm_loadu_pd(p), lo));
    if constexpr (kChannels == 4) {
      _mm_storeu_pd(p + 2, _mm_add_pd(_mm_loadu_pd(p + 2), hi));
    } else {
      _mm_store_sd(p + 2, _mm_add_sd(_mm_load_sd(p + 2), hi));
    }
  }
};

// The same as AreaRowScalar for three or four channels, two channels per lane pair.
template <uint32_t kChannels, bool kFirst, bool kNext>
void AreaRowWide(const CSpanRange& range, const double* row, const CAreaTargets& t, size_t x) {
  const __m128d w = _mm_set1_pd(t.m_fWeight), wNext = _mm_set1_pd(t.m_fNextWeight);
  double* acc = t.m_pAcc + x;
  double* next = kNext ? t.m_pNext + x : nullptr;
  for (const CAreaSpan* span = range.m_pBegin; span != range.m_pEnd; ++span, acc += kChannels) {
    const double* p = row + size_t(span->m_nStart - range.m_nOrigin) * kChannels;
    const uint32_t n = span->m_nEnd - span->m_nStart;
    CPixelPair<kChannels> sum = CPixelPair<kChannels>::Load(p).Scaled(_mm_set1_pd(span->m_fFirst));
    if (n >= 2) {
      const double* q = p + kChannels;
      const double* const last = p + size_t(n - 1) * kChannels;
      for (; q + kChannels < last; q += 2 * kChannels) {
        sum.Add(q);
        sum.Add(q + kChannels);
      }
      if (q < last) sum.Add(q);
      sum.AddScaled(_mm_set1_pd(span->m_fLast), last);
    }
    const CPixelPair<kChannels> term = sum.Scaled(w);
    if constexpr (kFirst) {
      term.Store(acc);
    } else {
      term.AddTo(acc);
    }
    if constexpr (kNext) {
      sum.Scaled(wNext).Store(next);
      next += kChannels;
    }
  }
}

template <uint32_t kChannels>
void AreaRowWide(const CSpanRange& range, const double* row, const CAreaTargets& t, size_t x) {
  if (t.m_bFirst) {
    t.m_pNext ? AreaRowWide<kChannels, true, true>(range, row, t, x)
              : AreaRowWide<kChannels, true, false>(range, row, t, x);
  } else {
    t.m_pNext ? AreaRowWide<kChannels, false, true>(range, row, t, x)
              : AreaRowWide<kChannels, false, false>(range, row, t, x);
  }
}
#endif

// Sums one source row over all destination columns into its targets. The row
// is converted to doubles a stretch at a time, so that the stretch stays in
// the nearest cache while its footprints are summed.
class CAreaRowSummer {
 public:
  CAreaRowSummer(const std::vector<CAreaSpan>& columns, uint32_t channels) : m_columns(columns), m_nChannels(channels) {
    uint32_t widest = 1;
    for (const CAreaSpan& span : columns) widest = std::max(widest, span.m_nEnd - span.m_nStart);
    m_nStretch = std::max(widest, kStretchPixels);
    m_values.assign(size_t(m_nStretch) * channels + CRowCache::kPadding, 0.0);
  }

  void Sum(const uint8_t* row, const CAreaTargets& targets) {
    const CAreaSpan* span = m_columns.data();
    const CAreaSpan* const end = span + m_columns.size();
    size_t x = 0;
    while (span != end) {
      const uint32_t origin = span->m_nStart;
      const CAreaSpan* stop = span + 1;
      while (stop != end && stop->m_nEnd - origin <= m_nStretch) ++stop;
      const size_t count = size_t((stop - 1)->m_nEnd - origin) * m_nChannels;
      BytesToDoubles(row + size_t(origin) * m_nChannels, count, m_values.data());
      m_values[count] = m_values[count + 1] = 0;
      const CSpanRange range{span, stop, origin};
#ifdef QV_OPS_SSE2
      if (m_nChannels == 3) {
        AreaRowWide<3>(range, m_values.data(), targets, x);
      } else if (m_nChannels == 4) {
        AreaRowWide<4>(range, m_values.data(), targets, x);
      } else {
        AreaRowScalar(range, m_values.data(), m_nChannels, targets, x);
      }
#else
      AreaRowScalar(range, m_values.data(), m_nChannels, targets, x);
#endif
      x += size_t(stop - span) * m_nChannels;
      span = stop;
    }
  }

 private:
  static constexpr uint32_t kStretchPixels = 512;
  const std::vector<CAreaSpan>& m_columns;
  uint32_t m_nChannels;
  uint32_t m_nStretch;
  std::vector<double> m_values;
};

// out[x] = trunc(acc[x] * scale[x]) for values known to lie in 0..255.
void StoreScaled(const double* acc, const double* scale, size_t n, uint8_t* out) {
  size_t x = 0;
#ifdef QV_OPS_SSE2
  for (; x + 4 <= n; x += 4) {
    const __m128d lo = _mm_mul_pd(_mm_loadu_pd(acc + x), _mm_loadu_pd(scale + x));
    const __m128d hi = _mm_mul_pd(_mm_loadu_pd(acc + x + 2), _mm_loadu_pd(scale + x + 2));
    const uint32_t packed = PackFour(lo, hi);
    std::memcpy(out + x, &packed, 4);
  }
#endif
  for (; x < n; ++x) out[x] = Store(acc[x] * scale[x]);
}

// ---- Exact area average in fixed point -------------------------------------------
//
// When every footprint weight is a multiple of 2^-bits for a few bits (scale
// factors such as 2, 1.5 or 3.125), none of the double operations of the area
// average rounds: each product and partial sum is a multiple of the smallest
// weight step and stays far below 2^53 of those steps. The sum is then the same
// exact value in any order, and integers compute it: the rows of a footprint
// first (16-bit lanes), then the columns. The result goes through the same
// final double operations, so the bytes are identical.

constexpr uint32_t kMaxWeightBits = 12;

// The bits of a weight in (0, 1] as a multiple of 2^-bits; false when it needs more.
bool WeightBits(double w, uint32_t& bits) {
  for (uint32_t b = 0; b <= kMaxWeightBits; ++b) {
    const double scaled = std::ldexp(w, int(b));
    if (scaled == std::floor(scaled)) {
      bits = std::max(bits, b);
      return true;
    }
  }
  return false;
}

struct CFixedRow {
  uint32_t m_nFirstRow, m_nCount;
  uint16_t m_nFirst, m_nLast;  // weights x 2^rowBits
  double m_fVertical;          // cum[n - 1]
};

struct CFixedPlan {
  uint32_t m_nColumnBits = 0, m_nRowBits = 0;
  std::vector<CFixedRow> m_arrRows;
  std::vector<uint32_t> m_arrFirst, m_arrLast;  // column weights x 2^columnBits
};

// The plan, or false when some weight needs too many bits or the sums could
// leave 15 bits (rows) or 31 bits (rows and columns).
bool MakeFixedPlan(const std::vector<CAreaSpan>& columns, const CSourceView& src, const CDestView& dst,
                   CFixedPlan& plan) {
  uint32_t widest = 1, tallest = 1;
  for (const CAreaSpan& span : columns) {
    if (!WeightBits(span.m_fFirst, plan.m_nColumnBits) || !WeightBits(span.m_fLast, plan.m_nColumnBits)) return false;
    widest = std::max(widest, span.m_nEnd - span.m_nStart);
  }
  const double sy = double(src.m_nHeight) / double(dst.m_nHeight);
  CAreaRows rows;
  std::vector<std::pair<double, double>> weights(dst.m_nHeight);
  plan.m_arrRows.resize(dst.m_nHeight);
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    AreaRowsAt(j, sy, src.m_nHeight, rows);
    const double last = rows.m_arrWeight[rows.m_nCount == 1 ? 0 : rows.m_nCount - 1];
    if (!WeightBits(rows.m_arrWeight[0], plan.m_nRowBits) || !WeightBits(last, plan.m_nRowBits)) return false;
    weights[j] = {rows.m_arrWeight[0], last};
    plan.m_arrRows[j] = {rows.m_nFirstRow, rows.m_nCount, 0, 0, rows.m_arrCum[rows.m_nCount - 1]};
    tallest = std::max(tallest, rows.m_nCount);
  }
  const uint64_t rowBound = 255ull * tallest << plan.m_nRowBits;
  if (rowBound >= (1u << 15) || (rowBound * widest << plan.m_nColumnBits) >= (1ull << 31)) return false;
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    plan.m_arrRows[j].m_nFirst = uint16_t(std::ldexp(weights[j].first, int(plan.m_nRowBits)));
    plan.m_arrRows[j].m_nLast = uint16_t(std::ldexp(weights[j].second, int(plan.m_nRowBits)));
  }
  for (const CAreaSpan& span : columns) {
    plan.m_arrFirst.push_back(uint32_t(std::ldexp(span.m_fFirst, int(plan.m_nColumnBits))));
    plan.m_arrLast.push_back(uint32_t(std::ldexp(span.m_fLast, int(plan.m_nColumnBits))));
  }
  return true;
}

// sums = w.row (first) or sums + w.row, in 16-bit lanes (the plan keeps them below 2^15).
void AddWeightedRow(const uint8_t* row, size_t n, uint16_t w, bool first, uint16_t* sums) {
  size_t x = 0;
#ifdef QV_OPS_SSE2
  const __m128i zero = _mm_setzero_si128(), wv = _mm_set1_epi16(int16_t(w));
  for (; x + 16 <= n; x += 16) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wv);
    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), wv);
    __m128i* out = reinterpret_cast<__m128i*>(sums + x);
    if (!first) {
      lo = _mm_add_epi16(lo, _mm_loadu_si128(out));
      hi = _mm_add_epi16(hi, _mm_loadu_si128(out + 1));
    }
    _mm_storeu_si128(out, lo);
    _mm_storeu_si128(out + 1, hi);
  }
#endif
  for (; x < n; ++x) sums[x] = uint16_t((first ? 0 : sums[x]) + w * row[x]);
}

// One destination pixel's column sum for every channel from the row sums at p:
// first.p[s] + 2^bits.(p[s+1] + ... + p[e-2]) + last.p[e-1].
void FixedColumnsScalar(const std::vector<CAreaSpan>& columns, const CFixedPlan& plan, const uint16_t* sums,
                        uint32_t channels, double unit, double vertical, uint8_t* out) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const CAreaSpan& span = columns[i];
    const uint32_t n = span.m_nEnd - span.m_nStart;
    const double scale = 1 / (span.m_fTotal * vertical);
    const uint16_t* p = sums + size_t(span.m_nStart) * channels;
    for (uint32_t c = 0; c < channels; ++c) {
      uint32_t sum = plan.m_arrFirst[i] * p[c];
      if (n >= 2) {
        uint32_t middle = 0;
        for (uint32_t x = 1; x + 1 < n; ++x) middle += p[size_t(x) * channels + c];
        sum += (middle << plan.m_nColumnBits) + plan.m_arrLast[i] * p[size_t(n - 1) * channels + c];
      }
      *out++ = Store(double(sum) * unit * scale);
    }
  }
}

#ifdef QV_OPS_SSE2
// Four 16-bit row sums as 32-bit lanes.
inline __m128i Widen(const uint16_t* p) {
  return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

// The same for three or four channels in four 32-bit lanes (the products are
// formed by 16 x 16-bit multiply-adds against a zero partner).
template <uint32_t kChannels>
void FixedColumnsWide(const std::vector<CAreaSpan>& columns, const CFixedPlan& plan, const uint16_t* sums, double unit,
                      double vertical, uint8_t* out) {
  const __m128i shift = _mm_cvtsi32_si128(int(plan.m_nColumnBits));
  const __m128d unitv = _mm_set1_pd(unit);
  for (size_t i = 0; i < columns.size(); ++i, out += kChannels) {
    const CAreaSpan& span = columns[i];
    const uint32_t n = span.m_nEnd - span.m_nStart;
    const uint16_t* p = sums + size_t(span.m_nStart) * kChannels;
    __m128i sum = _mm_madd_epi16(Widen(p), _mm_set1_epi32(int32_t(plan.m_arrFirst[i])));
    if (n >= 2) {
      __m128i middle = _mm_setzero_si128();
      for (uint32_t x = 1; x + 1 < n; ++x) middle = _mm_add_epi32(middle, Widen(p + size_t(x) * kChannels));
      sum = _mm_add_epi32(sum, _mm_sll_epi32(middle, shift));
      sum = _mm_add_epi32(
          sum, _mm_madd_epi16(Widen(p + size_t(n - 1) * kChannels), _mm_set1_epi32(int32_t(plan.m_arrLast[i]))));
    }
    const __m128d scale = _mm_set1_pd(1 / (span.m_fTotal * vertical));
    const __m128d lo = _mm_mul_pd(_mm_mul_pd(_mm_cvtepi32_pd(sum), unitv), scale);
    const __m128d hi = _mm_mul_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(sum, 0x0E)), unitv), scale);
    const uint32_t packed = PackFour(lo, hi);
    std::memcpy(out, &packed, kChannels);
  }
}
#endif

int32_t ResizeAreaFixed(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels,
                        const std::vector<CAreaSpan>& columns, const CFixedPlan& plan) {
  const size_t rowElements = size_t(src.m_nWidth) * channels;
  std::vector<uint16_t> sums(rowElements + 4, 0);  // four to spare for the last pixel's lane loads
  const uint16_t middleRow = uint16_t(1u << plan.m_nRowBits);
  const double unit = std::ldexp(1.0, -int(plan.m_nColumnBits + plan.m_nRowBits));
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    const CFixedRow& r = plan.m_arrRows[j];
    for (uint32_t k = 0; k < r.m_nCount; ++k) {
      const uint16_t w = k == 0 ? r.m_nFirst : k + 1 == r.m_nCount ? r.m_nLast : middleRow;
      AddWeightedRow(src.Row(r.m_nFirstRow + k), rowElements, w, k == 0, sums.data());
    }
#ifdef QV_OPS_SSE2
    if (channels == 3) {
      FixedColumnsWide<3>(columns, plan, sums.data(), unit, r.m_fVertical, dst.Row(j));
    } else if (channels == 4) {
      FixedColumnsWide<4>(columns, plan, sums.data(), unit, r.m_fVertical, dst.Row(j));
    } else {
      FixedColumnsScalar(columns, plan, sums.data(), channels, unit, r.m_fVertical, dst.Row(j));
    }
#else
    FixedColumnsScalar(columns, plan, sums.data(), channels, unit, r.m_fVertical, dst.Row(j));
#endif
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

// Each destination pixel: sum over its rows (top to bottom) of row weight times
// the row's horizontal footprint sum, times 1 / (horizontal total x vertical
// total). Every source row is summed once: a row on the border of two
// destination rows feeds both.
int32_t ResizeAreaExact(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels) {
  const std::vector<CAreaSpan> columns = AreaColumns(src.m_nWidth, dst.m_nWidth);
  CFixedPlan plan;
  if (MakeFixedPlan(columns, src, dst, plan)) return ResizeAreaFixed(op, src, dst, channels, columns, plan);
  const size_t outElements = size_t(dst.m_nWidth) * channels;
  CAreaRowSummer summer(columns, channels);
  std::vector<double> acc(outElements), next(outElements), scale(outElements);
  const double sy = double(src.m_nHeight) / double(dst.m_nHeight);
  CAreaRows rows, nextRows;
  for (CAreaRows* r : {&rows, &nextRows}) {
    r->m_arrWeight.reserve(size_t(sy) + 3);
    r->m_arrCum.reserve(size_t(sy) + 3);
  }
  AreaRowsAt(0, sy, src.m_nHeight, rows);
  uint32_t firstK = 0;  // rows of this destination row already summed with the one before
  for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
    const bool more = j + 1 < dst.m_nHeight;
    if (more) AreaRowsAt(j + 1, sy, src.m_nHeight, nextRows);
    const uint32_t lastRow = rows.m_nFirstRow + rows.m_nCount - 1;
    const bool shared = more && nextRows.m_nFirstRow == lastRow && rows.m_nCount > firstK;
    for (uint32_t k = firstK; k < rows.m_nCount; ++k) {
      const bool feedsNext = shared && k + 1 == rows.m_nCount;
      const CAreaTargets targets{acc.data(), rows.m_arrWeight[k], k == 0, feedsNext ? next.data() : nullptr,
                                 feedsNext ? nextRows.m_arrWeight[0] : 0.0};
      summer.Sum(src.Row(rows.m_nFirstRow + k), targets);
    }
    const double vertical = rows.m_arrCum[rows.m_nCount - 1];
    for (size_t i = 0, x = 0; i < dst.m_nWidth; ++i) {
      const double s = 1 / (columns[i].m_fTotal * vertical);
      for (uint32_t k = 0; k < channels; ++k) scale[x++] = s;
    }
    StoreScaled(acc.data(), scale.data(), outElements, dst.Row(j));
    if (!op.Progress(int32_t(j), int32_t(dst.m_nHeight))) return 0;
    acc.swap(next);
    std::swap(rows, nextRows);
    firstK = shared ? 1 : 0;
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
