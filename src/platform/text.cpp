// The code-page rules that need no system.
#include "platform/text.h"

#include <cstdint>

namespace qv {

bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    // The lead byte gives the length and the least value the sequence may
    // have (shorter forms of a character are not UTF-8).
    size_t length = 1;
    uint32_t value = lead, least = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, value = lead & 0x07, least = 0x10000;
    } else if (lead >= 0xE0) {
      if (lead > 0xEF) return false;
      length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xC2) {
      length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0x80) {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace qv
