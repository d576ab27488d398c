// Nearest-colour matching with a table of squares and a small cache of
// recent answers.
#include "codec/ops/color_match.h"

#include <algorithm>

namespace qv::codec::ops {

CISColorMatch::CISColorMatch(const ISPalEntry* palette, int32_t count) {
  for (int32_t d = -255; d <= 255; ++d) m_arrSquares[d + 255] = d * d;
  if (!palette) return;
  m_bHavePalette = true;
  m_nCount = std::clamp(count, 0, IS_PALETTE_SIZE);
  std::copy(palette, palette + m_nCount, m_arrPalette);
}

uint8_t CISColorMatch::Lookup(uint32_t c0, uint32_t c1, uint32_t c2) {
  if (!m_bHavePalette) return 0;
  c0 &= 0xFF;
  c1 &= 0xFF;
  c2 &= 0xFF;
  const uint32_t key = (c0 << 16) | (c1 << 8) | c2;
  for (int32_t k = 0; k < m_nCached; ++k) {
    if (m_arrCache[k].m_nKey == key) return m_arrCache[k].m_nIndex;
  }
  const uint8_t index = Scan(c0, c1, c2);
  if (m_nCached == kCacheSize) m_nCached = 0;
  m_arrCache[m_nCached++] = {key, index};
  return index;
}

uint8_t CISColorMatch::Scan(uint32_t c0, uint32_t c1, uint32_t c2) const {
  const int32_t* sq = m_arrSquares + 255;
  int32_t best = 0x30000;
  int32_t bestIndex = 0;
  for (int32_t i = 0; i < m_nCount; ++i) {
    const ISPalEntry& e = m_arrPalette[i];
    const int32_t d = sq[int32_t(c0) - e.blue] + sq[int32_t(c1) - e.green] + sq[int32_t(c2) - e.red];
    if (d < best) {
      best = d;
      bestIndex = i;
      if (d == 0) break;
    }
  }
  return uint8_t(bestIndex);
}

}  // namespace qv::codec::ops
