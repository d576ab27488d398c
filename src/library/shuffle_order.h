// Random order without repeats: the file list walked in a random permutation,
// a new permutation only once every entry has come. The permutation is never
// stored: a seed stands for it and a position says how far the walk has come,
// so three integers keep it across a restart.
#pragma once

#include <cstdint>

namespace qv {

// The entry at position in the permutation of [0, count) that seed stands
// for: a small Feistel network over the next even power of two, walked on
// until it lands below count. Every position below count gives another entry.
uint32_t ShuffledIndex(uint32_t seed, uint32_t position, uint32_t count);

// The seed of the permutation after the one of seed.
uint32_t NextShuffleSeed(uint32_t seed);

class CShuffleOrder {
 public:
  CShuffleOrder() = default;
  explicit CShuffleOrder(uint32_t seed) : m_nSeed(seed) {}
  CShuffleOrder(uint32_t seed, uint32_t position, uint32_t count)
      : m_nSeed(seed), m_nPosition(position), m_nCount(count) {}

  // The next entry of a list of count entries (0 for an empty list). A
  // permutation that is through, or that was made for a list of another
  // length, gives way to the next one.
  int32_t Next(int32_t count);
  // The list was made again: the next pick starts a new permutation.
  void Restart();

  uint32_t Seed() const { return m_nSeed; }
  uint32_t Position() const { return m_nPosition; }
  uint32_t Count() const { return m_nCount; }

 private:
  uint32_t m_nSeed = 0;
  uint32_t m_nPosition = 0;
  uint32_t m_nCount = 0;  // the list length the walk is for; 0: none begun
};

}  // namespace qv
