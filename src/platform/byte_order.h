// Little- and big-endian integers in byte blocks: the one place the file
// formats (pictures, settings) turn bytes into numbers and back. Each byte is
// widened before it is shifted.
#pragma once

#include <cstdint>

namespace qv {

inline uint16_t LoadU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (uint32_t(p[1]) << 8)); }
inline uint32_t LoadU32LE(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t LoadI32LE(const uint8_t* p) { return static_cast<int32_t>(LoadU32LE(p)); }
inline uint16_t LoadU16BE(const uint8_t* p) { return static_cast<uint16_t>((uint32_t(p[0]) << 8) | p[1]); }
inline uint32_t LoadU32BE(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void StoreU16LE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32LE(uint8_t* p, uint32_t v) {
  StoreU16LE(p, v);
  StoreU16LE(p + 2, v >> 16);
}

}  // namespace qv
