// Slide preparation of a 6000 x 4000 24-bit BMP (load, framing, resize, crop)
// onto 1920 x 1080 and 3840 x 2160 windows, with the decode alone as baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "platform/global_memory.h"
#include "show/slide_preparation.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A photo-like gradient, written once per machine into the temporary folder.
const std::string& PicturePath() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "quadrivue-bench-6000x4000.bmp").string();
    const uint32_t rowBytes = kWidth * 3;
    const uint64_t want = 54 + uint64_t(rowBytes) * kHeight;
    std::error_code ec;
    if (std::filesystem::exists(p, ec) && std::filesystem::file_size(p, ec) == want) return p;
    std::vector<uint8_t> header = {'B', 'M'};
    PutU32(header, static_cast<uint32_t>(want));
    PutU32(header, 0);
    PutU32(header, 54);
    PutU32(header, 40);
    PutU32(header, kWidth);
    PutU32(header, kHeight);
    header.insert(header.end(), {1, 0, 24, 0});
    for (int i = 0; i < 6; ++i) PutU32(header, 0);
    FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(header.data(), 1, header.size(), f);
    std::vector<uint8_t> row(rowBytes);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        row[size_t(x) * 3] = static_cast<uint8_t>(x * 255 / kWidth);
        row[size_t(x) * 3 + 1] = static_cast<uint8_t>((x ^ y) & 0xFF);
        row[size_t(x) * 3 + 2] = static_cast<uint8_t>(y * 255 / kHeight);
      }
      std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
    return p;
  }();
  return path;
}

void BM_DecodeBmpAlone(benchmark::State& state) {
  for (auto _ : state) {
    HISSRC source = ISOpenFileSource(PicturePath().c_str());
    int32_t w = 0, h = 0;
    uint8_t* bits = ISReadBMP(source, &w, &h, 24, nullptr, 0);
    benchmark::DoNotOptimize(bits);
    qv::GlobalMemFree(bits);
    ISCloseSource(source);
  }
}

void BM_PrepareSlide(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  qv::CShowSettings settings;
  qv::CShowImage image;
  for (auto _ : state) {
    const auto prep = qv::PrepareSlide(image, PicturePath(), settings, width, height);
    benchmark::DoNotOptimize(image.GetBits());
    if (prep.outcome != qv::ESlideOutcome::kReady) state.SkipWithError("slide not prepared");
    image.Free();
  }
}

}  // namespace

BENCHMARK(BM_DecodeBmpAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareSlide)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PicturePath();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
