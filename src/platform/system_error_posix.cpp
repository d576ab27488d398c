#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace qv {

uint32_t LastSystemError() { return static_cast<uint32_t>(errno); }

std::string SystemErrorText(uint32_t code) {
  if (code == 0) return "Unknown error.";
  return std::strerror(static_cast<int>(code));
}

}  // namespace qv
