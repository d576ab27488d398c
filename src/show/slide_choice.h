// The pure decisions of the slideshow: how long a picture stays, which list
// entry comes next, and how a picture is scaled and cropped to the window.
#pragma once

#include <cstdint>

#include "library/show_settings.h"
#include "library/shuffle_order.h"

namespace qv {

// The longest period the system's timer takes, in milliseconds (about 24.8
// days).
inline constexpr uint32_t kUserTimerMaximum = 0x7FFFFFFF;

// Timer period in milliseconds: nInterval seconds, or minutes when bMinutes is
// exactly 1. nInterval is the unsigned number the user entered, so a negative
// value counts as a large one. Longer periods are held at kUserTimerMaximum;
// 0 stays 0 (the timer raises it to its own minimum).
uint32_t SlideIntervalMs(int32_t nInterval, int32_t bMinutes);

// The show's pseudo-random generator: one 32-bit state for the process.
void SeedRandom(uint32_t seconds);
// Advances the generator; 0 to 32767.
int32_t NextRandom();

// The random order's index for one generator value (0 to 32767) and a list of
// count entries: trunc(value * (1 / 32767) * count), at most count - 1.
int32_t IndexFromRandom(int32_t value, int32_t count);

// The next index into the file list of count entries. Random order draws one
// NextRandom value; sequential order advances and wraps m_nCounter (a value
// that is negative or past the end starts again at 0). Never negative, and
// below count whenever count is positive.
int32_t PickNextIndex(CShowSettings& settings, int32_t count);
// The same, with random order taken from noRepeats when it is given: the
// walk of a permutation instead of independent draws.
int32_t PickNextIndex(CShowSettings& settings, int32_t count, CShuffleOrder* noRepeats);
// The same for a list whose sequential position is counter (a monitor's own
// list keeps its own).
int32_t PickNextIndex(int32_t bRandom, int32_t& counter, int32_t count, CShuffleOrder* noRepeats);

// The shape of a monitor's work area or of a picture.
enum class EShape { kSquare, kLandscape, kPortrait };
EShape ShapeOf(int32_t width, int32_t height);
// "Match picture shape to monitor": a landscape window takes landscape and
// square pictures, a portrait one portrait and square ones, a square one
// any picture.
bool ShapeSuits(int32_t pictureWidth, int32_t pictureHeight, int32_t windowWidth, int32_t windowHeight);
// Whether the next pick still has to suit the window: not once skipsInARow
// pictures were passed over for their shape without one that suits, a whole
// pass over a list of count entries (then any picture goes).
bool ShapeStillMatters(int32_t skipsInARow, int32_t count);

struct FramingResult {
  int32_t nWidth = 0;  // scaled picture size
  int32_t nHeight = 0;
  bool bCrop = false;  // crop rectangle valid
  int32_t nLeft = 0;   // in scaled picture coordinates, right and bottom exclusive
  int32_t nTop = 0;
  int32_t nRight = 0;
  int32_t nBottom = 0;
};

// Scaled size and crop of a pw x ph picture in a W x H window.
FramingResult ComputeFraming(int32_t pw, int32_t ph, int32_t W, int32_t H, int32_t nFitMode, int32_t bSmartCrop);

}  // namespace qv
