// The show's two resampling paths at photo sizes, each beside two baselines
// measured in the same run: the literal per-pixel form the tests compare
// with, and a copy of the source into a warm destination (the memory floor).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "../tests/codec/ops/reference_ops.h"
#include "codec/ops/ops.h"

namespace {

struct CPicture {
  int32_t width, height;
  std::vector<uint8_t> bits;
};

const CPicture& Photo(int32_t width, int32_t height) {
  static std::vector<CPicture> made;
  for (const CPicture& p : made) {
    if (p.width == width && p.height == height) return p;
  }
  CPicture p{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
  // Smooth gradients with noise, like a photograph rather than white noise.
  std::mt19937 rng(12345);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* px = &p.bits[(size_t(y) * width + x) * 3];
      px[0] = uint8_t((x * 255 / width + rng() % 16) & 0xFF);
      px[1] = uint8_t((y * 255 / height + rng() % 16) & 0xFF);
      px[2] = uint8_t(((x + y) * 127 / (width + height) + rng() % 32) & 0xFF);
    }
  }
  made.push_back(std::move(p));
  return made.back();
}

enum class Kind { kLibrary, kLiteral, kMemcpy };

void Resize(benchmark::State& state, bool area, int32_t sw, int32_t sh, int32_t dw, int32_t dh, Kind kind) {
  const CPicture& src = Photo(sw, sh);
  std::vector<uint8_t> dst(kind == Kind::kMemcpy ? src.bits.size() : size_t(dw) * dh * 3, 1);
  const qv::test::ref::Img in{src.bits.data(), sw, sh, int64_t(sw) * 3};
  const qv::test::ref::Out out{dst.data(), dw, dh, int64_t(dw) * 3};
  for (auto _ : state) {
    switch (kind) {
      case Kind::kLibrary:
        if (area) {
          ISResizeAreaAverage(src.bits.data(), sw, sh, sw * 3, dst.data(), dw, dh, dw * 3, 3, 1);
        } else {
          ISResizeBilinear(src.bits.data(), sw, sh, sw * 3, dst.data(), dw, dh, dw * 3, 3);
        }
        break;
      case Kind::kLiteral:
        if (area) {
          qv::test::ref::ResizeAreaExact(in, out, 3);
        } else {
          qv::test::ref::ResizeBilinear(in, out, 3);
        }
        break;
      case Kind::kMemcpy:
        std::memcpy(dst.data(), src.bits.data(), src.bits.size());
        break;
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
}

#define QV_RESIZE_BENCH(name, area, sw, sh, dw, dh)                                                               \
  BENCHMARK_CAPTURE(Resize, name##_library, area, sw, sh, dw, dh, Kind::kLibrary)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(Resize, name##_literal, area, sw, sh, dw, dh, Kind::kLiteral)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(Resize, name##_memcpy, area, sw, sh, dw, dh, Kind::kMemcpy)->Unit(benchmark::kMillisecond)

QV_RESIZE_BENCH(area_6000x4000_to_1920x1280, true, 6000, 4000, 1920, 1280);
QV_RESIZE_BENCH(area_6000x4000_to_3840x2560, true, 6000, 4000, 3840, 2560);
QV_RESIZE_BENCH(bilinear_1920x1080_to_3840x2160, false, 1920, 1080, 3840, 2160);
// A scale factor with a long binary fraction: the area average's double path.
QV_RESIZE_BENCH(area_6000x4000_to_1917x1279, true, 6000, 4000, 1917, 1279);

}  // namespace

BENCHMARK_MAIN();
