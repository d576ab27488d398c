// Exact area average of whole-byte pixels: every destination pixel is the
// area-weighted mean of the source pixels its footprint covers.
//
// One engine folds source rows into the destination rows that cover them, in
// order from the top, so that the whole-picture call and a reader handing
// over its rows one at a time (the slide of a big picture) compute the same
// double operations in the same order for each pixel and channel. Each source
// row's horizontal footprint sums are formed once, for every destination row
// that covers it; a destination row is finished (scaled and stored) when its
// last source row has been folded in. Rows and columns outside the part the
// caller keeps are not computed.
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "codec/ops/lanes.h"
#include "codec/ops/ops_internal.h"
#include "codec/ops/row_cache.h"

namespace qv::codec::ops {

namespace {

// The destination columns [begin, end) that are computed.
struct CColumnRange {
  size_t m_nBegin;
  size_t m_nEnd;
};

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
#endif

// One destination column as the wide kernels read it: where its footprint
// starts among the converted elements, where its sums go, and its end weights.
struct CColumnEntry {
  size_t m_nAt;   // element offset from the stretch's first converted element
  size_t m_nOut;  // element offset of the column's sums in the row of targets
  double m_fFirst, m_fLast;
};

// The columns of a stretch with one footprint length, m_nLength pixels.
struct CLengthRun {
  uint32_t m_nLength;
  uint32_t m_nBegin, m_nEnd;  // entries
};

// One stretch of the row: the source pixels [m_nOrigin, m_nOrigin + m_nPixels)
// converted at once, and the destination columns [m_nBegin, m_nEnd) whose
// footprints lie in it; for the wide kernels also as runs of equal footprint
// length, so that each run's loop has a fixed count and no branch on lengths.
struct CStretch {
  uint32_t m_nOrigin, m_nPixels;
  uint32_t m_nBegin, m_nEnd;
  uint32_t m_nRunBegin, m_nRunEnd;
};

#ifdef QV_OPS_SSE2
// The footprint sums of a run of columns of length kLength (0: n, known only
// at run time) for three or four channels, two channels per lane pair.
template <uint32_t kChannels, bool kFirst, bool kNext, uint32_t kLength>
void AreaRunWide(const CColumnEntry* entry, const CColumnEntry* end, uint32_t n, const double* row,
                 const CAreaTargets& t) {
  const uint32_t length = kLength ? kLength : n;
  const __m128d w = _mm_set1_pd(t.m_fWeight), wNext = _mm_set1_pd(t.m_fNextWeight);
  for (; entry != end; ++entry) {
    const double* p = row + entry->m_nAt;
    CPixelPair<kChannels> sum = CPixelPair<kChannels>::Load(p).Scaled(_mm_set1_pd(entry->m_fFirst));
    if (length >= 2) {
      for (uint32_t k = 1; k + 1 < length; ++k) sum.Add(p + size_t(k) * kChannels);
      sum.AddScaled(_mm_set1_pd(entry->m_fLast), p + size_t(length - 1) * kChannels);
    }
    const CPixelPair<kChannels> term = sum.Scaled(w);
    if constexpr (kFirst) {
      term.Store(t.m_pAcc + entry->m_nOut);
    } else {
      term.AddTo(t.m_pAcc + entry->m_nOut);
    }
    if constexpr (kNext) sum.Scaled(wNext).Store(t.m_pNext + entry->m_nOut);
  }
}

template <uint32_t kChannels, bool kFirst, bool kNext>
void AreaRunWide(const CLengthRun& run, const CColumnEntry* entries, const double* row, const CAreaTargets& t) {
  const CColumnEntry* begin = entries + run.m_nBegin;
  const CColumnEntry* end = entries + run.m_nEnd;
  switch (run.m_nLength) {
    case 1:
      return AreaRunWide<kChannels, kFirst, kNext, 1>(begin, end, 1, row, t);
    case 2:
      return AreaRunWide<kChannels, kFirst, kNext, 2>(begin, end, 2, row, t);
    case 3:
      return AreaRunWide<kChannels, kFirst, kNext, 3>(begin, end, 3, row, t);
    case 4:
      return AreaRunWide<kChannels, kFirst, kNext, 4>(begin, end, 4, row, t);
    case 5:
      return AreaRunWide<kChannels, kFirst, kNext, 5>(begin, end, 5, row, t);
    case 6:
      return AreaRunWide<kChannels, kFirst, kNext, 6>(begin, end, 6, row, t);
    default:
      return AreaRunWide<kChannels, kFirst, kNext, 0>(begin, end, run.m_nLength, row, t);
  }
}

template <uint32_t kChannels>
void AreaRunWide(const CLengthRun& run, const CColumnEntry* entries, const double* row, const CAreaTargets& t) {
  if (t.m_bFirst) {
    t.m_pNext ? AreaRunWide<kChannels, true, true>(run, entries, row, t)
              : AreaRunWide<kChannels, true, false>(run, entries, row, t);
  } else {
    t.m_pNext ? AreaRunWide<kChannels, false, true>(run, entries, row, t)
              : AreaRunWide<kChannels, false, false>(run, entries, row, t);
  }
}
#endif

// Sums one source row over all destination columns into its targets. The row
// is converted to doubles a stretch at a time, so that the stretch stays in
// the nearest cache while its footprints are summed; the stretches are laid
// out once.
class CAreaRowSummer {
 public:
  CAreaRowSummer(const std::vector<CAreaSpan>& columns, uint32_t channels) : m_columns(columns), m_nChannels(channels) {
    uint32_t widest = 1;
    for (const CAreaSpan& span : columns) widest = std::max(widest, span.m_nEnd - span.m_nStart);
    const uint32_t stretch = std::max(widest, kStretchPixels);
    for (uint32_t i = 0; i < columns.size();) {
      const uint32_t origin = columns[i].m_nStart;
      uint32_t stop = i + 1;
      while (stop < columns.size() && columns[stop].m_nEnd - origin <= stretch) ++stop;
      CStretch st{origin, columns[stop - 1].m_nEnd - origin, i, stop, uint32_t(m_runs.size()), 0};
      // Runs by length, shortest first; within a run the columns keep their order.
      uint32_t length = 0;
      while (true) {
        uint32_t shortest = 0;
        for (uint32_t k = i; k < stop; ++k) {
          const uint32_t n = columns[k].m_nEnd - columns[k].m_nStart;
          if (n > length && (shortest == 0 || n < shortest)) shortest = n;
        }
        if (shortest == 0) break;
        length = shortest;
        const CLengthRun run{length, uint32_t(m_entries.size()), 0};
        for (uint32_t k = i; k < stop; ++k) {
          const CAreaSpan& span = columns[k];
          if (span.m_nEnd - span.m_nStart != length) continue;
          m_entries.push_back({size_t(span.m_nStart - origin) * channels, size_t(k) * channels, span.m_fFirst,
                               length >= 2 ? span.m_fLast : 0.0});
        }
        m_runs.push_back(run);
        m_runs.back().m_nEnd = uint32_t(m_entries.size());
      }
      st.m_nRunEnd = uint32_t(m_runs.size());
      m_stretches.push_back(st);
      i = stop;
    }
    m_values.assign(size_t(stretch) * channels + CRowCache::kPadding, 0.0);
  }

