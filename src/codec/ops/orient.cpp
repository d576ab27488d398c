// Turning and mirroring whole-byte pixels by a camera orientation code.
#include <cstring>

#include "codec/ops/ops_internal.h"

using qv::codec::CISOperation;

namespace {

// Where output pixel (x, y) comes from in a w x h source, by orientation.
struct CSourcePixel {
  int64_t x, y;
};

CSourcePixel SourceOf(int32_t orientation, int64_t x, int64_t y, int64_t w, int64_t h) {
  switch (orientation) {
    case 2:
      return {w - 1 - x, y};
    case 3:
      return {w - 1 - x, h - 1 - y};
    case 4:
      return {x, h - 1 - y};
    case 5:
      return {y, x};
    case 6:
      return {y, h - 1 - x};
    case 7:
      return {w - 1 - y, h - 1 - x};
    case 8:
      return {w - 1 - y, x};
    default:
      return {x, y};
  }
}

}  // namespace

int32_t ISOrientImage(const uint8_t* source, int32_t width, int32_t height, int32_t bytesPerPixel, int32_t orientation,
                      uint8_t* dest) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!source || !dest || source == dest || width < 1 || height < 1 || bytesPerPixel < 1 || orientation < 1 ||
      orientation > 8)
    return op.Fail(IS_ERR_BADPARAM, 0);
  const bool exchanged = orientation >= 5;
  const int64_t outWidth = exchanged ? height : width;
  const int64_t outHeight = exchanged ? width : height;
  const size_t pixel = size_t(bytesPerPixel);
  for (int64_t y = 0; y < outHeight; ++y) {
    uint8_t* out = dest + size_t(y * outWidth) * pixel;
    for (int64_t x = 0; x < outWidth; ++x, out += pixel) {
      const CSourcePixel at = SourceOf(orientation, x, y, width, height);
      std::memcpy(out, source + size_t(at.y * width + at.x) * pixel, pixel);
    }
  }
  return 1;
}
