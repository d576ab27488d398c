#include "show/slide_preparation.h"

#include <algorithm>
#include <cstring>

namespace qv {

CSlidePreparation PrepareSlide(CShowImage& image, const std::string& path, const CShowSettings& settings,
                               int32_t clientWidth, int32_t clientHeight) {
  CSlidePreparation prep;
  if (path.empty()) return prep;
  prep.nLoadResult = image.Load(path, kTypeNone, 0);
  if (image.IsEmpty()) {
    prep.outcome = ESlideOutcome::kUndecodable;
    return prep;
  }
  prep.nPictureWidth = image.m_nWidth;
  prep.nPictureHeight = image.m_nHeight;
  if (settings.m_bIgnoreSmall &&
      static_cast<uint32_t>(image.m_nWidth) < static_cast<uint32_t>(settings.m_nMinWidth)) {
    image.Free();
    prep.outcome = ESlideOutcome::kTooNarrow;
    return prep;
  }
  prep.framing = ComputeFraming(image.m_nWidth, image.m_nHeight, clientWidth, clientHeight, settings.m_nFitMode,
                                settings.m_bSmartCrop);
  // A failed resize or crop keeps the picture as it was; the show puts it on
  // screen all the same, centred and trimmed by the window edges.
  image.Resize(prep.framing.nWidth, prep.framing.nHeight, 2);
  if (prep.framing.bCrop)
    image.Crop(prep.framing.nLeft, prep.framing.nTop, prep.framing.nRight, prep.framing.nBottom);
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
