#include "library/shuffle_order.h"

namespace qv {

namespace {

constexpr int kRounds = 4;

// A 32-bit mixer with full avalanche.
uint32_t Mix(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

}  // namespace

uint32_t ShuffledIndex(uint32_t seed, uint32_t position, uint32_t count) {
  if (count <= 1) return 0;
  // Half the bits of the smallest even power of two that holds count, so the
  // walk below needs fewer than four steps on average.
  uint32_t half = 1;
  while ((uint64_t{1} << (2 * half)) < count) ++half;
  const uint32_t mask = (1u << half) - 1;
  uint32_t value = position;
  do {
    uint32_t left = value >> half;
    uint32_t right = value & mask;
    for (int round = 0; round < kRounds; ++round) {
      const uint32_t next = left ^ (Mix(right ^ Mix(seed + static_cast<uint32_t>(round) * 0x9E3779B9u)) & mask);
      left = right;
      right = next;
    }
    value = (left << half) | right;
  } while (value >= count);
  return value;
}

uint32_t NextShuffleSeed(uint32_t seed) { return Mix(seed + 0x9E3779B9u); }

int32_t CShuffleOrder::Next(int32_t count) {
  if (count <= 0) return 0;
  const auto length = static_cast<uint32_t>(count);
  if (m_nCount == length && m_nPosition >= length) {
    // A round is through: the next one never begins with the entry this one
    // ended with.
    const uint32_t last = ShuffledIndex(m_nSeed, length - 1, length);
    do {
      m_nSeed = NextShuffleSeed(m_nSeed);
    } while (length > 1 && ShuffledIndex(m_nSeed, 0, length) == last);
    m_nPosition = 0;
  } else if (m_nCount != length) {
    // The first walk keeps the seed it was given; a list of another length
    // takes the next one.
    if (m_nCount != 0) m_nSeed = NextShuffleSeed(m_nSeed);
    m_nCount = length;
    m_nPosition = 0;
  }
  return static_cast<int32_t>(ShuffledIndex(m_nSeed, m_nPosition++, length));
}

void CShuffleOrder::Restart() {
  m_nSeed = NextShuffleSeed(m_nSeed);
  m_nPosition = 0;
  m_nCount = 0;
}

}  // namespace qv