  void Sum(const uint8_t* row, const CAreaTargets& targets) {
    for (size_t s = 0; s < m_stretches.size(); ++s) {
      const CStretch& st = m_stretches[s];
      const size_t count = size_t(st.m_nPixels) * m_nChannels;
#ifdef QV_OPS_SSE2
      // The next stretch's bytes are fetched while this one is summed.
      if (s + 1 < m_stretches.size()) {
        const CStretch& next = m_stretches[s + 1];
        const char* from = reinterpret_cast<const char*>(row + size_t(next.m_nOrigin) * m_nChannels);
        const size_t bytes = size_t(next.m_nPixels) * m_nChannels;
        for (size_t b = 0; b < bytes; b += 64) _mm_prefetch(from + b, _MM_HINT_T0);
      }
#endif
      BytesToDoubles(row + size_t(st.m_nOrigin) * m_nChannels, count, m_values.data());
      m_values[count] = m_values[count + 1] = 0;
#ifdef QV_OPS_SSE2
      if (m_nChannels == 3 || m_nChannels == 4) {
        for (uint32_t r = st.m_nRunBegin; r < st.m_nRunEnd; ++r) {
          if (m_nChannels == 3) {
            AreaRunWide<3>(m_runs[r], m_entries.data(), m_values.data(), targets);
          } else {
            AreaRunWide<4>(m_runs[r], m_entries.data(), m_values.data(), targets);
          }
        }
        continue;
      }
#endif
      const CSpanRange range{m_columns.data() + st.m_nBegin, m_columns.data() + st.m_nEnd, st.m_nOrigin};
      AreaRowScalar(range, m_values.data(), m_nChannels, targets, size_t(st.m_nBegin) * m_nChannels);
    }
  }

