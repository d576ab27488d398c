// frame and pick: the slide decisions.
#include <cstdio>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "library/show_settings.h"
#include "show/slide_choice.h"

namespace qv::cli {

namespace {
constexpr int64_t kMin32 = INT32_MIN;
constexpr int64_t kMax32 = INT32_MAX;
}  // namespace

int CmdFrame(const Words& words) {
  const CArgs args(words, {});
  if (!args.Ok() || !args.OnlyKnown({"fit", "smart-crop"}) || args.Positional().size() != 4) return Usage();
  int64_t v[4];
  for (int i = 0; i < 4; ++i) {
    const auto parsed = ParseInt(args.Positional()[static_cast<size_t>(i)], kMin32, kMax32);
    if (!parsed) return Usage();
    v[i] = *parsed;
  }
  int64_t fit = 0, smart = 0;
  if (!IntOption(args, "fit", kMin32, kMax32, 1, fit) || !IntOption(args, "smart-crop", 0, 1, 1, smart)) return Usage();
  const FramingResult f =
      ComputeFraming(static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2]),
                     static_cast<int32_t>(v[3]), static_cast<int32_t>(fit), static_cast<int32_t>(smart));
  if (f.bCrop) {
    std::printf("size %d %d crop %d %d %d %d\n", f.nWidth, f.nHeight, f.nLeft, f.nTop, f.nRight, f.nBottom);
  } else {
    std::printf("size %d %d nocrop\n", f.nWidth, f.nHeight);
  }
  return 0;
}

int CmdPick(const Words& words) {
  const CArgs args(words, {"random", "no-repeats"});
  if (!args.Ok() || !args.OnlyKnown({"count", "random", "no-repeats", "seed", "counter", "draws"}) ||
      !args.Positional().empty() || !args.Has("count"))
    return Usage();
  const bool random = args.Has("random");
  if (random ? args.Has("counter") : (args.Has("seed") || args.Has("no-repeats"))) return Usage();
  int64_t count = 0, seed = 0, counter = 0, draws = 0;
  if (!IntOption(args, "count", 0, kMax32, 0, count) || !IntOption(args, "seed", 0, UINT32_MAX, 0, seed) ||
      !IntOption(args, "counter", kMin32, kMax32, 0, counter) || !IntOption(args, "draws", 0, 10000000, 1, draws))
    return Usage();

  CShowSettings settings;
  settings.m_bRandom = random ? 1 : 0;
  settings.m_nCounter = static_cast<int32_t>(counter);
  if (random) SeedRandom(static_cast<uint32_t>(seed));
  // Without repeats the seed is that of the first permutation.
  CShuffleOrder order(static_cast<uint32_t>(seed));
  CShuffleOrder* noRepeats = args.Has("no-repeats") ? &order : nullptr;
  for (int64_t i = 0; i < draws; ++i)
    std::printf("%d\n", PickNextIndex(settings, static_cast<int32_t>(count), noRepeats));
  return 0;
}

}  // namespace qv::cli
