#include "show/slide_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {

namespace {

uint32_t g_randomState = 0;

// Truncation toward zero into 32 bits; out-of-range values saturate and NaN
// gives 0, where a plain conversion would be undefined.
int32_t TruncToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

uint32_t SlideIntervalMs(int32_t nInterval, int32_t bMinutes) {
  const uint64_t interval = static_cast<uint32_t>(nInterval);
  const uint64_t ms = interval * (bMinutes == 1 ? 60000u : 1000u);
  return static_cast<uint32_t>(std::min<uint64_t>(ms, kUserTimerMaximum));
}

void SeedRandom(uint32_t seconds) { g_randomState = seconds; }

int32_t NextRandom() {
  g_randomState = g_randomState * 214013u + 2531011u;
  return static_cast<int32_t>((g_randomState >> 16) & 32767u);
}

int32_t IndexFromRandom(int32_t value, int32_t count) {
  const double scaled = (value * (1.0 / 32767.0)) * count;
  int32_t index = TruncToInt32(scaled);
  if (count > 0 && index >= count) index = count - 1;
  return std::max(index, 0);
}

int32_t PickNextIndex(int32_t bRandom, int32_t& counter, int32_t count, CShuffleOrder* noRepeats) {
  if (bRandom && noRepeats) return noRepeats->Next(count);
  if (bRandom) return IndexFromRandom(NextRandom(), count);
  const int64_t next = static_cast<int64_t>(counter) + 1;
  counter = (next < 0 || next > static_cast<int64_t>(count) - 1) ? 0 : static_cast<int32_t>(next);
  return counter;
}

int32_t PickNextIndex(CShowSettings& settings, int32_t count) {
  return PickNextIndex(settings.m_bRandom, settings.m_nCounter, count, nullptr);
}

int32_t PickNextIndex(CShowSettings& settings, int32_t count, CShuffleOrder* noRepeats) {
  return PickNextIndex(settings.m_bRandom, settings.m_nCounter, count, noRepeats);
}

EShape ShapeOf(int32_t width, int32_t height) {
  if (width > height) return EShape::kLandscape;
  return width < height ? EShape::kPortrait : EShape::kSquare;
}

bool ShapeSuits(int32_t pictureWidth, int32_t pictureHeight, int32_t windowWidth, int32_t windowHeight) {
  const EShape window = ShapeOf(windowWidth, windowHeight);
  const EShape picture = ShapeOf(pictureWidth, pictureHeight);
  return window == EShape::kSquare || picture == EShape::kSquare || picture == window;
}

bool ShapeStillMatters(int32_t skipsInARow, int32_t count) { return skipsInARow < std::max(count, 1); }

FramingResult ComputeFraming(int32_t pw, int32_t ph, int32_t W, int32_t H, int32_t nFitMode, int32_t bSmartCrop) {
  FramingResult result;
  result.nWidth = W;
  result.nHeight = H;
  // A picture without area has no aspect ratio: it is stretched to the window.
  if (pw <= 0 || ph <= 0) return result;

  const double r = static_cast<double>(pw) / static_cast<double>(ph);
  const bool landscape = pw > ph;
  if (nFitMode == 0 || nFitMode == 1) {
    if (landscape || bSmartCrop) {
      result.nHeight = TruncToInt32(W / r);
      if (nFitMode == 1 && landscape && result.nHeight < H) {
        result.nHeight = H;
        result.nWidth = TruncToInt32(H * r);
      }
    } else {
      result.nWidth = TruncToInt32(H * r);
    }
  }

  const int64_t nw = result.nWidth, nh = result.nHeight;
  if (nh > int64_t{H} + 10) {
    const int64_t offY = (nh - H) / 7;
    result.bCrop = true;
    result.nLeft = 0;
    result.nTop = ClampToInt32(offY);
    result.nRight = ClampToInt32(std::min<int64_t>(W, nw));
    result.nBottom = ClampToInt32(offY + std::min<int64_t>(H, nh));
  } else if (nw > int64_t{W} + 10) {
    const int64_t offX = std::max<int64_t>((nw - W) / 2, 0);
    const int64_t offY = std::max<int64_t>((nh - H) / 2, 0);
    result.bCrop = true;
    result.nLeft = ClampToInt32(offX);
    result.nTop = ClampToInt32(offY);
    result.nRight = ClampToInt32(offX + std::min<int64_t>(W, nw));
    result.nBottom = ClampToInt32(offY + std::min<int64_t>(H, nh));
  }
  return result;
}

}  // namespace qv
