// The part of the slide advance that needs no window: load the picked file,
// skip it when it is too narrow, scale it by the framing and crop what
// overflows. The show window turns the result into its device bitmap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/show_settings.h"
#include "show/show_image.h"
#include "show/slide_choice.h"

namespace qv {

enum class ESlideOutcome {
  kReady,        // the holder holds the 24-bit picture to put on show
  kNoFile,       // empty path: nothing to load
  kUndecodable,  // the holder ended without pixels
  kTooNarrow,    // narrower than the minimum width; the holder is empty again
  kWrongShape,   // of the other shape than the window (m_bMatchShape); the holder is empty
};

struct CSlidePreparation {
  ESlideOutcome outcome = ESlideOutcome::kNoFile;
  int32_t nLoadResult = 0;    // the holder's result code of the load
  int32_t nPictureWidth = 0;  // as loaded
  int32_t nPictureHeight = 0;
  FramingResult framing;  // valid for kReady
};

// Loads path into image (detecting the format) and prepares it for a window
// of clientWidth x clientHeight with the show's settings. With m_bMatchShape
// a picture whose shape does not suit the window is passed over, its size
// read from the file's header where its reader allows it, before any pixel.
CSlidePreparation PrepareSlide(CShowImage& image, const std::string& path, const CShowSettings& settings,
                               int32_t clientWidth, int32_t clientHeight);

// Where the show paints a bitmap of bw x bh in a window of W x H: centred,
// (W - bw) / 2 and (H - bh) / 2 truncated toward zero; negative when the
// bitmap is larger, so the window edges trim it evenly.
struct CPlacement {
  int32_t x;
  int32_t y;
};
CPlacement CentredPlacement(int32_t bitmapWidth, int32_t bitmapHeight, int32_t windowWidth, int32_t windowHeight);

// The window's pixels as the show paints them (24-bit, top row first): black,
// with the picture drawn at its centred placement and clipped at the edges.
std::vector<uint8_t> PaintOnBlack(const uint8_t* picture, int32_t pictureWidth, int32_t pictureHeight,
                                  int32_t windowWidth, int32_t windowHeight);

}  // namespace qv
