// load and render: the image holder and the slide as the show prepares it.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_ppm.h"
#include "show/show_image.h"
#include "show/slide_preparation.h"

namespace qv::cli {

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
  const auto x = text.find('x');
  if (x == std::string::npos) return false;
  const auto w = ParseInt(text.substr(0, x), 1, 65535);
  const auto h = ParseInt(text.substr(x + 1), 1, 65535);
  if (!w || !h) return false;
  width = static_cast<int32_t>(*w);
  height = static_cast<int32_t>(*h);
  return true;
}

}  // namespace

int CmdLoad(const Words& words) {
  const CArgs args(words, {});
  int64_t autoRotate = 1;
  if (!args.Ok() || !args.OnlyKnown({"auto-rotate"}) || args.Positional().size() != 2 ||
      !IntOption(args, "auto-rotate", 0, 1, 1, autoRotate))
    return Usage();
  const std::string& in = args.Positional()[0];
  const std::string& out = args.Positional()[1];
  CShowImage image;
  image.m_bAutoRotate = static_cast<uint8_t>(autoRotate);
  const int32_t result = image.Load(in, kTypeNone, 0);
  if (image.IsEmpty())
    return Fail("load failed with error " + std::to_string(result) + " (" + ISErrorName(result) + ")");
  if (!WritePicture(out, image.GetBits(), image.m_nWidth, image.m_nHeight, 24, nullptr))
    return Fail("cannot write " + out);
  std::printf("type %d size %d %d\n", image.m_nType, image.m_nWidth, image.m_nHeight);
  return 0;
}

int CmdRender(const Words& words) {
  const CArgs args(words, {});
  if (!args.Ok() ||
      !args.OnlyKnown({"size", "fit", "smart-crop", "min-width", "ignore-small", "auto-rotate", "match-shape"}) ||
      args.Positional().size() != 2 || !args.Has("size"))
    return Usage();
  int32_t width = 0, height = 0;
  if (!ParseSize(*args.Value("size"), width, height)) return Usage();
  const std::string& in = args.Positional()[0];
  const std::string& out = args.Positional()[1];
  const bool asBmp = EndsWith(out, ".bmp") || EndsWith(out, ".BMP");
  if (!asBmp && !EndsWith(out, ".ppm") && !EndsWith(out, ".PPM")) return Usage();

  CShowSettings settings;
  int64_t fit = 0, smart = 0, minWidth = 0, ignoreSmall = 0, autoRotate = 1, matchShape = 0;
  if (!IntOption(args, "fit", INT32_MIN, INT32_MAX, settings.m_nFitMode, fit) ||
      !IntOption(args, "auto-rotate", 0, 1, 1, autoRotate) ||
      !IntOption(args, "smart-crop", 0, 1, settings.m_bSmartCrop, smart) ||
      !IntOption(args, "min-width", 0, UINT32_MAX, settings.m_nMinWidth, minWidth) ||
      !IntOption(args, "ignore-small", 0, 1, settings.m_bIgnoreSmall, ignoreSmall) ||
      !IntOption(args, "match-shape", 0, 1, 0, matchShape))
    return Usage();
  settings.m_bMatchShape = static_cast<int32_t>(matchShape);
  settings.m_nFitMode = static_cast<int32_t>(fit);
  settings.m_bSmartCrop = static_cast<int32_t>(smart);
  settings.m_nMinWidth = static_cast<int32_t>(static_cast<uint32_t>(minWidth));
  settings.m_bIgnoreSmall = static_cast<int32_t>(ignoreSmall);
  settings.m_bAutoRotate = static_cast<int32_t>(autoRotate);

  CShowImage image;
  const CSlidePreparation prep = PrepareSlide(image, in, settings, width, height);
  switch (prep.outcome) {
    case ESlideOutcome::kTooNarrow:
      std::printf("skipped narrow %d\n", prep.nPictureWidth);
      return 1;
    case ESlideOutcome::kWrongShape:
      std::printf("skipped shape %d %d\n", prep.nPictureWidth, prep.nPictureHeight);
      return 1;
    case ESlideOutcome::kNoFile:
    case ESlideOutcome::kUndecodable:
      std::printf("skipped undecodable\n");
      return 1;
    case ESlideOutcome::kReady:
      break;
  }
  // A slide that covers the window exactly is written as it stands.
  std::vector<uint8_t> canvas;
  const uint8_t* pixels = image.GetBits();
  if (image.m_nWidth != width || image.m_nHeight != height) {
    canvas = PaintOnBlack(image.GetBits(), image.m_nWidth, image.m_nHeight, width, height);
    pixels = canvas.data();
  }
  const bool written =
      asBmp ? WriteBmp24(out, pixels, width, height) : WritePicture(out, pixels, width, height, 24, nullptr);
  if (!written) return Fail("cannot write " + out);

  const FramingResult& f = prep.framing;
  const CPlacement at = CentredPlacement(image.m_nWidth, image.m_nHeight, width, height);
  std::printf("type %d picture %d %d scaled %d %d ", image.m_nType, prep.nPictureWidth, prep.nPictureHeight, f.nWidth,
              f.nHeight);
  if (f.bCrop) {
    std::printf("crop %d %d %d %d ", f.nLeft, f.nTop, f.nRight, f.nBottom);
  } else {
    std::printf("nocrop ");
  }
  std::printf("bitmap %d %d at %d %d\n", image.m_nWidth, image.m_nHeight, at.x, at.y);
  return 0;
}

}  // namespace qv::cli
