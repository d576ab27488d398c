// PNG reader of the codec library (libpng underneath).
#pragma once

#include <cstdint>

#include "codec/codec.h"

// Flags of ISReadPNG (the show passes 0).
inline constexpr uint32_t IS_PNG_GAMMA = 1;       // correct from the file's gamma to the screen gamma
inline constexpr uint32_t IS_PNG_PACKED_DIB = 2;  // packed bitmap: not built, refused with IS_ERR_BADPARAM
inline constexpr uint32_t IS_PNG_RAW16 = 4;       // a 16-bit request delivers the file's 2-byte pixels

// Reads a PNG from the source's current position at 1, 8 (both with the
// palette written), 16 (grey and alpha, or raw with IS_PNG_RAW16), 24, 32, 48 or
// 64 bits; 16-bit samples are stored low byte first. Transparent pixels of 1-,
// 8-, 24- and 48-bit reads are composed over the file's background colour, else
// black. Null on failure; a file that breaks off gives the rows so far with
// IS_ERR_PNG.
uint8_t* ISReadPNG(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t flags);
// The 24-bit read (flags 0) with its rows handed to receiver (see
// ISRowReceiver); results as ISReadJPGRows. An interlaced picture is decoded
// whole before its first row is handed on.
int32_t ISReadPNGRows(HISSRC source, ISRowReceiver* receiver);

// Header values as in the file (bit depth per sample, colour type 0, 2, 3, 4
// or 6, interlace method) and, when resolution is given, the pHYs pixels per
// unit (unit 0 unknown, 1 metre; all 0 without pHYs). 1 / 0.
int32_t ISGetPNGDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitDepth, int32_t* colorType,
                     int32_t* interlace, ISResolution* resolution);

// The palette of a palette or grey PNG (a grey ramp of 2^bit depth entries),
// tRNS alphas in the fourth bytes, entries past the count repeating entry 0.
// count gets the file's colour count (0 for other colour types).
void ISGetPNGPalette(HISSRC source, int32_t* count, ISPalEntry* palette);
