// Conversion of stored BMP rows, shared by the BMP reader and the readers that
// meet device-independent bitmaps inside other formats.
#pragma once

#include <cstdint>

#include "codec/codec.h"

namespace qv::codec {

// The layout of one stored row.
struct CBmpRowLayout {
  int32_t nBitCount = 24;                // 1, 4, 8, 16, 24 or 32
  int32_t nCompression = 0;              // 0, or 3 for 16-bit rows with bit-field masks
  uint32_t arrMasks[3] = {0, 0, 0};      // red, green, blue masks (compression 3)
  const ISPalEntry* pPalette = nullptr;  // 256 entries, for 1, 4 and 8 bits
};

// Bytes of one stored row, padded to a multiple of 4; 0 for an unknown bit
// count or a width below 1.
int64_t BmpStoredRowBytes(int64_t width, int32_t bitCount);

// Converts width pixels of a stored row (at least BmpStoredRowBytes bytes) into
// red, green, blue (outBits 24) or red, green, blue, alpha (outBits 32). Alpha
// comes from 32-bit rows and is 255 for every other bit count.
void ConvertBmpRow(const CBmpRowLayout& layout, const uint8_t* stored, int32_t width, int32_t outBits, uint8_t* out);

// Expands width pixels of a 1, 4 or 8-bit stored row into one index byte each
// (most significant bits first).
void ExpandBmpIndices(const uint8_t* stored, int32_t width, int32_t bitCount, uint8_t* out);

}  // namespace qv::codec
