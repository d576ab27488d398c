// Slide preparation of a 6000 x 4000 picture onto 1920 x 1080 and 3840 x 2160
// windows, with the decode alone as baseline in the same run: a 24-bit BMP, a
// PNG, TGA (raw and run-length), PSD (PackBits) and PCX pictures, every one's
// rows folded into the area average as they are decoded.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_rows.h"
#include "codec/codec.h"
#include "codec/png.h"
#include "platform/global_memory.h"
#include "show/slide_preparation.h"
#include "support/raster_files.h"

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

// The same gradient as a PNG (compression level 6), written once per machine.
const std::string& PngPath() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "quadrivue-bench-6000x4000.png").string();
    std::error_code ec;
    if (std::filesystem::exists(p, ec) && std::filesystem::file_size(p, ec) > 0) return p;
    const std::string partial = p + ".part";
    FILE* f = std::fopen(partial.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(kWidth) * 3);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        row[size_t(x) * 3] = static_cast<uint8_t>(y * 255 / kHeight);
        row[size_t(x) * 3 + 1] = static_cast<uint8_t>((x ^ y) & 0xFF);
        row[size_t(x) * 3 + 2] = static_cast<uint8_t>(x * 255 / kWidth);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    std::filesystem::rename(partial, p, ec);
    return p;
  }();
  return path;
}

// The same gradient in the formats written by the test writers, once per machine.
const std::string& RasterPath(const char* name, qv::test::raster::Bytes (*write)(const qv::test::raster::Bytes&)) {
  static std::vector<std::pair<std::string, std::string>> made;
  for (const auto& [n, p] : made) {
    if (n == name) return p;
  }
  const std::string p =
      (std::filesystem::temp_directory_path() / (std::string("quadrivue-bench-6000x4000.") + name)).string();
  std::error_code ec;
  if (!std::filesystem::exists(p, ec) || std::filesystem::file_size(p, ec) == 0) {
    qv::test::raster::Bytes rgb(size_t(kWidth) * kHeight * 3);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) {
        uint8_t* px = rgb.data() + (size_t(y) * kWidth + x) * 3;
        px[0] = static_cast<uint8_t>(x * 255 / kWidth);
        px[1] = static_cast<uint8_t>((x / 8 ^ y / 8) & 0xFF);
        px[2] = static_cast<uint8_t>(y * 255 / kHeight);
      }
    }
    const qv::test::raster::Bytes file = write(rgb);
    const std::string partial = p + ".part";
    FILE* f = std::fopen(partial.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    std::filesystem::rename(partial, p, ec);
  }
  made.emplace_back(name, p);
  return made.back().second;
}

using qv::test::raster::Bytes;
const std::string& TgaPath() {
  return RasterPath("tga", [](const Bytes& rgb) { return qv::test::raster::Tga(kWidth, kHeight, rgb, false); });
}
const std::string& TgaRlePath() {
  return RasterPath("rle.tga", [](const Bytes& rgb) { return qv::test::raster::Tga(kWidth, kHeight, rgb, true); });
}
const std::string& PsdPath() {
  return RasterPath("psd", [](const Bytes& rgb) { return qv::test::raster::Psd(kWidth, kHeight, rgb, true); });
}
const std::string& PcxPath() {
  return RasterPath("pcx", [](const Bytes& rgb) { return qv::test::raster::Pcx(kWidth, kHeight, rgb); });
}

// The reader's 24-bit read of the whole picture, the decode without a slide.
template <uint8_t* (*Read)(HISSRC, int32_t*, int32_t*, int32_t, ISPalEntry*, uint32_t)>
void DecodeAlone(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    HISSRC source = ISOpenFileSource(path.c_str());
    int32_t w = 0, h = 0;
    uint8_t* bits = Read(source, &w, &h, 24, nullptr, 0);
    if (!bits) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(bits);
    qv::GlobalMemFree(bits);
    ISCloseSource(source);
  }
}

void BM_DecodePngAlone(benchmark::State& state) {
  qv::bench::CDiscardRows discard;  // the decode alone
  for (auto _ : state) {
    HISSRC source = ISOpenFileSource(PngPath().c_str());
    if (!ISReadPNGRows(source, &discard)) state.SkipWithError("read failed");
    ISCloseSource(source);
  }
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

void PrepareSlide(benchmark::State& state, const std::string& path) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  qv::CShowSettings settings;
  qv::CShowImage image;
  for (auto _ : state) {
    const auto prep = qv::PrepareSlide(image, path, settings, width, height);
    benchmark::DoNotOptimize(image.GetBits());
    if (prep.outcome != qv::ESlideOutcome::kReady) state.SkipWithError("slide not prepared");
    image.Free();
  }
}

void BM_PrepareSlideBmp(benchmark::State& state) { PrepareSlide(state, PicturePath()); }
void BM_PrepareSlidePng(benchmark::State& state) { PrepareSlide(state, PngPath()); }
void BM_DecodeTgaAlone(benchmark::State& state) { DecodeAlone<ISReadTGA>(state, TgaPath()); }
void BM_PrepareSlideTga(benchmark::State& state) { PrepareSlide(state, TgaPath()); }
void BM_DecodeTgaRleAlone(benchmark::State& state) { DecodeAlone<ISReadTGA>(state, TgaRlePath()); }
void BM_PrepareSlideTgaRle(benchmark::State& state) { PrepareSlide(state, TgaRlePath()); }
void BM_DecodePsdAlone(benchmark::State& state) { DecodeAlone<ISReadPSD>(state, PsdPath()); }
void BM_PrepareSlidePsd(benchmark::State& state) { PrepareSlide(state, PsdPath()); }
void BM_DecodePcxAlone(benchmark::State& state) { DecodeAlone<ISReadPCX>(state, PcxPath()); }
void BM_PrepareSlidePcx(benchmark::State& state) { PrepareSlide(state, PcxPath()); }

}  // namespace

BENCHMARK(BM_DecodeBmpAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareSlideBmp)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePngAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareSlidePng)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareSlideTga)->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTgaRleAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareSlideTgaRle)->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePsdAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareSlidePsd)->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePcxAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareSlidePcx)->Args({1920, 1080})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PicturePath();
  PngPath();
  TgaPath();
  TgaRlePath();
  PsdPath();
  PcxPath();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
