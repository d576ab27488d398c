// CISColorMatch: the nearest palette entry to a colour, for operations that
// map computed colours back to a palette.
#pragma once

#include <cstdint>

#include "codec/codec.h"

namespace qv::codec::ops {

class CISColorMatch {
 public:
  // Copies up to 256 entries; a null palette makes every lookup give 0.
  CISColorMatch(const ISPalEntry* palette, int32_t count);

  // The entry nearest (smallest sum of squared differences) to the colour whose
  // components c0, c1, c2 (0..255) are compared with entry bytes 0, 1, 2 (blue,
  // green, red). Ties keep the lower index; an empty palette gives 0.
  uint8_t Lookup(uint32_t c0, uint32_t c1, uint32_t c2);

 private:
  static constexpr int32_t kCacheSize = 255;
  struct CPair {
    uint32_t m_nKey;
    uint8_t m_nIndex;
  };

  uint8_t Scan(uint32_t c0, uint32_t c1, uint32_t c2) const;

  ISPalEntry m_arrPalette[IS_PALETTE_SIZE] = {};
  int32_t m_nCount = 0;
  bool m_bHavePalette = false;
  int32_t m_arrSquares[511];  // (d - 255)^2 for d = 0..510
  CPair m_arrCache[kCacheSize];
  int32_t m_nCached = 0;
};

}  // namespace qv::codec::ops
