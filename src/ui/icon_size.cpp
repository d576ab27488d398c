#include "ui/icon_size.h"

#include <algorithm>

namespace qv {

int SmallIconSizeForDpi(uint32_t dpi) {
  constexpr uint64_t kBase = 16;
  constexpr uint64_t kLargest = 256;
  if (dpi == 0) dpi = kDefaultDpi;
  const uint64_t size = (kBase * dpi + kDefaultDpi / 2) / kDefaultDpi;
  return static_cast<int>(std::clamp<uint64_t>(size, 1, kLargest));
}

}  // namespace qv
