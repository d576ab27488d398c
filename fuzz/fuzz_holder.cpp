// Image holder: any bytes as a picture file, through the whole slide path:
// detection, the read, the conversion to 24 bits, then the framing, resize
// and crop for a small window, and the painting of the result.
//
// The first input byte names the file and the framing: byte % 9 picks the
// extension (detection falls back on it), byte / 9 % 4 the fit mode and
// smart crop. The rest of the input is the file.
#include <iterator>

#include "fuzz_codec_source.h"
#include "show/show_image.h"
#include "show/slide_choice.h"
#include "show/slide_preparation.h"

namespace {

constexpr const char* kExtensions[] = {".bmp", ".jpg", ".png", ".tif", ".tga", ".pcx", ".psd", ".wbmp", ".pcd"};
constexpr int32_t kWindowWidth = 64;
constexpr int32_t kWindowHeight = 48;
// The framing scales the whole picture before it crops, so a narrow picture
// thousands of times taller than wide becomes a scaled picture of up to the
// codec's 2 GB ceiling: sound, but seconds of work per input. Such framings
// are only loaded here, not scaled.
constexpr int64_t kMaxScaledPixels = int64_t{1} << 22;

bool ScalingAffordable(const char* path, const qv::CShowSettings& settings) {
  qv::CShowImage probe;
  probe.Load(path, qv::kTypeNone, 0);
  if (probe.IsEmpty()) return true;
  const qv::FramingResult f = qv::ComputeFraming(probe.m_nWidth, probe.m_nHeight, kWindowWidth, kWindowHeight,
                                                 settings.m_nFitMode, settings.m_bSmartCrop);
  return int64_t{f.nWidth} * f.nHeight <= kMaxScaledPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv;
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const fuzz::CFuzzFile file(data + 1, size - 1, kExtensions[choice % std::size(kExtensions)]);

  CShowSettings settings;
  settings.m_bIgnoreSmall = 0;  // every picture goes on to the framing
  const int32_t framing = choice / 9 % 4;
  settings.m_nFitMode = framing & 1;
  settings.m_bSmartCrop = framing >> 1;

  if (!ScalingAffordable(file.Path().c_str(), settings)) return 0;

  // PrepareSlide loads with detection (image.Load(path, kTypeNone, 0)) and
  // frames what it got.
  CShowImage image;
  const CSlidePreparation prep = PrepareSlide(image, file.Path(), settings, kWindowWidth, kWindowHeight);
  switch (prep.outcome) {
    case ESlideOutcome::kNoFile:
    case ESlideOutcome::kTooNarrow:
      std::abort();  // a path was given and narrow pictures are not skipped
    case ESlideOutcome::kUndecodable:
      // A holder left empty must not report success.
      if (!image.IsEmpty() || prep.nLoadResult == IS_ERR_OK) std::abort();
      return 0;
    case ESlideOutcome::kReady:
      break;
  }
  if (image.IsEmpty() || image.m_nBitsPerPixel != 24 || image.m_nWidth <= 0 || image.m_nHeight <= 0 ||
      prep.nPictureWidth <= 0 || prep.nPictureHeight <= 0)
    std::abort();
  // The slide's buffer is touched end to end, and painted the way the show does.
  const int64_t bytes = CShowImage::BufferSize(image.m_nWidth, image.m_nHeight, 24);
  volatile uint8_t sink = 0;
  sink = sink + image.GetBits()[0] + image.GetBits()[bytes - 1];
  const auto canvas = PaintOnBlack(image.GetBits(), image.m_nWidth, image.m_nHeight, kWindowWidth, kWindowHeight);
  if (canvas.size() != size_t{kWindowWidth} * kWindowHeight * 3) std::abort();
  return 0;
}
