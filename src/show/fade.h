// The soft change between two pictures: the new one is laid over the old
// with an opacity that rises with the time since the change began.
#pragma once

#include <cstdint>

namespace qv {

constexpr uint32_t kFadeMs = 400;
// About twenty frames over the fade.
constexpr uint32_t kFadeFrameMs = 20;

// The new picture's opacity (0 to 255) elapsedMs into a fade of durationMs;
// 255 (the plain picture) once the fade is over.
constexpr uint8_t FadeAlpha(uint64_t elapsedMs, uint32_t durationMs = kFadeMs) {
  if (elapsedMs >= durationMs) return 255;
  return static_cast<uint8_t>((elapsedMs * 255 + durationMs / 2) / durationMs);
}

}  // namespace qv
