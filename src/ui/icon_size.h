// The size of small icons (the notification area, window captions) at a
// display's dots per inch.
#pragma once

#include <cstdint>

namespace qv {

// The default DPI, at which a small icon is 16 pixels.
inline constexpr uint32_t kDefaultDpi = 96;

// 16 pixels scaled by dpi / 96 and rounded to the nearest pixel (96 -> 16,
// 120 -> 20, 144 -> 24, 192 -> 32), as the system sizes its own small icons.
// An unknown DPI (0) gives 16; sizes stop at 256, the largest picture an
// icon holds.
int SmallIconSizeForDpi(uint32_t dpi);

}  // namespace qv