 private:
  static constexpr uint32_t kStretchPixels = 512;
  const std::vector<CAreaSpan>& m_columns;
  uint32_t m_nChannels;
  std::vector<CStretch> m_stretches;
  std::vector<CLengthRun> m_runs;
  std::vector<CColumnEntry> m_entries;
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
bool MakeFixedPlan(const std::vector<CAreaSpan>& columns, uint32_t sourceHeight, uint32_t destHeight,
                   CFixedPlan& plan) {
  uint32_t widest = 1, tallest = 1;
  for (const CAreaSpan& span : columns) {
    if (!WeightBits(span.m_fFirst, plan.m_nColumnBits) || !WeightBits(span.m_fLast, plan.m_nColumnBits)) return false;
    widest = std::max(widest, span.m_nEnd - span.m_nStart);
  }
  const double sy = double(sourceHeight) / double(destHeight);
  CAreaRows rows;
  std::vector<std::pair<double, double>> weights(destHeight);
  plan.m_arrRows.resize(destHeight);
  for (uint32_t j = 0; j < destHeight; ++j) {
    AreaRowsAt(j, sy, sourceHeight, rows);
    const double last = rows.m_arrWeight[rows.m_nCount == 1 ? 0 : rows.m_nCount - 1];
    if (!WeightBits(rows.m_arrWeight[0], plan.m_nRowBits) || !WeightBits(last, plan.m_nRowBits)) return false;
    weights[j] = {rows.m_arrWeight[0], last};
    plan.m_arrRows[j] = {rows.m_nFirstRow, rows.m_nCount, 0, 0, rows.m_arrCum[rows.m_nCount - 1]};
    tallest = std::max(tallest, rows.m_nCount);
  }
  const uint64_t rowBound = 255ull * tallest << plan.m_nRowBits;
  if (rowBound >= (1u << 15) || (rowBound * widest << plan.m_nColumnBits) >= (1ull << 31)) return false;
  for (uint32_t j = 0; j < destHeight; ++j) {
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
// scales holds 1 / (horizontal total x vertical total) per column of the range.
void FixedColumnsScalar(const std::vector<CAreaSpan>& columns, const CFixedPlan& plan, const CColumnRange& range,
                        const uint16_t* sums, uint32_t channels, double unit, const double* scales, uint8_t* out) {
  for (size_t i = range.m_nBegin; i < range.m_nEnd; ++i) {
    const CAreaSpan& span = columns[i];
    const uint32_t n = span.m_nEnd - span.m_nStart;
    const double scale = scales[i - range.m_nBegin];
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
void FixedColumnsWide(const std::vector<CAreaSpan>& columns, const CFixedPlan& plan, const CColumnRange& range,
                      const uint16_t* sums, double unit, const double* scales, uint8_t* out) {
  const __m128i shift = _mm_cvtsi32_si128(int(plan.m_nColumnBits));
  const __m128d unitv = _mm_set1_pd(unit);
  for (size_t i = range.m_nBegin; i < range.m_nEnd; ++i, out += kChannels) {
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
    const __m128d scale = _mm_set1_pd(scales[i - range.m_nBegin]);
    const __m128d lo = _mm_mul_pd(_mm_mul_pd(_mm_cvtepi32_pd(sum), unitv), scale);
    const __m128d hi = _mm_mul_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(sum, 0x0E)), unitv), scale);
    const uint32_t packed = PackFour(lo, hi);
    std::memcpy(out, &packed, kChannels);
  }
}
#endif

// ---- The engine ------------------------------------------------------------------

// One destination row being summed: its source rows and their weights, and its
// sums so far (doubles, or 16-bit lanes in fixed point).
struct CAreaSlot {
  uint32_t m_nRow = 0;
  CAreaRows m_rows;
  std::vector<double> m_arrAcc;
  std::vector<uint16_t> m_arrSums;

  uint32_t LastSourceRow() const { return m_rows.m_nFirstRow + m_rows.m_nCount - 1; }
};

}  // namespace

class CAreaEngine {
 public:
  CAreaEngine(const CAreaGeometry& g, const CDestView& out) : m_g(g), m_out(out) {
    m_columns = AreaColumns(g.m_nSourceWidth, g.m_nDestWidth);
    m_range = {size_t(g.m_keep.left), size_t(g.m_keep.right)};
    m_nStep = double(g.m_nSourceHeight) / double(g.m_nDestHeight);
    m_nNextOpen = g.m_keep.top;
    m_bFixed = MakeFixedPlan(m_columns, g.m_nSourceHeight, g.m_nDestHeight, m_plan);
    const size_t kept = (m_range.m_nEnd - m_range.m_nBegin) * g.m_nChannels;
    m_arrColumnScale.resize(m_range.m_nEnd - m_range.m_nBegin);
    if (m_bFixed) {
      m_nFromElement = size_t(m_columns[m_range.m_nBegin].m_nStart) * g.m_nChannels;
      m_nElements = size_t(m_columns[m_range.m_nEnd - 1].m_nEnd) * g.m_nChannels - m_nFromElement;
    } else {
      m_keptColumns.assign(m_columns.begin() + ptrdiff_t(m_range.m_nBegin),
                           m_columns.begin() + ptrdiff_t(m_range.m_nEnd));
      m_summer = std::make_unique<CAreaRowSummer>(m_keptColumns, g.m_nChannels);
      m_arrScale.resize(kept);
      m_arrLine.resize(kept);
    }
    // Two rows are open at once at most, but for rounding at a footprint's end.
    for (int i = 0; i < 3; ++i) m_free.push_back(NewSlot());
  }

