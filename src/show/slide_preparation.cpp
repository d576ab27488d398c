#include "show/slide_preparation.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

bool TooNarrow(int32_t width, const CShowSettings& settings) {
  return settings.m_bIgnoreSmall && static_cast<uint32_t>(width) < static_cast<uint32_t>(settings.m_nMinWidth);
}

// A picture the framing shrinks (or keeps at its size) and whose reader hands
// over its rows is scaled while it is decoded; false when it takes the whole
// path instead (other formats, narrow pictures, enlarging, degenerate sizes).
bool PrepareWhileDecoding(CShowImage& image, const std::string& path, const CShowSettings& settings,
                          int32_t clientWidth, int32_t clientHeight, CSlidePreparation& prep) {
  int32_t type = kTypeNone, width = 0, height = 0;
  if (!image.ProbeRowRead(path, type, width, height) || TooNarrow(width, settings)) return false;
  const FramingResult f =
      ComputeFraming(width, height, clientWidth, clientHeight, settings.m_nFitMode, settings.m_bSmartCrop);
  if (f.nWidth < 1 || f.nHeight < 1 || f.nWidth > width || f.nHeight > height) return false;
  const ISRect keep = f.bCrop ? ISRect{f.nLeft, f.nTop, f.nRight, f.nBottom} : ISRect{0, 0, f.nWidth, f.nHeight};
  if (keep.left < 0 || keep.top < 0 || keep.right > f.nWidth || keep.bottom > f.nHeight || keep.left >= keep.right ||
      keep.top >= keep.bottom)
    return false;
  bool refused = false;
  const int32_t result = image.LoadScaledDown(path, type, width, height, f.nWidth, f.nHeight, keep, refused);
  if (refused) return false;
  prep.nLoadResult = result;
  if (image.IsEmpty()) {
    prep.outcome = ESlideOutcome::kUndecodable;
    return true;
  }
  prep.nPictureWidth = width;
  prep.nPictureHeight = height;
  prep.framing = f;
  prep.outcome = ESlideOutcome::kReady;
  return true;
}

}  // namespace

CSlidePreparation PrepareSlide(CShowImage& image, const std::string& path, const CShowSettings& settings,
                               int32_t clientWidth, int32_t clientHeight) {
  CSlidePreparation prep;
  if (path.empty()) return prep;
  image.m_bAutoRotate = settings.m_bAutoRotate != 0;
  const bool matchShape = settings.m_bMatchShape != 0;
  int32_t shownWidth = 0, shownHeight = 0;
  if (matchShape && image.QueryShownSize(path, shownWidth, shownHeight) &&
      !ShapeSuits(shownWidth, shownHeight, clientWidth, clientHeight)) {
    prep.outcome = ESlideOutcome::kWrongShape;
    prep.nPictureWidth = shownWidth;
    prep.nPictureHeight = shownHeight;
    return prep;
  }
  if (PrepareWhileDecoding(image, path, settings, clientWidth, clientHeight, prep)) return prep;
  prep.nLoadResult = image.Load(path, kTypeNone, 0);
  if (image.IsEmpty()) {
    prep.outcome = ESlideOutcome::kUndecodable;
    return prep;
  }
  prep.nPictureWidth = image.m_nWidth;
  prep.nPictureHeight = image.m_nHeight;
  if (TooNarrow(image.m_nWidth, settings)) {
    image.Free();
    prep.outcome = ESlideOutcome::kTooNarrow;
    return prep;
  }
  // Formats without a size in a header are judged once loaded.
  if (matchShape && !ShapeSuits(image.m_nWidth, image.m_nHeight, clientWidth, clientHeight)) {
    image.Free();
    prep.outcome = ESlideOutcome::kWrongShape;
    return prep;
  }
  prep.framing = ComputeFraming(image.m_nWidth, image.m_nHeight, clientWidth, clientHeight, settings.m_nFitMode,
                                settings.m_bSmartCrop);
  // A failed resize or crop keeps the picture as it was; the show puts it on
  // screen all the same, centred and trimmed by the window edges.
  const FramingResult& f = prep.framing;
  image.ResizeAndCrop(f.nWidth, f.nHeight, f.bCrop, ISRect{f.nLeft, f.nTop, f.nRight, f.nBottom});
  prep.outcome = ESlideOutcome::kReady;
  return prep;
}

CPlacement CentredPlacement(int32_t bitmapWidth, int32_t bitmapHeight, int32_t windowWidth, int32_t windowHeight) {
  return CPlacement{static_cast<int32_t>((int64_t{windowWidth} - bitmapWidth) / 2),
                    static_cast<int32_t>((int64_t{windowHeight} - bitmapHeight) / 2)};
}

std::vector<uint8_t> PaintOnBlack(const uint8_t* picture, int32_t pictureWidth, int32_t pictureHeight,
                                  int32_t windowWidth, int32_t windowHeight) {
  if (windowWidth <= 0 || windowHeight <= 0) return {};
  std::vector<uint8_t> canvas(static_cast<size_t>(windowWidth) * static_cast<size_t>(windowHeight) * 3, 0);
  if (!picture || pictureWidth <= 0 || pictureHeight <= 0) return canvas;
  const CPlacement at = CentredPlacement(pictureWidth, pictureHeight, windowWidth, windowHeight);
  // The part of the picture inside the window, in picture coordinates.
  const int64_t x0 = std::max<int64_t>(0, -int64_t{at.x});
  const int64_t y0 = std::max<int64_t>(0, -int64_t{at.y});
  const int64_t x1 = std::min<int64_t>(pictureWidth, int64_t{windowWidth} - at.x);
  const int64_t y1 = std::min<int64_t>(pictureHeight, int64_t{windowHeight} - at.y);
  if (x1 <= x0 || y1 <= y0) return canvas;
  const size_t rowBytes = static_cast<size_t>(x1 - x0) * 3;
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* from = picture + (y * pictureWidth + x0) * 3;
    uint8_t* to = canvas.data() + ((y + at.y) * windowWidth + (x0 + at.x)) * 3;
    std::memcpy(to, from, rowBytes);
  }
  return canvas;
}

}  // namespace qv
