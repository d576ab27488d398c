// The image holder's metafile hook where metafiles are not part of the build:
// they load like a file that cannot be decoded.
#include "show/show_image_formats.h"

namespace qv {

int32_t ReadHolderMetafile(const std::string&, uint8_t*& bits, int32_t&, int32_t&) {
  bits = nullptr;
  return IS_ERR_BADPARAM;
}

}  // namespace qv