  // Folds in the next source row (width x channels bytes).
  void AddRow(const uint8_t* row) {
    const uint32_t y = m_nNextSource++;
    OpenRowsReaching(y);
    if (!m_open.empty()) {
      if (m_bFixed) {
        FoldFixed(row, y);
      } else {
        FoldExact(row, y);
      }
    }
    while (!m_open.empty() && m_open.front()->LastSourceRow() <= y) Finish();
  }

  // Destination rows from the top of the kept part finished so far.
  uint32_t FinishedRows() const { return m_nFinished; }

 private:
  std::unique_ptr<CAreaSlot> NewSlot() const {
    auto slot = std::make_unique<CAreaSlot>();
    if (m_bFixed) {
      slot->m_arrSums.assign(size_t(m_g.m_nSourceWidth) * m_g.m_nChannels + 4, 0);  // four to spare for lane loads
    } else {
      slot->m_arrAcc.assign(m_arrScale.size(), 0.0);
    }
    return slot;
  }

  // Opens the kept destination rows whose first source row is y or above.
  void OpenRowsReaching(uint32_t y) {
    while (m_nNextOpen < uint32_t(m_g.m_keep.bottom)) {
      if (!m_pPending) {
        if (m_free.empty()) {
          m_pPending = NewSlot();
        } else {
          m_pPending = std::move(m_free.back());
          m_free.pop_back();
        }
        m_pPending->m_nRow = m_nNextOpen;
        AreaRowsAt(m_nNextOpen, m_nStep, m_g.m_nSourceHeight, m_pPending->m_rows);
      }
      if (m_pPending->m_rows.m_nFirstRow > y) return;
      m_open.push_back(std::move(m_pPending));
      ++m_nNextOpen;
    }
  }

