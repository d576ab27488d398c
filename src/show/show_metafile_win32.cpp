// The image holder's metafile hook where the platform renders metafiles.
#include "codec/metafile.h"
#include "show/show_image_formats.h"

namespace qv {

namespace {
// A plain metafile the platform cannot open itself is taken as 1 mm square.
constexpr int32_t kFallbackExtent = 100;
constexpr uint32_t kBlackBackground = 0;
}  // namespace

int32_t ReadHolderMetafile(const std::string& path, uint8_t*& bits, int32_t& width, int32_t& height) {
  bits = ISReadMetafile(path.c_str(), &width, &height, kFallbackExtent, kFallbackExtent, kBlackBackground, 0);
  return ISGetLastError();
}

}  // namespace qv
