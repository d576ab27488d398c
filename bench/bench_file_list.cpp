// The picture file list over a tree of 100,000 picture files in 1,000 folders:
// the scan alone, the whole rebuild, a baseline walk of the same tree with
// std::filesystem applying the same filter, and random entry reads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "library/show_app.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTopFolders = 20;
constexpr int kSubFolders = 50;          // 20 x 50 = 1,000 picture folders
constexpr int kPicturesPerFolder = 100;  // 100,000 pictures
constexpr int kOthersPerFolder = 5;      // files the filter must refuse

const fs::path& TreeRoot() {
  static const fs::path root = [] {
    const fs::path base = fs::temp_directory_path() / "quadrivue-bench-tree";
    const fs::path marker = base / ".complete";
    if (fs::exists(marker)) return base;
    fs::remove_all(base);
    static constexpr std::array<const char*, 7> kExt{".jpg", ".PNG", ".bmp", ".tga", ".psd", ".Tif", ".pcx"};
    static constexpr std::array<const char*, 3> kOther{".txt", ".jpeg", ".gif"};
    for (int t = 0; t < kTopFolders; ++t) {
      for (int s = 0; s < kSubFolders; ++s) {
        const fs::path dir = base / ("album" + std::to_string(t)) / ("roll" + std::to_string(s));
        fs::create_directories(dir);
        for (int i = 0; i < kPicturesPerFolder; ++i)
          std::ofstream(dir / ("picture_" + std::to_string(i) + kExt[static_cast<size_t>(i) % kExt.size()]));
        for (int i = 0; i < kOthersPerFolder; ++i)
          std::ofstream(dir / ("note_" + std::to_string(i) + kOther[static_cast<size_t>(i) % kOther.size()]));
      }
    }
    std::ofstream(marker).put('1');
    return base;
  }();
  return root;
}

std::string IndexPath() { return (fs::temp_directory_path() / "quadrivue-bench-filelist.idx").string(); }

void BM_ScanFolder(benchmark::State& state) {
  const std::string root = TreeRoot().string();
  qv::CShowApp app(std::string(), IndexPath());
  for (auto _ : state) {
    app.m_arrFiles.clear();
    app.ScanFolder(root, nullptr);
    benchmark::DoNotOptimize(app.m_arrFiles.data());
  }
  state.counters["files"] = static_cast<double>(app.m_arrFiles.size());
}

void BM_RebuildFileList(benchmark::State& state) {
  qv::CShowApp app(std::string(), IndexPath());
  app.m_arrFolders = {TreeRoot().string()};
  for (auto _ : state) benchmark::DoNotOptimize(app.RebuildFileList(nullptr));
  state.counters["files"] = static_cast<double>(app.GetFileCount());
}

// The same walk and filter with the standard library alone.
void BM_BaselineRecursiveIterator(benchmark::State& state) {
  static constexpr std::array<std::string_view, 7> kExt{".jpg", ".psd", ".png", ".bmp", ".pcx", ".tif", ".tga"};
  std::vector<std::string> files;
  for (auto _ : state) {
    files.clear();
    for (const auto& entry : fs::recursive_directory_iterator(TreeRoot())) {
      if (entry.is_directory()) continue;
      std::string path = entry.path().string();
      std::string tail = path.size() < 4 ? path : path.substr(path.size() - 4);
      std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
      if (std::find(kExt.begin(), kExt.end(), tail) != kExt.end()) files.push_back(std::move(path));
    }
    benchmark::DoNotOptimize(files.data());
  }
  state.counters["files"] = static_cast<double>(files.size());
}

void BM_GetFileAt10000(benchmark::State& state) {
  qv::CShowApp app(std::string(), IndexPath());
  app.m_arrFolders = {TreeRoot().string()};
  app.RebuildFileList(nullptr);
  const int32_t count = app.GetFileCount();
  std::mt19937 rng(42);
  std::uniform_int_distribution<int32_t> pick(0, count - 1);
  std::vector<int32_t> indices(10000);
  for (auto& i : indices) i = pick(rng);
  for (auto _ : state) {
    for (const int32_t i : indices) benchmark::DoNotOptimize(app.GetFileAt(i));
  }
  state.counters["seconds_per_call"] = benchmark::Counter(
      static_cast<double>(indices.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_BaselineRecursiveIterator)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScanFolder)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RebuildFileList)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GetFileAt10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Make the tree and warm the directory caches before anything is timed.
  for (const auto& entry : fs::recursive_directory_iterator(TreeRoot())) benchmark::DoNotOptimize(&entry);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