  void FoldExact(const uint8_t* row, uint32_t y) {
    CAreaSlot& a = *m_open.front();
    const uint32_t ka = y - a.m_rows.m_nFirstRow;
    if (m_open.size() == 1) {
      m_summer->Sum(row, {a.m_arrAcc.data(), a.m_rows.m_arrWeight[ka], ka == 0, nullptr, 0.0});
      return;
    }
    CAreaSlot& b = *m_open[1];
    if (m_open.size() == 2 && y == b.m_rows.m_nFirstRow) {
      m_summer->Sum(row,
                    {a.m_arrAcc.data(), a.m_rows.m_arrWeight[ka], ka == 0, b.m_arrAcc.data(), b.m_rows.m_arrWeight[0]});
      return;
    }
    // A row inside more footprints than that: its sums once (times 1, which
    // is exact), then each row's term.
    m_summer->Sum(row, {m_arrLine.data(), 1.0, true, nullptr, 0.0});
    for (const auto& slot : m_open) {
      const uint32_t k = y - slot->m_rows.m_nFirstRow;
      const double w = slot->m_rows.m_arrWeight[k];
      double* acc = slot->m_arrAcc.data();
      for (size_t x = 0; x < m_arrLine.size(); ++x) acc[x] = k == 0 ? w * m_arrLine[x] : acc[x] + w * m_arrLine[x];
    }
  }

  void FoldFixed(const uint8_t* row, uint32_t y) {
    const uint16_t middle = uint16_t(1u << m_plan.m_nRowBits);
    for (const auto& slot : m_open) {
      const CFixedRow& r = m_plan.m_arrRows[slot->m_nRow];
      const uint32_t k = y - r.m_nFirstRow;
      const uint16_t w = k == 0 ? r.m_nFirst : k + 1 == r.m_nCount ? r.m_nLast : middle;
      AddWeightedRow(row + m_nFromElement, m_nElements, w, k == 0, slot->m_arrSums.data() + m_nFromElement);
    }
  }

  // Scales and stores the oldest open row, and recycles its slot.
  void Finish() {
    std::unique_ptr<CAreaSlot> slot = std::move(m_open.front());
    m_open.erase(m_open.begin());
    uint8_t* out = m_out.Row(slot->m_nRow - uint32_t(m_g.m_keep.top));
    UpdateScales(slot->m_rows.m_arrCum[slot->m_rows.m_nCount - 1]);
    if (m_bFixed) {
      FinishFixed(*slot, out);
    } else {
      StoreScaled(slot->m_arrAcc.data(), m_arrScale.data(), m_arrScale.size(), out);
    }
    ++m_nFinished;
    m_free.push_back(std::move(slot));
  }

  // The scales 1 / (horizontal total x vertical) of the kept columns (and,
  // for the double path, of each of their channels). A scale factor has only
  // a few distinct vertical totals, so they are worked out again only when
  // the total changes from one destination row to the next.
  void UpdateScales(double vertical) {
    if (vertical == m_fScalesFor) return;
    m_fScalesFor = vertical;
    for (size_t i = m_range.m_nBegin, x = 0; i < m_range.m_nEnd; ++i) {
      const double s = 1 / (m_columns[i].m_fTotal * vertical);
      m_arrColumnScale[i - m_range.m_nBegin] = s;
      if (m_bFixed) continue;
      for (uint32_t k = 0; k < m_g.m_nChannels; ++k) m_arrScale[x++] = s;
    }
  }

  void FinishFixed(const CAreaSlot& slot, uint8_t* out) const {
    const double unit = std::ldexp(1.0, -int(m_plan.m_nColumnBits + m_plan.m_nRowBits));
    const double* scales = m_arrColumnScale.data();
    const uint16_t* sums = slot.m_arrSums.data();
#ifdef QV_OPS_SSE2
    if (m_g.m_nChannels == 3) {
      FixedColumnsWide<3>(m_columns, m_plan, m_range, sums, unit, scales, out);
      return;
    }
    if (m_g.m_nChannels == 4) {
      FixedColumnsWide<4>(m_columns, m_plan, m_range, sums, unit, scales, out);
      return;
    }
#endif
    FixedColumnsScalar(m_columns, m_plan, m_range, sums, m_g.m_nChannels, unit, scales, out);
  }

