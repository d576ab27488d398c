// Slow, literal forms of the image operations, step by step as the operations
// are defined: one destination pixel and channel at a time, tables built where
// the definitions build them. The tests compare the library's operations with
// these bit for bit; the benchmark uses them as the baseline. Argument checks
// are the library's business and are left out.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/codec.h"

namespace qv::test::ref {

struct Img {
  const uint8_t* bits;
  int64_t w, h, stride;
  uint8_t at(int64_t y, int64_t x) const { return bits[y * stride + x]; }
};
struct Out {
  uint8_t* bits;
  int64_t w, h, stride;
  uint8_t& at(int64_t y, int64_t x) const { return bits[y * stride + x]; }
};

inline int64_t Lim(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : v > hi ? hi : v; }
inline bool Bit(const Img& s, int64_t y, int64_t x) { return (s.at(y, x / 8) >> (7 - x % 8)) & 1; }
inline void SetBit(const Out& d, int64_t y, int64_t x, bool on) {
  uint8_t& b = d.at(y, x / 8);
  const uint8_t m = uint8_t(0x80 >> (x % 8));
  b = on ? uint8_t(b | m) : uint8_t(b & ~m);
}

// ---- Bilinear ---------------------------------------------------------------------

struct BilinearTables {
  std::vector<int64_t> index;
  std::vector<double> fraction;
  double ystep;
};

inline double BilinearStepOf(int64_t s, int64_t d) {
  double step = double(s) / double(d);
  if (int32_t(s) < int32_t(d)) step = (double(s) - step) / double(d);
  return step;
}

inline BilinearTables Bilinear(int64_t sw, int64_t sh, int64_t dw, int64_t dh) {
  BilinearTables t;
  const double xstep = BilinearStepOf(sw, dw);
  t.ystep = BilinearStepOf(sh, dh);
  for (int64_t i = 0; i < dw; ++i) {
    const double p = double(i) * xstep;
    int64_t index = int64_t(p);
    const double fraction = p - double(index);
    if (index > sw - 1) index = sw - 1;
    t.index.push_back(index);
    t.fraction.push_back(fraction);
  }
  return t;
}

// f(row0, row1, x0, x1, w00, w01, w10, w11, i, j) produces destination pixel (i, j).
template <class F>
void ForBilinear(int64_t sw, int64_t sh, int64_t dw, int64_t dh, F f) {
  const BilinearTables t = Bilinear(sw, sh, dw, dh);
  for (int64_t j = 0; j < dh; ++j) {
    const double q = double(j) * t.ystep;
    const int64_t r = int64_t(q);
    const double fy = q - double(r);
    const int64_t row0 = Lim(r, 0, sh - 1), row1 = Lim(r + 1, 0, sh - 1);
    for (int64_t i = 0; i < dw; ++i) {
      const int64_t x0 = t.index[i], x1 = std::min(x0 + 1, sw - 1);
      const double fx = t.fraction[i];
      const double w00 = (1 - fx) * (1 - fy), w01 = fx * (1 - fy), w10 = (1 - fx) * fy, w11 = fx * fy;
      f(row0, row1, x0, x1, w00, w01, w10, w11, i, j);
    }
  }
}

inline void ResizeBilinear(const Img& s, const Out& d, int64_t ch) {
  ForBilinear(s.w, s.h, d.w, d.h,
              [&](int64_t r0, int64_t r1, int64_t x0, int64_t x1, double w00, double w01, double w10, double w11,
                  int64_t i, int64_t j) {
                for (int64_t c = 0; c < ch; ++c) {
                  const double v = w11 * s.at(r1, x1 * ch + c) + w10 * s.at(r1, x0 * ch + c) +
                                   w01 * s.at(r0, x1 * ch + c) + w00 * s.at(r0, x0 * ch + c);
                  d.at(j, i * ch + c) = uint8_t(int32_t(v));
                }
              });
}

// ---- Exact area average -------------------------------------------------------------------

struct Span {
  int64_t s, e;
  double first, last, total;
};

// A footprint that rounding would end past the image ends at its last pixel
// with weight 1 (only reachable with sizes far beyond the tests').
inline Span SpanOf(int64_t i, double step, int64_t size) {
  const double start = double(i) * step;
  const double end = start + step;
  Span sp;
  sp.s = int64_t(start);
  sp.e = int64_t(end + 0.99999999999);
  sp.first = 1 - (start - double(sp.s));
  sp.last = end - double(int64_t(end));
  if (sp.last == 0) sp.last = 1;
  if (sp.e > size) {
    sp.e = size;
    sp.last = 1;
  }
  sp.total = sp.last + double(sp.e - sp.s - 2) + sp.first;
  return sp;
}

struct RowWeights {
  int64_t v, n;
  std::vector<double> weight, cum;
};

inline RowWeights RowsOf(int64_t j, double sy, int64_t sh) {
  const Span sp = SpanOf(j, sy, sh);
  RowWeights r;
  r.v = sp.s;
  r.n = sp.e - sp.s;
  const size_t size = std::max<size_t>(size_t(sy + 2), size_t(r.n) + 1);
  r.weight.assign(size, 1.0);
  r.cum.assign(size, 0.0);
  r.weight[0] = sp.first;
  r.weight[r.n == 1 ? 1 : r.n - 1] = sp.last;
  r.cum[0] = r.weight[0];
  for (int64_t k = 1; k < r.n; ++k) r.cum[k] = r.cum[k - 1] + r.weight[k];
  return r;
}

// byte(y, x) of one component; lastOnly: a one-column footprint takes the last weight.
template <class Byte>
double AreaSum(const Span& sp, const RowWeights& rw, Byte byte, bool lastOnly) {
  double sum = 0;
  for (int64_t k = 0; k < rw.n; ++k) {
    const int64_t y = rw.v + k;
    double row;
    if (sp.e - sp.s == 1) {
      row = (lastOnly ? sp.last : sp.first) * byte(y, sp.s);
    } else {
      row = sp.first * byte(y, sp.s);
      for (int64_t x = sp.s + 1; x <= sp.e - 2; ++x) row += 1 * byte(y, x);
      row += sp.last * byte(y, sp.e - 1);
    }
    sum += rw.weight[k] * row;
  }
  return sum;
}

inline void ResizeAreaExact(const Img& s, const Out& d, int64_t ch) {
  const double sx = double(s.w) / double(d.w), sy = double(s.h) / double(d.h);
  std::vector<Span> cols;
  for (int64_t i = 0; i < d.w; ++i) cols.push_back(SpanOf(i, sx, s.w));
  for (int64_t j = 0; j < d.h; ++j) {
    const RowWeights rw = RowsOf(j, sy, s.h);
    for (int64_t i = 0; i < d.w; ++i) {
      for (int64_t c = 0; c < ch; ++c) {
        const double sum = AreaSum(
            cols[i], rw, [&](int64_t y, int64_t x) { return s.at(y, x * ch + c); }, false);
        const double k = cols[i].total * rw.cum[rw.n - 1];
        d.at(j, i * ch + c) = uint8_t(int32_t(sum * (1 / k)));
      }
    }
  }
}

// ---- Block average ----------------------------------------------------------------------------

inline void ResizeBlock(const Img& s, const Out& d, int64_t ch) {
  const double sx = double(s.w) / double(d.w), sy = double(s.h) / double(d.h);
  const int64_t h = std::min(int64_t(sx), int64_t(sy));
  double y = 0;
  for (int64_t j = 0; j < d.h; ++j, y += sy) {
    double x = 0;
    for (int64_t i = 0; i < d.w; ++i, x += sx) {
      const int64_t oy = std::min(int64_t(y), s.h - h), ox = std::min(int64_t(x), s.w - h);
      for (int64_t c = 0; c < ch; ++c) {
        uint32_t sum = 0;
        for (int64_t a = 0; a < h; ++a) {
          for (int64_t b = 0; b < h; ++b) sum += s.at(oy + a, (ox + b) * ch + c);
        }
        d.at(j, i * ch + c) = uint8_t(sum / uint32_t(h * h));
      }
    }
  }
}

// ---- Nearest ----------------------------------------------------------------------------------

inline void ResizeNearest(const Img& s, const Out& d, int64_t ch) {
  for (int64_t c = 0; c < ch; ++c) {
    for (int64_t j = 0; j < d.h; ++j) {
      for (int64_t i = 0; i < d.w; ++i) {
        const int64_t col = ch * ((i * s.w) / d.w), row = s.stride * ((j * s.h) / d.h);
        d.bits[j * d.stride + i * ch + c] = s.bits[row + col + c];
      }
    }
  }
}

// ---- Bicubic -----------------------------------------------------------------------------------

struct Cubic {
  int64_t n[4];
  double w[4];
};

inline Cubic CubicOf(double p, int64_t size) {
  Cubic c;
  const int64_t k = int64_t(p);
  const double t = p - double(k);
  c.n[0] = p < 1 ? 0 : k - 1;
  c.n[1] = p >= double(size) - 1 ? size - 1 : k;
  c.n[2] = p >= double(size) - 2 ? c.n[1] : k + 1;
  c.n[3] = p >= double(size) - 3 ? c.n[2] : k + 2;
  c.w[0] = -t * (1 - t) * (1 - t);
  c.w[1] = 1 - 2 * t * t + t * t * t;
  c.w[2] = t * (1 + t - t * t);
  c.w[3] = -t * t * (1 - t);
  return c;
}

inline void ResizeBicubic(const Img& s, const Out& d, int64_t ch) {
  const double sx = double(s.w) / double(d.w), sy = double(s.h) / double(d.h);
  for (int64_t j = 0; j < d.h; ++j) {
    const Cubic cy = CubicOf(double(j) * sy, s.h);
    for (int64_t i = 0; i < d.w; ++i) {
      double p = double(i) * sx;
      p = std::min(std::max(p, 0.0), double(s.w - 1));
      const Cubic cx = CubicOf(p, s.w);
      for (int64_t c = 0; c < ch; ++c) {
        double h[4];
        for (int m = 0; m < 4; ++m) {
          h[m] = cx.w[0] * s.at(cy.n[m], cx.n[0] * ch + c) + cx.w[1] * s.at(cy.n[m], cx.n[1] * ch + c) +
                 cx.w[2] * s.at(cy.n[m], cx.n[2] * ch + c) + cx.w[3] * s.at(cy.n[m], cx.n[3] * ch + c);
        }
        const double r = cy.w[0] * h[0] + cy.w[1] * h[1] + cy.w[2] * h[2] + cy.w[3] * h[3];
        const int32_t v = int32_t(r + 0.5);
        d.at(j, i * ch + c) = uint8_t(v <= 0 ? 0 : v >= 255 ? 255 : v);
      }
    }
  }
}

// ---- Filtered ------------------------------------------------------------------------------------

constexpr double kPi = 3.14159265358979323846;
inline double Sinc(double x) { return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

inline double KernelOf(int code, double x) {
  const double a = std::fabs(x);
  switch (code) {
    case 0:
      return (x > -0.5 && x <= 0.5) ? 1 : 0;
    case 1:
      return a < 1 ? 1 - a : 0;
    case 2:
      return 0.54 + 0.46 * std::cos(kPi * x);
    case 3:
      return std::exp(-2 * x * x) * std::sqrt(2 / kPi);
    case 4:
      return a < 0.5 ? 0.75 - x * x : a < 1.5 ? 0.5 * ((a - 1.5) * (a - 1.5)) : 0;
    case 5:
    case 7:
      return a < 1 ? 0.5 * a * a * a - x * x + 2.0 / 3.0 : a < 2 ? (2 - a) * (2 - a) * (2 - a) / 6 : 0;
    case 6:
    case 11:
      return a < 1 ? 2 * a * a * a - 3 * x * x + 1 : 0;
    case 8:
      return x == 0 ? 1 : a < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case 9:
      return a < 1   ? (7 * a * a * a - 12 * x * x + 16.0 / 3.0) / 6
             : a < 2 ? (-7.0 / 3.0 * a * a * a + 12 * x * x - 20 * a + 32.0 / 3.0) / 6
                     : 0;
    case 10:
      return Sinc(x);
    case 12:
      return 0.5 + 0.5 * std::cos(kPi * x);
    default:
      return a < 1 ? 0.5 * (3 * a * a * a - 5 * x * x + 2) : a < 2 ? 0.5 * (-a * a * a + 5 * x * x - 8 * a + 4) : 0;
  }
}

inline double SupportOf(int code) {
  const double s[14] = {0.5, 1, 1, 1.25, 1.5, 2, 1, 2, 3, 2, 4, 1, 1, 2};
  return s[code];
}

struct Contrib {
  std::vector<int64_t> index;
  std::vector<double> weight;
};

// Mirrored positions; a source narrower than the kernel is reflected again
// until the position lies inside.
inline int64_t MirrorOf(int64_t j, int64_t n) {
  while (j < 0 || j >= n) {
    if (n == 1) return 0;
    if (j < 0) j = -j;
    if (j >= n) j = 2 * n - j - 1;
  }
  return j;
}

inline std::vector<Contrib> ContribsOf(int code, int64_t src, int64_t dst) {
  const double support = SupportOf(code);
  const double scale = double(dst) / double(src);
  std::vector<Contrib> out(static_cast<size_t>(dst));
  for (int64_t i = 0; i < dst; ++i) {
    const double centre = double(i) / scale;
    if (scale < 1) {
      const double width = support / scale;
      for (int64_t j = int64_t(std::ceil(centre - width)); j <= int64_t(std::floor(centre + width)); ++j) {
        out[i].index.push_back(MirrorOf(j, src));
        out[i].weight.push_back(KernelOf(code, (centre - double(j)) * scale) * scale);
      }
    } else {
      for (int64_t j = int64_t(std::ceil(centre - support)); j <= int64_t(std::floor(centre + support)); ++j) {
        out[i].index.push_back(MirrorOf(j, src));
        out[i].weight.push_back(KernelOf(code, centre - double(j)));
      }
    }
  }
  return out;
}

template <class Byte>
uint8_t Filter(const Contrib& c, Byte byte) {
  bool flat = true;
  for (size_t k = 1; k < c.index.size(); ++k) flat = flat && byte(c.index[k]) == byte(c.index[0]);
  if (flat) return byte(c.index[0]);
  double sum = 0;
  for (size_t k = 0; k < c.index.size(); ++k) sum += c.weight[k] * byte(c.index[k]);
  const double r = sum > 0 ? std::trunc(sum + 0.5) : std::trunc(sum - 0.5);
  return uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
}

// Column by column: every source row into a temporary column, that column into the destination.
inline void ResizeFiltered(const Img& s, const Out& d, int64_t ch, int code) {
  const std::vector<Contrib> vert = ContribsOf(code, s.h, d.h);
  const std::vector<Contrib> horz = ContribsOf(code, s.w, d.w);
  std::vector<uint8_t> column(size_t(s.h * ch));
  for (int64_t i = 0; i < d.w; ++i) {
    for (int64_t y = 0; y < s.h; ++y) {
      for (int64_t c = 0; c < ch; ++c) {
        column[size_t(y * ch + c)] = Filter(horz[i], [&](int64_t x) { return s.at(y, x * ch + c); });
      }
    }
    for (int64_t j = 0; j < d.h; ++j) {
      for (int64_t c = 0; c < ch; ++c) {
        d.at(j, i * ch + c) = Filter(vert[j], [&](int64_t y) { return column[size_t(y * ch + c)]; });
      }
    }
  }
}

// ---- Nearest colour --------------------------------------------------------------------------------

// The nearest of the first count entries to components compared with entry bytes 0, 1, 2.
inline uint8_t Nearest(const ISPalEntry* pal, int count, int c0, int c1, int c2) {
  int best = 0x30000, index = 0;
  for (int i = 0; i < count; ++i) {
    const int d = (c0 - pal[i].blue) * (c0 - pal[i].blue) + (c1 - pal[i].green) * (c1 - pal[i].green) +
                  (c2 - pal[i].red) * (c2 - pal[i].red);
    if (d < best) {
      best = d;
      index = i;
    }
  }
  return uint8_t(index);
}

inline uint8_t Byte(const ISPalEntry& e, int k) { return k == 0 ? e.blue : k == 1 ? e.green : e.red; }

// ---- 8-bit and 1-bit resampling --------------------------------------------------------------------------

inline void ResizeBilinear8(const Img& s, const Out& d, const ISPalEntry* pal, int count) {
  ForBilinear(s.w, s.h, d.w, d.h,
              [&](int64_t r0, int64_t r1, int64_t x0, int64_t x1, double w00, double w01, double w10, double w11,
                  int64_t i, int64_t j) {
                int v[3];
                for (int k = 0; k < 3; ++k) {
                  v[k] = int32_t(w11 * Byte(pal[s.at(r1, x1)], k) + w10 * Byte(pal[s.at(r1, x0)], k) +
                                 w01 * Byte(pal[s.at(r0, x1)], k) + w00 * Byte(pal[s.at(r0, x0)], k));
                }
                d.at(j, i) = Nearest(pal, count, v[0], v[1], v[2]);
              });
}

inline void ResizeAreaAverage8(const Img& s, const Out& d, const ISPalEntry* pal, int count) {
  const double sx = double(s.w) / double(d.w), sy = double(s.h) / double(d.h);
  for (int64_t j = 0; j < d.h; ++j) {
    const RowWeights rw = RowsOf(j, sy, s.h);
    for (int64_t i = 0; i < d.w; ++i) {
      const Span sp = SpanOf(i, sx, s.w);
      const double k = sp.total * rw.cum[rw.n - 1];
      int v[3];
      for (int c = 0; c < 3; ++c) {
        const double sum = AreaSum(
            sp, rw, [&](int64_t y, int64_t x) { return Byte(pal[s.at(y, x)], c); }, true);
        v[c] = int32_t(sum * (1 / k));
      }
      d.at(j, i) = Nearest(pal, count, v[0], v[1], v[2]);
    }
  }
}

inline void Resize1Bit(const Img& s, const Out& d) {
  ForBilinear(s.w, s.h, d.w, d.h,
              [&](int64_t r0, int64_t r1, int64_t x0, int64_t x1, double w00, double w01, double w10, double w11,
                  int64_t i, int64_t j) {
                const double v =
                    w11 * Bit(s, r1, x1) + w10 * Bit(s, r1, x0) + w01 * Bit(s, r0, x1) + w00 * Bit(s, r0, x0);
                SetBit(d, j, i, v > 0.5);
              });
}

inline void Resize1BitThreshold(const Img& s, const Out& d, int threshold) {
  const double sx = double(s.w) / double(d.w), sy = double(s.h) / double(d.h);
  for (int64_t j = 0; j < d.h; ++j) {
    const RowWeights rw = RowsOf(j, sy, s.h);
    for (int64_t i = 0; i < d.w; ++i) {
      const Span sp = SpanOf(i, sx, s.w);
      double sum = 0;
      for (int64_t k = 0; k < rw.n; ++k) {
        for (int64_t x = sp.s; x < sp.e; ++x) {
          const double wx = x == sp.s ? sp.first : x == sp.e - 1 ? sp.last : 1;
          if (Bit(s, rw.v + k, x)) sum += rw.weight[k] * wx * 255;
        }
      }
      SetBit(d, j, i, threshold < int32_t(sum / (sp.total * rw.cum[rw.n - 1])));
    }
  }
}

// ---- Crop and conversion ------------------------------------------------------------------------------------

inline void Crop1Bit(const Img& s, const Out& d, int64_t l, int64_t t, int64_t w, int64_t h) {
  for (int64_t y = 0; y < h; ++y) {
    for (int64_t x = 0; x < w; ++x) SetBit(d, y, x, Bit(s, t + y, l + x));
  }
}

inline void UnpackBits(const uint8_t* in, int64_t pixels, int bits, uint8_t* out) {
  for (int64_t p = 0; p < pixels; ++p) {
    int v = 0;
    for (int b = 0; b < bits; ++b) {
      const int64_t bit = p * bits + b;
      v = (v << 1) | ((in[bit / 8] >> (7 - bit % 8)) & 1);
    }
    out[p] = uint8_t(v);
  }
}

// ---- Mapping to a palette -------------------------------------------------------------------------------------

// Serpentine walk, cache of nearest entries by top 5 bits of each component,
// Floyd-Steinberg in sixteenths (3/16 behind, 5/16 below, 1/16 ahead) or the
// half-error carry. Components are the pixel's red, green, blue.
inline void MapToPalette(const Img& s, int64_t step, const Out& d, const ISPalEntry* pal, int count, bool dither,
                         int level) {
  std::vector<int> cache(32768, -1);
  std::vector<std::vector<int>> err(size_t(s.h + 1), std::vector<int>(size_t((s.w + 2) * 3), 0));
  for (int64_t y = 0; y < s.h; ++y) {
    const int64_t dir = y % 2 == 0 ? 1 : -1;
    int carry[3] = {0, 0, 0};
    for (int64_t n = 0; n < s.w; ++n) {
      const int64_t x = dir == 1 ? n : s.w - 1 - n;
      int v[3];
      for (int k = 0; k < 3; ++k) {
        const int add = dither ? (err[y][size_t((x + 1) * 3 + k)] + 8) / 16 : carry[k];
        v[k] = std::min(255, std::max(0, int(s.at(y, x * step + k)) + add));
      }
      const int key = ((v[0] >> 3) << 10) | ((v[1] >> 3) << 5) | (v[2] >> 3);
      if (cache[key] < 0) cache[key] = Nearest(pal, count, v[2], v[1], v[0]);
      d.at(y, x) = uint8_t(cache[key]);
      const ISPalEntry& e = pal[cache[key]];
      const int chosen[3] = {e.red, e.green, e.blue};
      for (int k = 0; k < 3; ++k) {
        const int e16 = std::min(level, std::max(-level, v[k] - chosen[k]));
        if (dither) {
          err[y][size_t((x + 1 + dir) * 3 + k)] += 7 * e16;
          err[y + 1][size_t((x + 1 - dir) * 3 + k)] += 3 * e16;
          err[y + 1][size_t((x + 1) * 3 + k)] += 5 * e16;
          err[y + 1][size_t((x + 1 + dir) * 3 + k)] += 1 * e16;
        } else {
          carry[k] = e16 / 2;
        }
      }
    }
  }
}

}  // namespace qv::test::ref
