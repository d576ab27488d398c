// Separable filtering with support-scaled kernels (ISResizeFiltered).
//
// The result is that of filtering every source row of one destination column
// into a temporary column of bytes and that column vertically into the
// destination, column after column. Columns are worked in blocks (the
// horizontal pass of a block's columns over all rows, then each column's
// vertical pass), which gives the same bytes with far less memory traffic.
#include <algorithm>
#include <cmath>

#include "codec/ops/ops_internal.h"

namespace qv::codec::ops {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kBlockColumns = 64;
constexpr size_t kBlockBytes = size_t(4) << 20;  // tall pictures get fewer columns per block

double Sinc(double x) { return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

double Kernel(int32_t filter, double x) {
  const double a = std::fabs(x);
  switch (filter) {
    case IS_FILTER_BOX:
      return x > -0.5 && x <= 0.5 ? 1.0 : 0.0;
    case IS_FILTER_TRIANGLE:
      return a < 1 ? 1 - a : 0.0;
    case IS_FILTER_HAMMING:
      return 0.54 + 0.46 * std::cos(kPi * x);
    case IS_FILTER_GAUSSIAN:
      return std::exp(-2 * x * x) * std::sqrt(2 / kPi);
    case IS_FILTER_QUADRATIC: {
      if (a < 0.5) return 0.75 - x * x;
      const double t = a - 1.5;
      return a < 1.5 ? 0.5 * (t * t) : 0.0;
    }
    case IS_FILTER_BSPLINE:
    case IS_FILTER_BSPLINE2: {
      if (a < 1) return 0.5 * a * a * a - x * x + 2.0 / 3.0;
      const double t = 2 - a;
      return a < 2 ? t * t * t / 6 : 0.0;
    }
    case IS_FILTER_HERMITE:
    case IS_FILTER_HERMITE2:
      return a < 1 ? 2 * a * a * a - 3 * x * x + 1 : 0.0;
    case IS_FILTER_LANCZOS:
      return x == 0 ? 1.0 : a < 3 ? Sinc(x) * Sinc(x / 3) : 0.0;
    case IS_FILTER_MITCHELL:
      if (a < 1) return (7 * a * a * a - 12 * x * x + 16.0 / 3.0) / 6;
      return a < 2 ? (-7.0 / 3.0 * a * a * a + 12 * x * x - 20 * a + 32.0 / 3.0) / 6 : 0.0;
    case IS_FILTER_SINC:
      return Sinc(x);
    case IS_FILTER_HANNING:
      return 0.5 + 0.5 * std::cos(kPi * x);
    case IS_FILTER_CATMULLROM:
      if (a < 1) return 0.5 * (3 * a * a * a - 5 * x * x + 2);
      return a < 2 ? 0.5 * (-a * a * a + 5 * x * x - 8 * a + 4) : 0.0;
    default:
      return 0.0;
  }
}

double Support(int32_t filter) {
  static const double kSupport[IS_FILTER_COUNT] = {0.5, 1.0, 1.0, 1.25, 1.5, 2.0, 1.0,
                                                   2.0, 3.0, 2.0, 4.0,  1.0, 1.0, 2.0};
  return kSupport[filter];
}

// The contributors of one output position, in ascending source position.
struct CContributors {
  std::vector<uint32_t> m_arrIndex;
  std::vector<double> m_arrWeight;
};

// Reflects a position outside 0..n-1 back into the image (repeatedly where
// the image is narrower than the kernel).
uint32_t Mirror(int64_t j, uint32_t n) {
  while (j < 0 || j >= int64_t(n)) {
    if (j < 0) j = -j;
    if (j >= int64_t(n)) j = 2 * int64_t(n) - j - 1;
    if (n == 1) j = 0;
  }
  return uint32_t(j);
}

std::vector<CContributors> Contributors(int32_t filter, uint32_t sourceSize, uint32_t destSize) {
  const double support = Support(filter);
  const double scale = double(destSize) / double(sourceSize);
  std::vector<CContributors> list(destSize);
  for (uint32_t i = 0; i < destSize; ++i) {
    const double centre = double(i) / scale;
    const bool shrinking = scale < 1;
    const double width = shrinking ? support / scale : support;
    const int64_t lo = int64_t(std::ceil(centre - width));
    const int64_t hi = int64_t(std::floor(centre + width));
    CContributors& c = list[i];
    c.m_arrIndex.reserve(size_t(std::max<int64_t>(hi - lo + 1, 0)));
    c.m_arrWeight.reserve(c.m_arrIndex.capacity());
    for (int64_t j = lo; j <= hi; ++j) {
      const double d = centre - double(j);
      c.m_arrIndex.push_back(Mirror(j, sourceSize));
      c.m_arrWeight.push_back(shrinking ? Kernel(filter, d * scale) * scale : Kernel(filter, d));
    }
  }
  return list;
}

// One filtered byte: the first byte when all contributors' bytes are equal,
// otherwise the weighted sum rounded half away from zero and clamped.
// at(k) gives contributor k's byte.
template <class At>
uint8_t FilterValue(const CContributors& c, At at) {
  const size_t n = c.m_arrIndex.size();
  if (n == 0) return 0;
  const uint8_t first = at(0);
  size_t k = 1;
  while (k < n && at(k) == first) ++k;
  if (k == n) return first;
  double sum = 0;
  for (k = 0; k < n; ++k) sum += c.m_arrWeight[k] * at(k);
  const double r = sum > 0 ? std::trunc(sum + 0.5) : std::trunc(sum - 0.5);
  return uint8_t(std::clamp(r, 0.0, 255.0));
}

int32_t ResizeFiltered(CISOperation& op, const CSourceView& src, const CDestView& dst, uint32_t channels,
                       int32_t filter) {
  const std::vector<CContributors> vertical = Contributors(filter, src.m_nHeight, dst.m_nHeight);
  const std::vector<CContributors> horizontal = Contributors(filter, src.m_nWidth, dst.m_nWidth);
  const size_t columnBytes = size_t(src.m_nHeight) * channels;
  const uint32_t block =
      uint32_t(std::clamp<size_t>(kBlockBytes / columnBytes, 1, std::min(kBlockColumns, dst.m_nWidth)));
  // Temporary columns of the block: row y, column b, channel k at (y * block + b) * channels + k.
  std::vector<uint8_t> temp(size_t(src.m_nHeight) * block * channels);
  for (uint32_t i0 = 0; i0 < dst.m_nWidth; i0 += block) {
    const uint32_t count = std::min(block, dst.m_nWidth - i0);
    for (uint32_t y = 0; y < src.m_nHeight; ++y) {
      const uint8_t* in = src.Row(y);
      uint8_t* out = &temp[size_t(y) * block * channels];
      for (uint32_t b = 0; b < count; ++b) {
        const CContributors& c = horizontal[i0 + b];
        for (uint32_t k = 0; k < channels; ++k) {
          *out++ = FilterValue(c, [&](size_t m) { return in[size_t(c.m_arrIndex[m]) * channels + k]; });
        }
      }
    }
    for (uint32_t b = 0; b < count; ++b) {
      const size_t rowStep = size_t(block) * channels;
      for (uint32_t j = 0; j < dst.m_nHeight; ++j) {
        const CContributors& c = vertical[j];
        uint8_t* out = dst.Row(j) + size_t(i0 + b) * channels;
        for (uint32_t k = 0; k < channels; ++k) {
          const uint8_t* column = &temp[size_t(b) * channels + k];
          out[k] = FilterValue(c, [&](size_t m) { return column[c.m_arrIndex[m] * rowStep]; });
        }
      }
      if (!op.Progress(int32_t(i0 + b), int32_t(dst.m_nWidth))) return 0;
    }
  }
  return 1;
}

}  // namespace

}  // namespace qv::codec::ops

using namespace qv::codec;
using namespace qv::codec::ops;

int32_t ISResizeFiltered(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                         uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels,
                         int32_t filter) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!source || !dest ||
      !NonNegative(sourceWidth, sourceHeight, sourceStride, destWidth, destHeight, destStride, channels) || !channels ||
      !sourceWidth || !sourceHeight || !destWidth || !destHeight || !StrideHolds(sourceStride, sourceWidth, channels) ||
      !StrideHolds(destStride, destWidth, channels) || filter < 0 || filter >= IS_FILTER_COUNT) {
    return op.Fail(IS_ERR_BADPARAM, 0);
  }
  const int64_t least = int64_t(Support(filter) + 0.999999999);
  if (destWidth < least || destHeight < least) return op.Fail(IS_ERR_FILTERSIZE, 0);
  const CSourceView src = SourceView(source, sourceWidth, sourceHeight, sourceStride);
  const CDestView dst = DestView(dest, destWidth, destHeight, destStride);
  return op.Run<int32_t>(0, [&] { return ResizeFiltered(op, src, dst, uint32_t(channels), filter); });
}
