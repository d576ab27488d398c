// Sample positions and footprint weights of the bilinear and area-average
// resamplers, shared by the whole-byte, indexed and 1-bit operations.
#include <algorithm>

#include "codec/ops/ops_internal.h"

namespace qv::codec::ops {

namespace {

// Absorbs rounding noise at integral footprint ends.
constexpr double kEndBias = 0.99999999999;

uint32_t Limit(int64_t value, uint32_t size) { return uint32_t(std::clamp<int64_t>(value, 0, int64_t(size) - 1)); }

}  // namespace

double BilinearStep(uint32_t source, uint32_t dest) {
  double step = double(source) / double(dest);
  if (int32_t(source) < int32_t(dest)) step = (double(source) - step) / double(dest);
  return step;
}

std::vector<CBilinearColumn> BilinearColumns(uint32_t sourceWidth, uint32_t destWidth) {
  const double xstep = BilinearStep(sourceWidth, destWidth);
  std::vector<CBilinearColumn> columns(destWidth);
  for (uint32_t i = 0; i < destWidth; ++i) {
    const double p = double(i) * xstep;
    const int64_t index = int64_t(p);
    const uint32_t x0 = Limit(index, sourceWidth);
    columns[i] = {x0, std::min(x0 + 1, sourceWidth - 1), p - double(index)};
  }
  return columns;
}

CBilinearRow BilinearRowAt(uint32_t j, double ystep, uint32_t sourceHeight) {
  const double q = double(j) * ystep;
  const int64_t r = int64_t(q);
  return {Limit(r, sourceHeight), Limit(r + 1, sourceHeight), q - double(r)};
}

CAreaSpan AreaSpanAt(uint32_t i, double step, uint32_t sourceSize) {
  const double start = double(i) * step;
  const double end = start + step;
  CAreaSpan span;
  span.m_nStart = std::min(uint32_t(start), sourceSize - 1);
  const int64_t e = int64_t(end + kEndBias);
  const double endFraction = end - double(int64_t(end));
  span.m_fFirst = 1 - (start - double(int64_t(start)));
  span.m_fLast = endFraction == 0 ? 1 : endFraction;
  if (e > int64_t(sourceSize)) {
    span.m_nEnd = sourceSize;
    span.m_fLast = 1;
  } else {
    span.m_nEnd = uint32_t(std::max<int64_t>(e, int64_t(span.m_nStart) + 1));
  }
  span.m_fTotal = span.m_fLast + double(int64_t(span.m_nEnd) - int64_t(span.m_nStart) - 2) + span.m_fFirst;
  return span;
}

std::vector<CAreaSpan> AreaColumns(uint32_t sourceWidth, uint32_t destWidth) {
  const double sx = double(sourceWidth) / double(destWidth);
  std::vector<CAreaSpan> columns(destWidth);
  for (uint32_t i = 0; i < destWidth; ++i) columns[i] = AreaSpanAt(i, sx, sourceWidth);
  return columns;
}

void AreaRowsAt(uint32_t j, double step, uint32_t sourceHeight, CAreaRows& rows) {
  const CAreaSpan span = AreaSpanAt(j, step, sourceHeight);
  const uint32_t n = span.m_nEnd - span.m_nStart;
  const size_t size = std::max<size_t>(n, 2);
  rows.m_nFirstRow = span.m_nStart;
  rows.m_nCount = n;
  rows.m_arrWeight.assign(size, 1.0);
  rows.m_arrCum.assign(size, 0.0);
  rows.m_arrWeight[0] = span.m_fFirst;
  rows.m_arrWeight[n == 1 ? 1 : n - 1] = span.m_fLast;
  double cum = 0;
  for (uint32_t k = 0; k < n; ++k) {
    cum = k == 0 ? rows.m_arrWeight[0] : cum + rows.m_arrWeight[k];
    rows.m_arrCum[k] = cum;
  }
}

}  // namespace qv::codec::ops
