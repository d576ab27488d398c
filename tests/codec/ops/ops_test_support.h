// Helpers of the image-operation tests: random pictures of awkward sizes, a
// destination with a known fill, and a progress callback that stops on cue.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "reference_ops.h"

namespace qv::test {

using Bytes = std::vector<uint8_t>;

class CRandom {
 public:
  explicit CRandom(uint32_t seed) : m_gen(seed) {}
  int32_t Int(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(m_gen); }
  Bytes Fill(size_t n) {
    Bytes b(n);
    for (auto& v : b) v = uint8_t(m_gen());
    return b;
  }
  // Sizes that tend to break things: 1, 2, primes, powers of two, or any up to 150.
  int32_t AwkwardSize() {
    static const int32_t kSizes[] = {1, 2, 3, 4, 5, 7, 8, 13, 16, 31, 61, 64, 97, 127};
    return Int(0, 2) == 0 ? Int(1, 150) : kSizes[Int(0, int32_t(std::size(kSizes)) - 1)];
  }
  // A source size for a destination of d that the operation may shrink to:
  // d itself, an integer multiple, just above or below one, or a multiple by
  // a factor with a short binary fraction (k + 1/2, k + 1/4, k + 3/8).
  int32_t ShrinkSource(int32_t d) {
    const int32_t k = Int(1, 4);
    switch (Int(0, 4)) {
      case 0:
        return d * k;
      case 1:
        return d * k + 1;
      case 2:
        return std::max(d, d * k - 1);
      case 3:
        return d * k + (d * Int(1, 7)) / 8;
      default:
        return d + Int(0, 60);
    }
  }
  std::mt19937& Gen() { return m_gen; }

 private:
  std::mt19937 m_gen;
};

// A picture buffer with its geometry; strides get random padding.
struct CPicture {
  int32_t width = 0, height = 0, stride = 0;
  Bytes bits;
  ref::Img View() const { return {bits.data(), width, height, stride}; }
  ref::Out Out() { return {bits.data(), width, height, stride}; }
};

inline CPicture RandomPicture(CRandom& rng, int32_t width, int32_t height, int64_t rowBytes) {
  CPicture p;
  p.width = width;
  p.height = height;
  p.stride = int32_t(rowBytes) + rng.Int(0, 5);
  p.bits = rng.Fill(size_t(p.stride) * size_t(height));
  return p;
}

inline std::string Describe(const char* op, int32_t sw, int32_t sh, int32_t dw, int32_t dh, int32_t ch) {
  return std::string(op) + " " + std::to_string(sw) + "x" + std::to_string(sh) + " -> " + std::to_string(dw) + "x" +
         std::to_string(dh) + " channels " + std::to_string(ch);
}

// Installs a progress callback for the test's lifetime; it counts its calls
// and returns 0 (stop) on call number stopAt (never when stopAt is 0).
class CProgressStop {
 public:
  explicit CProgressStop(int32_t stopAt) : m_nStopAt(stopAt) {
    ISSetProgressCallback(&CProgressStop::Callback, reinterpret_cast<uintptr_t>(this));
  }
  ~CProgressStop() { ISSetProgressCallback(nullptr, 0); }
  CProgressStop(const CProgressStop&) = delete;
  CProgressStop& operator=(const CProgressStop&) = delete;
  int32_t Calls() const { return m_nCalls; }
  int32_t LastIndex() const { return m_nLastIndex; }
  int32_t LastCount() const { return m_nLastCount; }

 private:
  static int32_t Callback(int32_t index, int32_t count, uintptr_t user) {
    auto* self = reinterpret_cast<CProgressStop*>(user);
    ++self->m_nCalls;
    self->m_nLastIndex = index;
    self->m_nLastCount = count;
    return self->m_nCalls == self->m_nStopAt ? 0 : 1;
  }
  int32_t m_nStopAt;
  int32_t m_nCalls = 0;
  int32_t m_nLastIndex = -1;
  int32_t m_nLastCount = -1;
};

}  // namespace qv::test
