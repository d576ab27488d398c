// What the resamplers share for SSE2 work: the switch, and the final store of
// truncated values as bytes.
#pragma once

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QV_OPS_SSE2 1
#endif

namespace qv::codec::ops {

// Low 8 bits of the value truncated toward zero.
inline uint8_t Store(double value) { return uint8_t(int32_t(value)); }

#ifdef QV_OPS_SSE2
// Four truncated values as bytes (all lie in 0..255, so saturation equals the low 8 bits).
inline uint32_t PackFour(__m128d lo, __m128d hi) {
  const __m128i v = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
  const __m128i w = _mm_packs_epi32(v, v);
  return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
}
#endif

}  // namespace qv::codec::ops
