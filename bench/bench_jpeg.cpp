// ISReadJPG at 24 bits, its row-by-row form, and the slide preparation (rows
// folded into the area average as they are decoded, crop) of a 6000 x 4000
// photo-like JPEG (quality 90, 4:2:0) onto 1920 x 1080 and 3840 x 2160, each
// against the floors measured in the same run: a minimal libjpeg loop that
// decodes into one row (the decode alone), and one that, like ISReadJPG,
// allocates a whole-picture buffer on every call.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_rows.h"
#include "codec/jpeg.h"
#include "platform/global_memory.h"
#include "show/slide_preparation.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth shapes with fine texture and a little noise, like a photograph.
void PhotoRow(int y, std::vector<uint8_t>& row, uint32_t& noise) {
  for (int x = 0; x < kWidth; ++x) {
    const double u = x / double(kWidth), v = y / double(kHeight);
    const double sky = 0.5 + 0.5 * std::sin(6.0 * u + 3.0 * v) * std::cos(4.0 * v - 2.0 * u);
    const double texture = 0.5 + 0.5 * std::sin(x * 0.21 + std::sin(y * 0.05) * 3.0) * std::sin(y * 0.17);
    const double level[3] = {200 * sky + 40 * texture, 150 * sky + 70 * texture * v, 90 + 120 * (1 - v) * texture};
    for (int c = 0; c < 3; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double value = level[c] + static_cast<int>(noise >> 28) - 8;
      row[size_t(x) * 3 + c] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
  }
}

// Written once per machine into the temporary folder.
const std::string& PicturePath() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "quadrivue-bench-6000x4000-q90.jpg").string();
    std::error_code ec;
    if (std::filesystem::exists(p, ec) && std::filesystem::file_size(p, ec) > 0) return p;
    const std::string partial = p + ".part";
    FILE* file = std::fopen(partial.c_str(), "wb");
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);  // 4:2:0
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(kWidth) * 3);
    uint32_t noise = 1;
    while (cinfo.next_scanline < cinfo.image_height) {
      PhotoRow(static_cast<int>(cinfo.next_scanline), row, noise);
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
    std::filesystem::rename(partial, p, ec);
    return p;
  }();
  return path;
}

// A minimal libjpeg decode: every scanline into one row (the decode alone),
// or into a whole-picture buffer allocated on every call.
void LibjpegDecode(benchmark::State& state, bool wholePicture) {
  for (auto _ : state) {
    FILE* file = std::fopen(PicturePath().c_str(), "rb");
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t{cinfo.output_width} * cinfo.output_components;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[wholePicture ? stride * cinfo.output_height : stride]);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = pixels.get() + (wholePicture ? cinfo.output_scanline * stride : 0);
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    benchmark::DoNotOptimize(pixels.get());
  }
}

void BM_LibjpegRowsFloor(benchmark::State& state) { LibjpegDecode(state, false); }
void BM_LibjpegDecodeFloor(benchmark::State& state) { LibjpegDecode(state, true); }

void BM_ISReadJPG24(benchmark::State& state) {
  for (auto _ : state) {
    HISSRC source = ISOpenFileSource(PicturePath().c_str());
    int32_t w = 0, h = 0;
    uint8_t* pixels = ISReadJPG(source, &w, &h, 24, 0);
    if (!pixels || ISGetLastError() != IS_ERR_OK) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(pixels);
    qv::GlobalMemFree(pixels);
    ISCloseSource(source);
  }
}

// The reader's row-by-row form with the rows thrown away.
void BM_ISReadJPGRows(benchmark::State& state) {
  qv::bench::CDiscardRows discard;
  for (auto _ : state) {
    HISSRC source = ISOpenFileSource(PicturePath().c_str());
    if (!ISReadJPGRows(source, &discard) || ISGetLastError() != IS_ERR_OK) state.SkipWithError("read failed");
    ISCloseSource(source);
  }
}

void BM_PrepareSlideJpeg(benchmark::State& state) {
  qv::CShowSettings settings;  // zoom to fill, smart crop
  qv::CShowImage image;
  const auto width = static_cast<int32_t>(state.range(0));
  const auto height = static_cast<int32_t>(state.range(1));
  for (auto _ : state) {
    const auto prep = qv::PrepareSlide(image, PicturePath(), settings, width, height);
    benchmark::DoNotOptimize(image.GetBits());
    if (prep.outcome != qv::ESlideOutcome::kReady) state.SkipWithError("slide not prepared");
    image.Free();
  }
}

}  // namespace

// A picture passed over for its shape (landscape on a portrait window): the
// header read that decides it, against the decode it spares.
void BM_SkipSlideForShape(benchmark::State& state) {
  qv::CShowSettings settings;
  settings.m_bMatchShape = 1;
  qv::CShowImage image;
  for (auto _ : state) {
    const auto prep = qv::PrepareSlide(image, PicturePath(), settings, 1080, 1920);
    if (prep.outcome != qv::ESlideOutcome::kWrongShape) state.SkipWithError("picture not passed over");
  }
}

BENCHMARK(BM_LibjpegRowsFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LibjpegDecodeFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ISReadJPG24)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ISReadJPGRows)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PrepareSlideJpeg)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SkipSlideForShape)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK_MAIN();