  CAreaGeometry m_g;
  CDestView m_out;
  std::vector<CAreaSpan> m_columns;
  CColumnRange m_range{};
  double m_nStep = 1;
  bool m_bFixed = false;
  CFixedPlan m_plan;
  size_t m_nFromElement = 0, m_nElements = 0;  // fixed point: the source bytes the kept columns cover
  std::vector<CAreaSpan> m_keptColumns;
  std::unique_ptr<CAreaRowSummer> m_summer;
  std::vector<double> m_arrScale, m_arrLine, m_arrColumnScale;
  double m_fScalesFor = -1;  // the vertical total the scales were worked out for
  uint32_t m_nNextSource = 0;
  uint32_t m_nNextOpen = 0;
  uint32_t m_nFinished = 0;
  std::unique_ptr<CAreaSlot> m_pPending;
  std::vector<std::unique_ptr<CAreaSlot>> m_open, m_free;
};

int32_t ResizeAreaExact(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels) {
  const CAreaGeometry g{src.m_nWidth,  src.m_nHeight, dst.m_nWidth,
                        dst.m_nHeight, channels,      {0, 0, int32_t(dst.m_nWidth), int32_t(dst.m_nHeight)}};
  CAreaEngine engine(g, dst);
  uint32_t reported = 0;
  for (uint32_t y = 0; y < src.m_nHeight; ++y) {
    engine.AddRow(src.Row(y));
    for (; reported < engine.FinishedRows(); ++reported)
      if (!op.Progress(int32_t(reported), int32_t(dst.m_nHeight))) return 0;
  }
  return 1;
}

}  // namespace qv::codec::ops

using qv::codec::CISOperation;
using qv::codec::ops::CAreaEngine;
using qv::codec::ops::CAreaGeometry;
using qv::codec::ops::DestView;

ISRowAverager::ISRowAverager() = default;
ISRowAverager::~ISRowAverager() = default;

int32_t ISRowAverager::Start(int32_t sourceWidth, int32_t sourceHeight, int32_t destWidth, int32_t destHeight,
                             int32_t channels, ISRect keep, uint8_t* dest, int32_t destStride) {
  CISOperation op;
  if (!op.Ok()) return 0;
  m_pEngine.reset();
  m_nRowsAdded = 0;
  const int64_t keptWidth = int64_t(keep.right) - keep.left;
  if (!dest || sourceWidth < 1 || sourceHeight < 1 || destWidth < 1 || destHeight < 1 || channels < 1 ||
      sourceWidth < destWidth || sourceHeight < destHeight || keep.left < 0 || keep.top < 0 || keep.right > destWidth ||
      keep.bottom > destHeight || keep.left >= keep.right || keep.top >= keep.bottom ||
      int64_t(destStride) < keptWidth * channels)
    return op.Fail(IS_ERR_BADPARAM, 0);
  const CAreaGeometry g{uint32_t(sourceWidth), uint32_t(sourceHeight), uint32_t(destWidth),
                        uint32_t(destHeight),  uint32_t(channels),     keep};
  return op.Run<int32_t>(0, [&] {
    m_pEngine =
        std::make_unique<CAreaEngine>(g, DestView(dest, int32_t(keptWidth), keep.bottom - keep.top, destStride));
    m_nSourceHeight = sourceHeight;
    return 1;
  });
}

int32_t ISRowAverager::AddRow(const uint8_t* row) {
  if (m_pEngine && row && m_nRowsAdded < m_nSourceHeight) {
    try {
      m_pEngine->AddRow(row);
      ++m_nRowsAdded;
      return 1;
    } catch (const std::bad_alloc&) {
      m_pEngine.reset();
      CISOperation op;
      return op.Ok() ? op.Fail(IS_ERR_MEMORY, 0) : 0;
    }
  }
  CISOperation op;
  return op.Ok() ? op.Fail(IS_ERR_BADPARAM, 0) : 0;
}
