// The image-operation subcommands: resize and quantize on 24-bit PPM pictures.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_ppm.h"
#include "codec/ops/ops.h"

namespace qv::cli {

namespace {

// Largest picture the tool makes: the codec's own buffer limit.
constexpr uint64_t kMaxPictureBytes = 0x7FFDEFFE;

// "WxH" with both sides 1 or more.
bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  const auto w = ParseInt(text.substr(0, x), 1, INT32_MAX);
  const auto h = ParseInt(text.substr(x + 1), 1, INT32_MAX);
  if (!w || !h) return false;
  width = int32_t(*w);
  height = int32_t(*h);
  return true;
}

// A resampling operation on 3-channel pictures; filter holds the kernel of "filter:K".
struct CResizeChoice {
  enum Kind { kBilinear, kArea, kBlock, kNearest, kBicubic, kFiltered } kind = kBilinear;
  int32_t filter = 0;
};

bool ParseOp(const std::string& text, CResizeChoice& choice) {
  static const std::pair<const char*, CResizeChoice::Kind> kNames[] = {
      {"bilinear", CResizeChoice::kBilinear}, {"area", CResizeChoice::kArea},       {"block", CResizeChoice::kBlock},
      {"nearest", CResizeChoice::kNearest},   {"bicubic", CResizeChoice::kBicubic},
  };
  for (const auto& [name, kind] : kNames) {
    if (text == name) {
      choice.kind = kind;
      return true;
    }
  }
  const std::string prefix = "filter:";
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  const auto code = ParseInt(text.substr(prefix.size()), 0, IS_FILTER_COUNT - 1);
  if (!code) return false;
  choice.kind = CResizeChoice::kFiltered;
  choice.filter = int32_t(*code);
  return true;
}

int32_t RunResize(const CResizeChoice& choice, const CPpmImage& in, uint8_t* out, int32_t w, int32_t h) {
  const uint8_t* s = in.pixels.data();
  const int32_t sw = in.width, sh = in.height, ss = in.width * 3, ds = w * 3;
  switch (choice.kind) {
    case CResizeChoice::kBilinear:
      return ISResizeBilinear(s, sw, sh, ss, out, w, h, ds, 3);
    case CResizeChoice::kArea:
      return ISResizeAreaAverage(s, sw, sh, ss, out, w, h, ds, 3, 1);
    case CResizeChoice::kBlock:
      return ISResizeAreaAverage(s, sw, sh, ss, out, w, h, ds, 3, 0);
    case CResizeChoice::kNearest:
      return ISResizeNearest(s, sw, sh, ss, out, w, h, ds, 3);
    case CResizeChoice::kBicubic:
      return ISResizeBicubic(s, sw, sh, ss, out, w, h, ds, 3);
    case CResizeChoice::kFiltered:
      return ISResizeFiltered(s, sw, sh, ss, out, w, h, ds, 3, choice.filter);
  }
  return 0;
}

bool ReadInput(const std::string& path, CPpmImage& image, std::string& failure) {
  std::string problem;
  if (ReadPpm(path, image, problem)) return true;
  failure = "cannot read " + path + ": " + problem;
  return false;
}

}  // namespace

int CmdResize(const Words& words) {
  const CArgs args(words, {});
  int32_t width = 0, height = 0;
  CResizeChoice choice;
  const auto size = args.Value("size");
  const auto op = args.Value("op");
  if (!args.Ok() || !args.OnlyKnown({"size", "op"}) || args.Positional().size() != 2 || !size || !op ||
      !ParseSize(*size, width, height) || !ParseOp(*op, choice)) {
    return Usage();
  }
  const std::string& inPath = args.Positional()[0];
  const std::string& outPath = args.Positional()[1];
  CPpmImage in;
  std::string failure;
  if (!ReadInput(inPath, in, failure)) return Fail(failure);
  const uint64_t bytes = uint64_t(width) * uint64_t(height) * 3;
  if (bytes > kMaxPictureBytes) return Fail("a " + *size + " picture is too large");
  std::vector<uint8_t> out(static_cast<size_t>(bytes));
  RunResize(choice, in, out.data(), width, height);
  const int32_t error = ISGetLastError();
  std::printf("size %d %d error %d\n", width, height, error);
  if (error != IS_ERR_OK)
    return Fail("resizing " + inPath + " failed with error " + std::to_string(error) + " (" + ISErrorName(error) + ")");
  if (!WritePicture(outPath, out.data(), width, height, 24, nullptr)) return Fail("cannot write " + outPath);
  return 0;
}

int CmdQuantize(const Words& words) {
  const CArgs args(words, {"octree"});
  int64_t colours = 0, dither = 1, level = 20;
  if (!args.Ok() || !args.OnlyKnown({"colors", "dither", "level", "octree"}) || args.Positional().size() != 2 ||
      !args.Has("colors") || !IntOption(args, "colors", INT32_MIN, INT32_MAX, 256, colours) ||
      !IntOption(args, "dither", 0, 1, 1, dither) || !IntOption(args, "level", 0, 255, 20, level)) {
    return Usage();
  }
  const std::string& inPath = args.Positional()[0];
  const std::string& outPath = args.Positional()[1];
  CPpmImage in;
  std::string failure;
  if (!ReadInput(inPath, in, failure)) return Fail(failure);
  std::vector<uint8_t> indices(size_t(in.width) * size_t(in.height));
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
  int32_t built = 0;
  const uint32_t flags = args.Has("octree") ? IS_QUANT_OCTREE : 0;
  ISQuantizeRGB(in.pixels.data(), in.width, in.height, in.width * 3, indices.data(), in.width, int32_t(colours),
                palette, int32_t(dither), int32_t(level), flags, &built);
  const int32_t error = ISGetLastError();
  std::printf("colors %d error %d\n", built, error);
  if (error != IS_ERR_OK)
    return Fail("quantizing " + inPath + " failed with error " + std::to_string(error) + " (" + ISErrorName(error) +
                ")");
  if (!WritePicture(outPath, indices.data(), in.width, in.height, 8, palette)) return Fail("cannot write " + outPath);
  return 0;
}

}  // namespace qv::cli
